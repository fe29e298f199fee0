// The property frame behind OleCreatePropertyFrame (olectl.h): a modal Qt dialog owned by a
// window, one tab per property page, and the buttons "OK", "Annuler" and "Appliquer".
//
// The frame creates each page by its class id, gives it the frame's page site and the objects,
// and activates it into the page area of its own tab; a page that fails any of these steps is
// left out (the reason goes to stderr). "Appliquer" is enabled while a page is dirty (pages say
// so through IPropertyPageSite::OnStatusChange); it applies every dirty page and keeps the frame
// open. "OK" applies the same way and closes the frame, unless a page refused its values: that
// page is brought to the front with its error and the frame stays open, so that no choice is
// dropped without the user knowing. "Annuler" and closing the window apply nothing. Closing
// deactivates every page, takes its objects and site back and releases it.
//
// The dialog's object name is "PropertyFrame"; its tabs are a QTabWidget.
//
// Thread: the user-interface thread only (the pages' widgets live there); no lock.
#pragma once

#include <comptr.h>
#include <olectl.h>

#include <QPointer>
#include <string>
#include <vector>

class QDialog;
class QPushButton;
class QTabWidget;
class QWidget;

namespace vidorra::win {

class PropertyFrameSite;

class PropertyFrame {
 public:
  // owner may be null (a frame of its own on the screen).
  PropertyFrame(QWidget* owner, const std::wstring& caption, std::vector<ComPtr<IUnknown>> objects,
                LCID lcid);
  ~PropertyFrame();
  PropertyFrame(const PropertyFrame&) = delete;
  PropertyFrame& operator=(const PropertyFrame&) = delete;

  // Creates, connects and activates the page, in a new tab; false when it was left out.
  bool AddPage(REFCLSID clsid);
  size_t PageCount() const { return pages_.size(); }
  // Shows the frame at (x, y) of the owner (of the screen without owner) and returns when the
  // user has closed it.
  void Run(int x, int y);

 private:
  struct Page {
    ComPtr<IPropertyPage> page;
    QWidget* tab;  // owned by the tab widget
    std::wstring title;
  };

  bool ApplyDirtyPages();
  void UpdateApplyButton();
  void Release(IPropertyPage* page, bool active);

  QPointer<QWidget> owner_;
  std::wstring caption_;
  std::vector<ComPtr<IUnknown>> objects_;
  ComPtr<PropertyFrameSite> site_;
  QPointer<QDialog> dialog_;
  QTabWidget* tabs_;
  QPushButton* applyButton_;
  std::vector<Page> pages_;
};

}  // namespace vidorra::win
