// CBasePropertyPage: the base of a property page (IPropertyPage, ocidl.h) drawn with Qt
// widgets. It owns the page's life cycle; a page fills the hooks.
//
//   SetObjects(n, objects)  -> OnConnect(objects): find the interface the page works on
//                              (E_NOINTERFACE when no object has it: the frame leaves the page
//                              out); SetObjects(0, null) -> OnDisconnect
//   Activate(parent window) -> the page widget is created as a child of the widget behind the
//                              window handle (the frame's page area) and fills it; OnActivate
//                              builds the controls in its content area and shows the objects'
//                              current values; a failure destroys the widget again
//   Deactivate              -> OnDeactivate, then the widget is destroyed
//   Apply                   -> OnApply when the page is dirty; a page applied cleanly is clean
//
// The page widget holds the content area (object name "pageContent") above an error line
// (a QLabel named "labError", hidden while empty) that ShowError fills, so every page reports a
// refused value the same way. A page calls SetDirty(true) when the user's choices differ from
// what its objects hold and SetDirty(false) when they match again; the site hears of every
// change (PROPPAGESTATUS_DIRTY, PROPPAGESTATUS_CLEAN).
//
// Thread: every call on the user-interface thread, the one that owns the frame; no lock.
#pragma once

#include <comimpl.h>
#include <ocidl.h>

#include <QPointer>
#include <QString>
#include <span>
#include <string>

class QLabel;
class QWidget;

class CBasePropertyPage : public CUnknown, public IPropertyPage {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP SetPageSite(IPropertyPageSite* pPageSite) override;
  STDMETHODIMP Activate(HWND hWndParent, LPCRECT pRect, BOOL bModal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* pPageInfo) override;
  STDMETHODIMP SetObjects(ULONG cObjects, IUnknown** ppUnk) override;
  STDMETHODIMP Show(UINT nCmdShow) override;
  STDMETHODIMP Move(LPCRECT pRect) override;
  STDMETHODIMP IsPageDirty() override;
  STDMETHODIMP Apply() override;
  STDMETHODIMP Help(LPCOLESTR pszHelpDir) override;
  STDMETHODIMP TranslateAccelerator(MSG* pMsg) override;

 protected:
  // title: the tab's text; size: the page area the controls need, in pixels.
  CBasePropertyPage(std::wstring title, SIZE size);
  ~CBasePropertyPage() override;

  virtual HRESULT OnConnect(std::span<IUnknown* const> objects) = 0;
  virtual void OnDisconnect() = 0;
  virtual HRESULT OnActivate(QWidget& content) = 0;
  // The controls are about to go (or already went with a frame whose owner was destroyed):
  // forget them without touching them.
  virtual void OnDeactivate() {}
  // Writes the controls' values to the objects. On failure the page shows why (ShowError) and
  // stays dirty.
  virtual HRESULT OnApply() = 0;

  // A title that depends on the objects (set in OnConnect).
  void SetTitle(std::wstring title) { title_ = std::move(title); }
  void SetDirty(bool dirty);
  bool IsDirty() const { return dirty_; }
  // Between Activate and Deactivate, while the page widget exists.
  bool IsActive() const { return active_ && !widget_.isNull(); }
  // Shows `what`, then the platform's text for hr, on the error line; ClearError empties it.
  void ShowError(const QString& what, HRESULT hr);
  void ClearError();

 private:
  std::wstring title_;
  SIZE size_;
  ComPtr<IPropertyPageSite> site_;
  bool connected_ = false;
  bool active_ = false;
  bool dirty_ = false;
  QPointer<QWidget> widget_;
  QPointer<QLabel> error_;
};

// The first of the objects that answers Interface, or null.
template <class Interface>
ComPtr<Interface> FirstObjectWith(std::span<IUnknown* const> objects) {
  ComPtr<Interface> found;
  for (IUnknown* object : objects) {
    if (object &&
        SUCCEEDED(object->QueryInterface(Interface::kIid, found.ReleaseAndGetVoidAddressOf())) &&
        found) {
      return found;
    }
  }
  return nullptr;
}

// "what : <text of hr> (0x8004022A)", the text in the platform's words.
QString PropertyPageErrorText(const QString& what, HRESULT hr);
