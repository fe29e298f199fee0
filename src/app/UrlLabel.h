// TUrlLabel: a label that acts as a link. A click hands the address it composes to the desktop
// (ShellExecuteA, verb "open"), which opens it in the default browser or mail program; the
// mouse over it shows it in ActiveColor, underlined.
//
// The address is composed from URLType: utCustom gives CustomURLType followed by URL; each other
// type puts its scheme in front of URL ("https://", "ftp://", "mailto:", ...). A mail link adds
// its subject and body as the fields "Subject" and "Body", each left out when empty, their texts
// percent-encoded as UTF-8 (everything but letters, digits and "-._~"), so that spaces, "&",
// "?", "#", "%", line breaks and accented letters reach the mail program exactly as given.
// With ShowUrlHint on, the hint (tooltip) is the address, kept up to date.
//
// Thread: the UI thread only.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

class TUrlLabel : public QLabel {
  Q_OBJECT
  Q_PROPERTY(QColor ActiveColor READ ActiveColor WRITE SetActiveColor)
  Q_PROPERTY(QString CustomURLType READ CustomURLType WRITE SetCustomURLType)
  Q_PROPERTY(bool DetectMouse READ DetectMouse WRITE SetDetectMouse)
  Q_PROPERTY(QColor InactiveColor READ InactiveColor WRITE SetInactiveColor)
  Q_PROPERTY(QString MailBody READ MailBody WRITE SetMailBody)
  Q_PROPERTY(QString MailSubject READ MailSubject WRITE SetMailSubject)
  Q_PROPERTY(bool ShowUrlHint READ ShowUrlHint WRITE SetShowUrlHint)
  Q_PROPERTY(TUrlType URLType READ URLType WRITE SetURLType)
  Q_PROPERTY(QString URL READ URL WRITE SetURL)

 public:
  enum TUrlType { utHttp, utHttps, utFtp, utFile, utNews, utMail, utCustom };
  Q_ENUM(TUrlType)

  // Navy text in "Verdana" 8 (or "Arial" where it is missing), the hand cursor; DetectMouse and
  // ShowUrlHint on, ActiveColor blue, InactiveColor navy, URLType utHttp.
  explicit TUrlLabel(QWidget* parent = nullptr);
  ~TUrlLabel() override = default;

  // The address a click opens.
  QString Address() const;
  // Asks the desktop to open Address(). A link the desktop cannot open gives no message (the
  // reason goes to stderr).
  void Click();

  QColor ActiveColor() const { return activeColor_; }
  void SetActiveColor(const QColor& colour) { activeColor_ = colour; }
  QString CustomURLType() const { return customUrlType_; }
  void SetCustomURLType(const QString& prefix);
  bool DetectMouse() const { return detectMouse_; }
  void SetDetectMouse(bool on) { detectMouse_ = on; }
  QColor InactiveColor() const { return inactiveColor_; }
  void SetInactiveColor(const QColor& colour) { inactiveColor_ = colour; }
  QString MailBody() const { return mailBody_; }
  void SetMailBody(const QString& body);
  QString MailSubject() const { return mailSubject_; }
  void SetMailSubject(const QString& subject);
  bool ShowUrlHint() const { return showUrlHint_; }
  void SetShowUrlHint(bool on);
  TUrlType URLType() const { return urlType_; }
  void SetURLType(TUrlType type);
  QString URL() const { return url_; }
  void SetURL(const QString& url);

  // The text colour (the font colour of the layout).
  void SetFontColour(const QColor& colour);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void UpdateHint();

  QColor activeColor_;
  QColor inactiveColor_;
  QString customUrlType_;
  QString mailBody_;
  QString mailSubject_;
  QString url_;
  TUrlType urlType_ = utHttp;
  bool detectMouse_ = true;
  bool showUrlHint_ = true;
  bool pressed_ = false;
};
