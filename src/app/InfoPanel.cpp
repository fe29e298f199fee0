#include "InfoPanel.h"

#include <QAction>
#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>

#include "FontMatch.h"
#include "HandlerGuard.h"
#include "UrlLabel.h"

int TInfoPanel::SavedFormWidth = 0;
int TInfoPanel::SavedFormHeight = 0;
QPointer<TInfoPanel> TInfoPanel::onShow_;
QSize TInfoPanel::savedClientSize_;
QPointer<QWidget> TInfoPanel::savedFocus_;

namespace {

constexpr int kFontPx = 11;  // 8 points at 96 dots per inch
constexpr const char* kMemoFont = "Arial";
constexpr const char* kTitleFont = "MS Sans Serif";
constexpr int kTitleFontPx = 19;
constexpr QRgb kMaroon = qRgb(128, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
// The title's shadow: one pixel to the lower left, dark.
constexpr QPointF kTitleShadowOffset{-1, 1};
constexpr QRgb kTitleShadow = qRgb(64, 64, 64);
constexpr const char* kWebCaption = "Homepage de Orvale";
constexpr const char* kPicture = ":/pictures/apropos.png";
constexpr const char* kIcon = ":/icons/vidorra32.png";
constexpr QSize kIconSize{32, 32};
constexpr const char* kCloseCaption = "Fermer";

QMenuBar* MenuOf(QWidget* window) {
  auto* mainWindow = qobject_cast<QMainWindow*>(window);
  return mainWindow == nullptr ? nullptr : qobject_cast<QMenuBar*>(mainWindow->menuWidget());
}

void ShowMenuItems(QWidget* window, bool visible) {
  if (QMenuBar* menu = MenuOf(window)) {
    for (QAction* item : menu->actions()) item->setVisible(visible);
  }
}

// Applies a size change of the client area to the window now (its layout has a fixed size).
void FitWindow(QWidget* window) {
  if (QLayout* layout = window->layout()) layout->activate();
}

// The links of the panels: Verdana 8 in blue, the layout's font colour.
TUrlLabel* Link(QWidget* parent, const char* name, const char* caption, const QRect& geometry) {
  auto* link = new TUrlLabel(parent);
  link->setObjectName(QString::fromLatin1(name));
  link->setText(QString::fromUtf8(caption));
  link->setGeometry(geometry);
  link->SetFontColour(QColor(kBlue));
  return link;
}

}  // namespace

TInfoPanel::TInfoPanel(QWidget* client) : QFrame(client) {
  setAutoFillBackground(true);
  setVisible(false);
}

void TInfoPanel::BringToFront() {
  if (onShow_ != this) parkedAt_ = pos();
  raise();
  move(0, 0);
}

void TInfoPanel::SaveFormSize() {
  if (onShow_ != nullptr) {
    if (onShow_ != this) onShow_->HidePanel();
    return;
  }
  QWidget* form = window();
  SavedFormWidth = form->frameGeometry().width();
  SavedFormHeight = form->frameGeometry().height();
  savedClientSize_ = Client()->size();
  savedFocus_ = QApplication::focusWidget();
}

void TInfoPanel::CoverClientArea(QWidget* focus) {
  Client()->setFixedSize(size());
  ShowMenuItems(window(), false);
  FitWindow(window());
  onShow_ = this;
  show();
  focus->setFocus(Qt::OtherFocusReason);
}

void TInfoPanel::HidePanel() {
  hide();
  move(parkedAt_);
}

void TInfoPanel::RestoreForm() {
  if (onShow_ != this) return;
  onShow_ = nullptr;
  Client()->setFixedSize(savedClientSize_);
  ShowMenuItems(window(), true);
  FitWindow(window());
  if (savedFocus_ != nullptr) savedFocus_->setFocus(Qt::OtherFocusReason);
}

TUrlLabel* TInfoPanel::AddWebLink(const QRect& geometry) {
  TUrlLabel* link = Link(this, "UrlLabel1", kWebCaption, geometry);
  link->SetURLType(TUrlLabel::utCustom);
  link->SetURL(QString::fromLatin1(kHomePage));
  return link;
}

TUrlLabel* TInfoPanel::AddMailLink(const char* caption, const QRect& geometry) {
  TUrlLabel* link = Link(this, "UrlLabel2", caption, geometry);
  link->SetURLType(TUrlLabel::utMail);
  link->SetURL(QString::fromLatin1(kMailAddress));
  return link;
}

QLabel* TInfoPanel::AddTitle(const QRect& geometry) {
  auto* title = new QLabel(this);
  title->setObjectName(QStringLiteral("RxLabel1"));
  title->setGeometry(geometry);
  title->setFont(vidorra::NearestFont(QString::fromLatin1(kTitleFont), kTitleFontPx, true));
  QPalette palette = title->palette();
  palette.setColor(QPalette::WindowText, QColor(kMaroon));
  title->setPalette(palette);
  title->setAutoFillBackground(false);  // transparent
  auto* shadow = new QGraphicsDropShadowEffect(title);
  shadow->setOffset(kTitleShadowOffset);
  shadow->setBlurRadius(0);
  shadow->setColor(QColor(kTitleShadow));
  title->setGraphicsEffect(shadow);
  return title;
}

QPlainTextEdit* TInfoPanel::AddMemo(const QRect& geometry) {
  auto* memo = new QPlainTextEdit(this);
  memo->setObjectName(QStringLiteral("Memo1"));
  memo->setGeometry(geometry);
  memo->setFrameShape(QFrame::NoFrame);
  memo->setReadOnly(true);
  memo->setTabChangesFocus(true);
  QFont font = vidorra::NearestFont(QString::fromLatin1(kMemoFont), kFontPx);
  font.setItalic(true);
  memo->setFont(font);
  QPalette palette = memo->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));  // the panel's background
  memo->setPalette(palette);
  return memo;
}

QLabel* TInfoPanel::AddPicture(const char* name, const QRect& geometry) {
  auto* picture = new QLabel(this);
  picture->setObjectName(QString::fromLatin1(name));
  picture->setGeometry(geometry);
  picture->setScaledContents(true);  // stretched
  picture->setPixmap(QPixmap(QString::fromLatin1(kPicture)));
  return picture;
}

QLabel* TInfoPanel::AddIcon(const QPoint& topLeft) {
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("Image2"));
  icon->setGeometry(QRect(topLeft, kIconSize));
  icon->setPixmap(QPixmap(QString::fromLatin1(kIcon)));
  return icon;
}

QPushButton* TInfoPanel::AddCloseButton(const char* name, const QRect& geometry) {
  auto* button = new QPushButton(QString::fromLatin1(kCloseCaption), this);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  vidorra::Connect(escape, &QShortcut::activated, button, [button] { button->click(); });
  return button;
}

bool TInfoPanel::focusNextPrevChild(bool next) {
  QWidget* start = QApplication::focusWidget();
  if (!isVisible() || start == nullptr || !isAncestorOf(start)) {
    return QFrame::focusNextPrevChild(next);
  }
  for (QWidget* w = start;;) {
    w = next ? w->nextInFocusChain() : w->previousInFocusChain();
    if (w == start) return true;
    if (isAncestorOf(w) && w->isVisible() && w->isEnabled() &&
        (w->focusPolicy() & Qt::TabFocus) != 0) {
      w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      return true;
    }
  }
}
