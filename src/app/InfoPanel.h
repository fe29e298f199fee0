// TInfoPanel: what the about panel (TAproposFrame) and the error panel (TErreurFrame) share.
//
// A panel is a frame on the main window's client area, hidden and parked outside it until
// shown. Shown, it covers the client area of the window, shrunk to the panel's size, and every
// top-level item of the window's menu is hidden; its button "Fermer" gives the window back its
// size and its menu. The window's other controls stay where they were (outside the shrunk area)
// and go on working, but keyboard focus stays inside the panel while it is up, so that no key
// reaches a control the user cannot see.
//
// One panel is on show at a time. Showing a panel while another is up puts the other away and
// keeps the size saved when the first came up, so that "Fermer" always gives the window its own
// size back.
//
// Thread: the UI thread only.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QSize>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TUrlLabel;

class TInfoPanel : public QFrame {
  Q_OBJECT

 public:
  // The maker's addresses behind the panels' links.
  static constexpr const char* kHomePage = "https://www.orvale.fr/vidorra/";
  static constexpr const char* kMailAddress = "vidorra@orvale.fr";

  ~TInfoPanel() override = default;

  // Outer width and height of the main window before a panel was shown.
  static int SavedFormWidth;
  static int SavedFormHeight;

 protected:
  // `client` is the main window's client area (the panel's parent).
  explicit TInfoPanel(QWidget* client);

  // Brings the panel to the front at the top-left corner of the client area.
  void BringToFront();
  // Saves the window's outer size, unless a panel is already up (see above).
  void SaveFormSize();
  // Shrinks the client area to the panel's size, hides the menu's top-level items and shows the
  // panel with the focus on `focus`.
  void CoverClientArea(QWidget* focus);
  // Hides the panel and parks it again.
  void HidePanel();
  // Gives the window back its saved size and makes the menu's top-level items visible.
  void RestoreForm();

  // The controls both panels have.
  TUrlLabel* AddWebLink(const QRect& geometry);
  TUrlLabel* AddMailLink(const char* caption, const QRect& geometry);
  QLabel* AddTitle(const QRect& geometry);
  QPlainTextEdit* AddMemo(const QRect& geometry);
  QLabel* AddPicture(const char* name, const QRect& geometry);
  QLabel* AddIcon(const QPoint& topLeft);
  // A cancel-style button: Esc anywhere in the panel presses it.
  QPushButton* AddCloseButton(const char* name, const QRect& geometry);

  // Tab and Shift+Tab go round the panel's own controls while it is up.
  bool focusNextPrevChild(bool next) override;

 private:
  QWidget* Client() const { return parentWidget(); }

  // The panel on show, if any, and what the window had before it came up.
  static QPointer<TInfoPanel> onShow_;
  static QSize savedClientSize_;
  static QPointer<QWidget> savedFocus_;

  QPoint parkedAt_;
};
