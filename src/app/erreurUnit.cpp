#include "erreurUnit.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include "HandlerGuard.h"
#include "UrlLabel.h"

#ifndef VIDORRA_VERSION
#error "VIDORRA_VERSION is set by the build (cmake/VidorraInstall.cmake)"
#endif

namespace {

constexpr const char* kMailSubject = "Erreur de Vidorra " VIDORRA_VERSION;
constexpr const char* kMailCaption = "Envoyer un rapport d'erreur par e-mail";
constexpr const char* kTitle = "Orvale est désolé:";
constexpr const char* kProgram = "Vidorra";
constexpr const char* kFatalPhrase = " a rencontré une erreur fatale";
constexpr const char* kWarningPhrase = " a diagnostiqué des problèmes potentiels";
constexpr const char* kOnYourSystem = " sur votre système:";
constexpr const char* kPleaseMail =
    "Vous devriez m'envoyer un e-mail sur ce problème, en n'oubliant pas de préciser quel est le "
    "programme utilisé, le système d'exploitation , le fichier vidéo en cause, son codec...";
constexpr const char* kHelpOn = "Pour avoir une aide sur l'utilisation de ";
constexpr const char* kInformation = ", des informations, des mises à jour éventuelles, ";
constexpr const char* kWebSite = "vous pouvez aussi vous rendre sur mon site web.";
constexpr const char* kCrLf = "\r\n";

// Panel coordinates.
constexpr QPoint kImage2{8, 8};
constexpr QRect kRxLabel1{8, 52, 190, 26};  // under the icon: the heading is long
constexpr QRect kImage1{204, 8, 108, 81};
constexpr QRect kUrlLabel1{11, 96, 297, 16};
constexpr QRect kMemo1{11, 116, 297, 241};
constexpr QRect kUrlLabel2{11, 366, 297, 16};
constexpr QRect kFermerErreurBtn{122, 400, 76, 28};

}  // namespace

TErreurFrame::TErreurFrame(QWidget* client) : TInfoPanel(client) {
  resize(kSize);
  UrlLabel1 = AddWebLink(kUrlLabel1);
  UrlLabel2 = AddMailLink(kMailCaption, kUrlLabel2);
  RxLabel1 = AddTitle(kRxLabel1);
  Image1 = AddPicture("Image1", kImage1);
  Image2 = AddIcon(kImage2);
  Memo1 = AddMemo(kMemo1);
  FermerErreurBtn = AddCloseButton("FermerErreurBtn", kFermerErreurBtn);
  vidorra::Connect(FermerErreurBtn, &QPushButton::clicked, this,
                   &TErreurFrame::FermerErreurBtnClick);
}

QString TErreurFrame::ErrorText(const QString& message, bool fatal) {
  const QString crLf = QString::fromLatin1(kCrLf);
  const QString program = QString::fromUtf8(kProgram);
  return program + QString::fromUtf8(fatal ? kFatalPhrase : kWarningPhrase) +
         QString::fromUtf8(kOnYourSystem) + crLf + crLf + message + crLf + crLf +
         QString::fromUtf8(kPleaseMail) + crLf + QString::fromUtf8(kHelpOn) + program +
         QString::fromUtf8(kInformation) + QString::fromUtf8(kWebSite) + crLf + crLf;
}

void TErreurFrame::ShowErrorPanel(const QString& message, bool fatal) {
  ErrorIsFatal = fatal;
  BringToFront();
  UrlLabel2->SetMailSubject(QString::fromUtf8(kMailSubject));
  UrlLabel2->SetMailBody(message);
  SaveFormSize();
  RxLabel1->setText(QString::fromUtf8(kTitle));
  Memo1->setPlainText(ErrorText(message, fatal));
  CoverClientArea(FermerErreurBtn);
}

void TErreurFrame::FermerErreurBtnClick() {
  HidePanel();
  if (ErrorIsFatal) window()->close();
  RestoreForm();
}
