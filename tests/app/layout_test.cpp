// The main window's layout: every control with its name, kind, caption, hint, initial state,
// range and place; the pages, menus, timer and panels; the client area and the window frame.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>

#include "AlarmClock.h"
#include "AppTestEnvironment.h"
#include "FolderPicker.h"
#include "MediaGraph.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"
#include "SpinEdit.h"
#include "WindowTimer.h"
#include "mainFlux.h"

namespace vidorra {
namespace {

struct ControlRow {
  const char* name;
  const char* caption;  // nullptr: the control has no caption to check
  std::vector<const char*> hint;
  bool enabled;
  bool hidden;
};

QString Caption(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  return {};
}

QString Joined(const std::vector<const char*>& lines) {
  QStringList parts;
  for (const char* line : lines) parts << QString::fromUtf8(line);
  return parts.join(QStringLiteral("\r\n"));
}

const std::vector<ControlRow>& Rows() {
  static const std::vector<ControlRow> rows = {
      {"PleinEcranBtn", "Plein Ecran", {"Basculer en mode plein écran"}, true, false},
      {"AproposBtn", "A propos...", {"Trouver des informations et de l'aide"}, true, false},
      {"ActualiserVideoBtn", "", {"Actualiser la liste des sources de capture vidéo"}, true, false},
      {"cboxVideo", nullptr, {"Liste des sources  de capture vidéo"}, true, false},
      {"QuitterBtn", "Quitter", {"Quitter le programme Vidorra"}, true, false},
      {"Panel1",
       nullptr,
       {"Ecran de prévisualisation.", "Comprend un menu popup.",
        "Son bord devient gris s'il n'y a pas de source vidéo",
        "rouge si on enregistre, jaune si la programmation est active,",
        "fuchsia si un enregistré est en cours, avec une fin programmée."},
       true,
       false},
      {"gbFichier", "Fichier", {"Définir le fichier avi pour l'enregistrement"}, true, false},
      {"VideoDirEdit",
       nullptr,
       {"Choisir le dossier dans lequel seront capturées les vidéos."},
       true,
       false},
      {"VideoRacineEdit",
       "Video",
       {"Racine utilisée pour le nom du fichier enregistré."},
       true,
       false},
      {"VideoDate", "VideoDate", {"Ajouter ou enlever la date au nom du fichier."}, true, false},
      {"LabelVideo",
       nullptr,
       {"Indique le nom du prochain fichier  enregistré,",
        "ou le nom actuel si on est en train d'enregistrer."},
       true,
       false},
      {"rgFormat",
       nullptr,
       {"Choisir le format d'enregistrement des vidéos.",
        "En standard je recommande DV type 2 normal pour les sources DV",
        "et video native pour toutes les autres."},
       true,
       false},
      {"rgStandard",
       nullptr,
       {"Choisir entre le format Pal ou NTSC pour le flux vidéo DV.",
        "Attention, Vidorra ne modifie pas les frames/seconde", "du flux d'origine."},
       false,
       false},
      {"gbAudio", nullptr, {"Détreminer s'il faut ajouter une source audio"}, true, false},
      {"cbEnregistrerAudioSource",
       "Ajouter Audio",
       {"Ajouter le flux de la carte son choisie à la vidéo"},
       true,
       false},
      {"cbEnregistrerAudioDV", "audio DV", {"Enregistrer ou non l'audio DV"}, true, false},
      {"cboxAudio", nullptr, {"Choisir la source audio"}, true, false},
      {"CaptureBtn", "Capture", {"Démarrer la capture"}, true, false},
      {"CouperBtn",
       "Couper",
       {"Couper le film en train d'être capturé,", "pour commencer une nouvelle séquence."},
       false,
       false},
      {"StopBtn", "Stop", {"Arrêter la capture"}, false, false},
      {"RxClock2", nullptr, {"heure actuelle sur l'ordinateur"}, true, false},
      {"RxSpinEdit1",
       nullptr,
       {"Saisir l'heure de début de l'enregistrement programmé,", "en heures, minutes, secondes."},
       true,
       false},
      {"RxSpinEdit6",
       nullptr,
       {"Saisir l'heure de fin de l'enregistrement programmé", "en Heures, Minutes, Secondes."},
       true,
       false},
      {"NowBtn", nullptr, {"Met l'heure de Fin égale à celle du début."}, true, false},
      {"ProgBtn", "Prog", {"Lance la programmation."}, true, false},
      {"ProgStopBtn", "Stop Prog", {"Arrête la programmation."}, false, false},
      {"grabBtn", "Grab", {"Saisir une image  et l'enregistrer sur disque."}, true, false},
      {"RxSwitch1",
       nullptr,
       {"Basculer l'intervallomètre.", "A régler sous l'onglet options."},
       true,
       false},
      {"chronoLab",
       nullptr,
       {"Durée en secondes jusqu'à la prochaine capture d'image."},
       true,
       false},
      {"destlab", nullptr, {"Prochaine image enregistrée"}, true, false},
      {"cbDeinterlacer",
       "Désentrelacer",
       {"Si le filtre de désentrelacement de Pinnacle est installé,",
        "permet de l'activer ou désactiver."},
       true,
       true},
      {"gbFichiersImages",
       "Fichiers images",
       {"Déterminer le fichier pour enregistrer les images"},
       true,
       false},
      {"ImageDirEdit", nullptr, {"Choisir le dossier où on enregistre les images"}, true, false},
      {"ImageRacineEdit",
       "Image",
       {"Racine utilisée pour le nom de l'image enregistrée."},
       true,
       false},
      {"ImageDate",
       "Date",
       {"Ajouter ou enlever la date au nom du fichier de l'image"},
       true,
       false},
      {"LabelImage", nullptr, {"Indique le nom de la prochaine image  enregistrée."}, true, false},
      {"rgExtension", nullptr, {"Choisir le type de l'image enregistrée"}, true, false},
      {"gbQuality",
       "Qualité jpeg",
       {"Régler la qualité Jpeg.", "mini à gauche - maxi à droite"},
       true,
       true},
      {"labQuality", "50", {}, true, false},
      {"gbIntervallometre",
       "Intervallomètre",
       {"Fixer les valeurs de l'intervallomètre"},
       true,
       false},
      {"RxSpinEdit7", nullptr, {"Délai entre deux images de l'intervallomètre"}, true, false},
      {"ComboBox1", nullptr, {"Unité pour calculer le délai de l'intervallomètre"}, true, false},
      {"LabelIntervallo", "Intervallomètre activé: ", {}, true, true},
      {"cbEcouterAudioSource",
       "Ecouter Audio",
       {"Réecouter ou non la source audio choisie.",
        "Devrait en général être désactivé, sauf si la source n'est pas la carte son "
        "principale."},
       false,
       false},
      {"cbEcouterAudioDV",
       "Ecouter DV",
       {"Ecouter ou non l'audio de la source DV.", "Activé par défaut."},
       true,
       false},
      {"tb",
       nullptr,
       {"Régler le volume du son.", "N'a pas d'effet sur le volume enregistré."},
       true,
       false},
      {"cbMute",
       "Mute",
       {"Couper ou remettre le son.", "N'a pas d'effet sur la capture."},
       true,
       false},
      {"AproposFrame1", nullptr, {}, true, true},
      {"ErreurFrame1", nullptr, {}, true, true},
  };
  return rows;
}

class LayoutTest : public test::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    form_ = std::make_unique<TCaptureForm>();
  }
  void TearDown() override {
    form_.reset();
    AppTest::TearDown();
  }
  template <typename T = QWidget>
  T* Find(const char* name) {
    return form_->findChild<T*>(QString::fromLatin1(name));
  }
  std::unique_ptr<TCaptureForm> form_;
};

TEST_F(LayoutTest, EveryControlHasItsNameCaptionHintAndInitialState) {
  for (const ControlRow& row : Rows()) {
    SCOPED_TRACE(row.name);
    QWidget* widget = Find(row.name);
    ASSERT_NE(widget, nullptr);
    if (row.caption != nullptr) {
      EXPECT_EQ(Caption(widget).toStdString(), std::string(row.caption));
    }
    if (!row.hint.empty()) {
      EXPECT_EQ(widget->toolTip().toStdString(), Joined(row.hint).toStdString());
    }
    EXPECT_EQ(widget->isEnabledTo(form_.get()), row.enabled);
    EXPECT_EQ(widget->isHidden(), row.hidden);
  }
}

TEST_F(LayoutTest, MultiLineHintsAreJoinedWithCrLf) {
  EXPECT_EQ(form_->Panel1->toolTip().count(QStringLiteral("\r\n")), 4);
  EXPECT_FALSE(form_->Panel1->toolTip().contains(QStringLiteral(" / ")));
}

TEST_F(LayoutTest, ClientAreaFixedSizeAndFrame) {
  form_->show();
  EXPECT_EQ(form_->centralWidget()->size(), QSize(TCaptureForm::kClientWidth, 446));
  EXPECT_EQ(TCaptureForm::kClientWidth, 694);
  EXPECT_EQ(form_->minimumSize(), form_->maximumSize()) << "not resizable";
  const Qt::WindowFlags flags = form_->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Vidorra de Orvale"));
}

TEST_F(LayoutTest, EveryControlFitsTheClientArea) {
  const QRect client(QPoint(0, 0), QSize(694, 446));
  for (const char* name : {"Bevel1", "PageControl1", "Panel1", "tb", "cbMute", "QuitterBtn",
                           "cbEcouterAudioSource", "LabelIntervallo"}) {
    QWidget* widget = Find(name);
    ASSERT_NE(widget, nullptr) << name;
    EXPECT_TRUE(client.contains(widget->geometry())) << name;
  }
}

TEST_F(LayoutTest, SizesAndPlacesTheLayoutGives) {
  EXPECT_EQ(form_->Bevel1->size(), QSize(689, 50));
  EXPECT_EQ(form_->Panel1->size(), QSize(417, 321));
  EXPECT_EQ(form_->PageControl1->size(), QSize(257, 345));
  EXPECT_LT(form_->PageControl1->x(), form_->Panel1->x()) << "the tabs left, the preview right";
  EXPECT_EQ(form_->cboxVideo->width(), 249);
  EXPECT_EQ(form_->vwEcran->parentWidget(), form_->Panel1);
  EXPECT_EQ(form_->vwEcran->geometry(), QRect(16, 16, 384, 288));
  EXPECT_EQ(form_->vwEcran->palette().color(form_->vwEcran->backgroundRole()), QColor(Qt::black));
  EXPECT_EQ(form_->Image->size(), QSize(192, 144));
  EXPECT_EQ(form_->AproposFrame1->geometry(), QRect(-500, 0, 300, 408));
  EXPECT_EQ(form_->ErreurFrame1->geometry(), QRect(-500, 0, 320, 446));
}

TEST_F(LayoutTest, PagesWithTheFirstInFront) {
  ASSERT_EQ(form_->PageControl1->count(), 4);
  const char* captions[] = {"Capturer", "Programmer", "Images", "Options"};
  const char* names[] = {"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(form_->PageControl1->tabText(i), QString::fromLatin1(captions[i]));
    EXPECT_EQ(form_->PageControl1->widget(i)->objectName(), QString::fromLatin1(names[i]));
  }
  EXPECT_EQ(form_->PageControl1->currentIndex(), 0);
}

TEST_F(LayoutTest, ChoicesRangesAndDefaults) {
  EXPECT_EQ(form_->rgFormat->Items(),
            (QStringList{QStringLiteral("video native"), QStringLiteral("DV type 2 (Premiere)")}));
  EXPECT_EQ(form_->rgFormat->ItemIndex(), 1);
  EXPECT_EQ(form_->rgStandard->Items(),
            (QStringList{QStringLiteral("Pal"), QStringLiteral("NTSC")}));
  EXPECT_EQ(form_->rgStandard->ItemIndex(), 0);
  EXPECT_EQ(form_->rgExtension->Items(),
            (QStringList{QStringLiteral("bmp"), QStringLiteral("jpeg")}));
  EXPECT_EQ(form_->rgExtension->ItemIndex(), 0);
  EXPECT_TRUE(form_->VideoDate->isChecked());
  EXPECT_FALSE(form_->ImageDate->isChecked());
  EXPECT_FALSE(form_->cbEnregistrerAudioSource->isChecked());
  EXPECT_TRUE(form_->cbEnregistrerAudioDV->isChecked());
  EXPECT_FALSE(form_->cbDeinterlacer->isChecked());
  EXPECT_FALSE(form_->cbEcouterAudioSource->isChecked());
  EXPECT_TRUE(form_->cbEcouterAudioDV->isChecked());
  EXPECT_FALSE(form_->cbMute->isChecked());
  EXPECT_TRUE(form_->VideoDirEdit->Edit()->isReadOnly());
  EXPECT_TRUE(form_->ImageDirEdit->Edit()->isReadOnly());
  EXPECT_TRUE(form_->cboxVideo->isEditable());
  EXPECT_TRUE(form_->cboxAudio->isEditable());

  const std::pair<SpinEdit*, int> spins[] = {{form_->RxSpinEdit1, 23},    {form_->RxSpinEdit2, 59},
                                             {form_->RxSpinEdit3, 59},    {form_->RxSpinEdit4, 23},
                                             {form_->RxSpinEdit5, 59},    {form_->RxSpinEdit6, 59},
                                             {form_->RxSpinEdit7, 999999}};
  for (const auto& [spin, max] : spins) {
    EXPECT_EQ(spin->MinValue(), 0) << spin->objectName().toStdString();
    EXPECT_EQ(spin->MaxValue(), max) << spin->objectName().toStdString();
  }
  EXPECT_EQ(form_->RxSpinEdit7->Value(), 10);
  EXPECT_EQ(form_->TrackBar1->minimum(), 1);
  EXPECT_EQ(form_->TrackBar1->maximum(), 100);
  EXPECT_EQ(form_->TrackBar1->value(), 50);
  EXPECT_EQ(form_->tb->minimum(), 0);
  EXPECT_EQ(form_->tb->maximum(), 10000);
  EXPECT_EQ(form_->tb->value(), 10000);
  EXPECT_EQ(form_->tb->tickInterval(), 500);
  ASSERT_EQ(form_->ComboBox1->count(), 3);
  EXPECT_EQ(form_->ComboBox1->itemText(0), QStringLiteral("secondes"));
  EXPECT_EQ(form_->ComboBox1->itemText(1), QStringLiteral("frames Pal (25/s)"));
  EXPECT_EQ(form_->ComboBox1->itemText(2), QStringLiteral("minutes"));
  EXPECT_EQ(form_->ComboBox1->currentIndex(), 0);
  EXPECT_TRUE(form_->ComboBox1->isEditable());
  EXPECT_TRUE(form_->CaptureBtn->isDefault());
  EXPECT_TRUE(form_->ProgBtn->isDefault());
  EXPECT_FALSE(form_->RxClock2->AlarmEnabled());
}

TEST_F(LayoutTest, MenusTimerAndPopup) {
  EXPECT_EQ(form_->menuBar()->objectName(), QStringLiteral("MainMenu1"));
  ASSERT_NE(form_->MENU_OPTIONS, nullptr);
  EXPECT_EQ(form_->MENU_OPTIONS->objectName(), QStringLiteral("MENU_OPTIONS"));
  EXPECT_EQ(form_->MENU_OPTIONS->title(), QStringLiteral("Réglages"));
  EXPECT_EQ(form_->MENU_OPTIONS->menuAction()->toolTip(),
            QStringLiteral("Régler les propriétés des sources audio et vidéo"));
  EXPECT_EQ(form_->Timer1->objectName(), QStringLiteral("Timer1"));
  EXPECT_EQ(form_->Timer1->Interval(), 10000);
  EXPECT_FALSE(form_->Timer1->Enabled());
  ASSERT_EQ(form_->PopupMenu->objectName(), QStringLiteral("PopupMenu"));
  const QList<QAction*> items = form_->PopupMenu->actions();
  ASSERT_EQ(items.size(), 4);
  const char* names[] = {"Capture1", "Couper1", "Stop1", "PLeinEcran1"};
  const char* captions[] = {"Capture", "Couper", "Stop", "Basculer Plein Ecran"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(items[i]->objectName(), QString::fromLatin1(names[i]));
    EXPECT_EQ(items[i]->text(), QString::fromLatin1(captions[i]));
  }
  // Attached through the video window, which also opens it over the picture in full screen.
  EXPECT_EQ(form_->vwEcran->PopupMenu(), form_->PopupMenu);
  EXPECT_TRUE(form_->vwEcran->FullScreenTopMost());
}

TEST_F(LayoutTest, EnterAndEscapeReachOnlyEnabledPageButtons) {
  form_->show();
  form_->CaptureBtn->setFocus();
  int captures = 0;
  int stops = 0;
  QObject::connect(form_->CaptureBtn, &QPushButton::clicked, [&] { ++captures; });
  QObject::connect(form_->StopBtn, &QPushButton::clicked, [&] { ++stops; });
  QKeyEvent enter(QEvent::ShortcutOverride, Qt::Key_Return, Qt::NoModifier);
  for (auto* shortcut : form_->TabSheet1->findChildren<QShortcut*>()) {
    if (shortcut->key() == QKeySequence(Qt::Key_Return)) emit shortcut->activated();
    if (shortcut->key() == QKeySequence(Qt::Key_Escape)) emit shortcut->activated();
  }
  EXPECT_EQ(captures, 1);
  EXPECT_EQ(stops, 0) << "Stop is disabled at start";
}

}  // namespace
}  // namespace vidorra
