#include "UrlLabel.h"

#include <shellapi.h>
#include <winuser.h>

#include <QEnterEvent>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QUrl>
#include <cstdint>
#include <cstdio>

#include "FontMatch.h"
#include "HandlerGuard.h"

namespace {

constexpr const char* kFont = "Verdana";
constexpr const char* kFallbackFont = "Arial";
constexpr int kFontPx = 11;  // 8 points at 96 dots per inch
constexpr QRgb kNavy = qRgb(0, 0, 128);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr const char* kOpenVerb = "open";
// ShellExecuteA succeeds with a result above this.
constexpr intptr_t kShellExecuteFailureMax = 32;

// The scheme each type puts in front of URL (utCustom has CustomURLType instead).
const char* Scheme(TUrlLabel::TUrlType type) {
  switch (type) {
    case TUrlLabel::utHttp:
      return "http://";
    case TUrlLabel::utHttps:
      return "https://";
    case TUrlLabel::utFtp:
      return "ftp://";
    case TUrlLabel::utFile:
      return "file://";
    case TUrlLabel::utNews:
      return "news:";
    case TUrlLabel::utMail:
      return "mailto:";
    case TUrlLabel::utCustom:
      break;
  }
  return "";
}

// A field of a mail address: its name, "=" and the text percent-encoded as UTF-8.
QString MailField(const char* name, const QString& text) {
  return QString::fromLatin1(name) + QLatin1Char('=') +
         QString::fromLatin1(QUrl::toPercentEncoding(text));
}

}  // namespace

TUrlLabel::TUrlLabel(QWidget* parent) : QLabel(parent), activeColor_(kBlue), inactiveColor_(kNavy) {
  const QString family = QFontDatabase::hasFamily(QString::fromLatin1(kFont))
                             ? QString::fromLatin1(kFont)
                             : vidorra::NearestFontFamily(QString::fromLatin1(kFallbackFont));
  QFont font(family);
  font.setPixelSize(kFontPx);
  setFont(font);
  SetFontColour(QColor(kNavy));
  setCursor(Qt::PointingHandCursor);
  UpdateHint();
}

QString TUrlLabel::Address() const {
  if (urlType_ == utCustom) return customUrlType_ + url_;
  QString address = QString::fromLatin1(Scheme(urlType_)) + url_;
  if (urlType_ == utMail) {
    QStringList fields;
    if (!mailSubject_.isEmpty()) fields << MailField("Subject", mailSubject_);
    if (!mailBody_.isEmpty()) fields << MailField("Body", mailBody_);
    if (!fields.isEmpty()) {
      // The first field opens the query part, unless the address already has one.
      address += url_.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?');
      address += fields.join(QLatin1Char('&'));
    }
  }
  return address;
}

void TUrlLabel::Click() {
  const QByteArray address = Address().toUtf8();
  const auto result = reinterpret_cast<intptr_t>(ShellExecuteA(
      GetDesktopWindow(), kOpenVerb, address.constData(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= kShellExecuteFailureMax) {
    std::fprintf(stderr, "link: the desktop could not open %s (ShellExecuteA: %ld)\n",
                 address.constData(), static_cast<long>(result));
  }
}

void TUrlLabel::SetCustomURLType(const QString& prefix) {
  customUrlType_ = prefix;
  UpdateHint();
}

void TUrlLabel::SetMailBody(const QString& body) {
  mailBody_ = body;
  UpdateHint();
}

void TUrlLabel::SetMailSubject(const QString& subject) {
  mailSubject_ = subject;
  UpdateHint();
}

void TUrlLabel::SetShowUrlHint(bool on) {
  showUrlHint_ = on;
  UpdateHint();
}

void TUrlLabel::SetURLType(TUrlType type) {
  urlType_ = type;
  UpdateHint();
}

void TUrlLabel::SetURL(const QString& url) {
  url_ = url;
  UpdateHint();
}

void TUrlLabel::SetFontColour(const QColor& colour) {
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, colour);
  setPalette(palette);
}

void TUrlLabel::UpdateHint() {
  if (showUrlHint_) setToolTip(Address());
}

void TUrlLabel::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  if (!detectMouse_) return;
  SetFontColour(activeColor_);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
}

void TUrlLabel::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  if (!detectMouse_) return;
  SetFontColour(inactiveColor_);
  QFont plain = font();
  plain.setBold(false);
  plain.setItalic(false);
  plain.setUnderline(false);
  plain.setStrikeOut(false);
  setFont(plain);
}

void TUrlLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  event->accept();
}

// A click is a left press and release on the label, as on a button.
void TUrlLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click) vidorra::GuardCall([this] { Click(); });
}
