#include "aproposUnit.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "HandlerGuard.h"
#include "UrlLabel.h"

#ifndef VIDORRA_VERSION
#error "VIDORRA_VERSION is set by the build (cmake/VidorraInstall.cmake)"
#endif

namespace {

constexpr const char* kMailSubject = "A propos de Vidorra " VIDORRA_VERSION;
constexpr const char* kTitle = "Vidorra " VIDORRA_VERSION;
constexpr const char* kMailCaption = "e-mail de Orvale";
constexpr const char* kParagraphBreak = "\r\n\r\n";

// Panel coordinates.
constexpr QPoint kImage2{8, 8};
constexpr QRect kRxLabel1{48, 12, 128, 26};
constexpr QRect kImage1{184, 8, 108, 81};
constexpr QRect kUrlLabel1{8, 96, 284, 16};
constexpr QRect kMemo1{6, 116, 289, 193};
constexpr QRect kUrlLabel2{8, 318, 284, 16};
constexpr QRect kFermerBtn{112, 364, 76, 28};

constexpr const char* kAboutParagraphs[] = {
    "Vidorra a été écrit par Orvale en C++, avec Qt 6 et les bibliothèques FFmpeg, libjpeg-turbo "
    "et PulseAudio. Quelques idées lui viennent de leurs programmes d'exemple.",
    "Sa dernière mise à jour date du 15 février 2004",
    "Ce programme est gratuit et fourni tel quel, sans aucune garantie. Vous pouvez l'utiliser et "
    "le diffuser librement, tant qu'il reste gratuit.",
    "Pour avoir une aide sur son utilisation, des informations, des mises à jour éventuelles "
    "rendez-vous sur mon site web.",
    "Par ailleurs un e-mail fait toujours plaisir, si vous utilisez ce programme ou avez des "
    "suggestions.",
};

}  // namespace

TAproposFrame::TAproposFrame(QWidget* client) : TInfoPanel(client) {
  resize(kSize);
  UrlLabel1 = AddWebLink(kUrlLabel1);
  Memo1 = AddMemo(kMemo1);
  UrlLabel2 = AddMailLink(kMailCaption, kUrlLabel2);
  RxLabel1 = AddTitle(kRxLabel1);
  FermerBtn = AddCloseButton("FermerBtn", kFermerBtn);
  Image1 = AddPicture("Image1", kImage1);
  Image2 = AddIcon(kImage2);
  vidorra::Connect(FermerBtn, &QPushButton::clicked, this, &TAproposFrame::FermerBtnClick);
}

QString TAproposFrame::AboutText() {
  QStringList paragraphs;
  for (const char* paragraph : kAboutParagraphs) paragraphs << QString::fromUtf8(paragraph);
  return paragraphs.join(QString::fromLatin1(kParagraphBreak));
}

void TAproposFrame::ShowAboutPanel() {
  BringToFront();
  UrlLabel2->SetMailSubject(QString::fromUtf8(kMailSubject));
  SaveFormSize();
  RxLabel1->setText(QString::fromUtf8(kTitle));
  Memo1->setPlainText(AboutText());
  CoverClientArea(FermerBtn);
}

void TAproposFrame::FermerBtnClick() {
  HidePanel();
  RestoreForm();
}
