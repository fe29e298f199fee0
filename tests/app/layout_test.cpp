// The main window's layout: every control with its name, caption, hint, initial state, range
// and place; the pages, menus, timer and panels; the client area and the window frame; and the
// fonts the layout was made for (MS Sans Serif 8 pt and Arial, whose metric-compatible fonts
// scripts/run, scripts/test and the package install), the clock's slab serif like Rockwell.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <map>

#include "AlarmClock.h"
#include "FolderPicker.h"
#include "MediaGraph.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"
#include "SpinEdit.h"
#include "WindowTestSupport.h"
#include "WindowTimer.h"

namespace vidorra {
namespace {

// One control a line: name|state|caption|hint. State: on, off (disabled) or hidden; caption *:
// none to check; a hint's further lines are indented below it and joined with CR LF.
constexpr const char* kControls = R"(
PleinEcranBtn|on|Plein Ecran|Basculer en mode plein écran
AproposBtn|on|A propos...|Trouver des informations et de l'aide
ActualiserVideoBtn|on||Actualiser la liste des sources de capture vidéo
cboxVideo|on|*|Liste des sources  de capture vidéo
QuitterBtn|on|Quitter|Quitter le programme Vidorra
Panel1|on|*|Ecran de prévisualisation.
  Comprend un menu popup.
  Son bord devient gris s'il n'y a pas de source vidéo
  rouge si on enregistre, jaune si la programmation est active,
  fuchsia si un enregistré est en cours, avec une fin programmée.
gbFichier|on|Fichier|Définir le fichier avi pour l'enregistrement
VideoDirEdit|on|*|Choisir le dossier dans lequel seront capturées les vidéos.
VideoRacineEdit|on|Video|Racine utilisée pour le nom du fichier enregistré.
VideoDate|on|VideoDate|Ajouter ou enlever la date au nom du fichier.
LabelVideo|on|*|Indique le nom du prochain fichier  enregistré,
  ou le nom actuel si on est en train d'enregistrer.
rgFormat|on|*|Choisir le format d'enregistrement des vidéos.
  En standard je recommande DV type 2 normal pour les sources DV
  et video native pour toutes les autres.
rgStandard|off|*|Choisir entre le format Pal ou NTSC pour le flux vidéo DV.
  Attention, Vidorra ne modifie pas les frames/seconde
  du flux d'origine.
gbAudio|on|*|Détreminer s'il faut ajouter une source audio
cbEnregistrerAudioSource|on|Ajouter Audio|Ajouter le flux de la carte son choisie à la vidéo
cbEnregistrerAudioDV|on|audio DV|Enregistrer ou non l'audio DV
cboxAudio|on|*|Choisir la source audio
CaptureBtn|on|Capture|Démarrer la capture
CouperBtn|off|Couper|Couper le film en train d'être capturé,
  pour commencer une nouvelle séquence.
StopBtn|off|Stop|Arrêter la capture
RxClock2|on|*|heure actuelle sur l'ordinateur
RxSpinEdit1|on|*|Saisir l'heure de début de l'enregistrement programmé,
  en heures, minutes, secondes.
RxSpinEdit6|on|*|Saisir l'heure de fin de l'enregistrement programmé
  en Heures, Minutes, Secondes.
NowBtn|on|*|Met l'heure de Fin égale à celle du début.
ProgBtn|on|Prog|Lance la programmation.
ProgStopBtn|off|Stop Prog|Arrête la programmation.
grabBtn|on|Grab|Saisir une image  et l'enregistrer sur disque.
RxSwitch1|on|*|Basculer l'intervallomètre.
  A régler sous l'onglet options.
chronoLab|on|*|Durée en secondes jusqu'à la prochaine capture d'image.
destlab|on|*|Prochaine image enregistrée
cbDeinterlacer|hidden|Désentrelacer|Si le filtre de désentrelacement de Pinnacle est installé,
  permet de l'activer ou désactiver.
gbFichiersImages|on|Fichiers images|Déterminer le fichier pour enregistrer les images
ImageDirEdit|on|*|Choisir le dossier où on enregistre les images
ImageRacineEdit|on|Image|Racine utilisée pour le nom de l'image enregistrée.
ImageDate|on|Date|Ajouter ou enlever la date au nom du fichier de l'image
LabelImage|on|*|Indique le nom de la prochaine image  enregistrée.
rgExtension|on|*|Choisir le type de l'image enregistrée
gbQuality|hidden|Qualité jpeg|Régler la qualité Jpeg.
  mini à gauche - maxi à droite
labQuality|on|50|
gbIntervallometre|on|Intervallomètre|Fixer les valeurs de l'intervallomètre
RxSpinEdit7|on|*|Délai entre deux images de l'intervallomètre
ComboBox1|on|*|Unité pour calculer le délai de l'intervallomètre
LabelIntervallo|hidden|Intervallomètre activé: |
cbEcouterAudioSource|off|Ecouter Audio|Réecouter ou non la source audio choisie.
  Devrait en général être désactivé, sauf si la source n'est pas la carte son principale.
cbEcouterAudioDV|on|Ecouter DV|Ecouter ou non l'audio de la source DV.
  Activé par défaut.
tb|on|*|Régler le volume du son.
  N'a pas d'effet sur le volume enregistré.
cbMute|on|Mute|Couper ou remettre le son.
  N'a pas d'effet sur la capture.
AproposFrame1|hidden|*|
ErreurFrame1|hidden|*|)";

struct ControlRow {
  QString name, state, caption, hint;
};

std::vector<ControlRow> Rows() {
  std::vector<ControlRow> rows;
  for (const QString& line : QString::fromUtf8(kControls).split(u'\n', Qt::SkipEmptyParts)) {
    if (line.startsWith(QLatin1String("  "))) {
      rows.back().hint += QStringLiteral("\r\n") + line.trimmed();
    } else {
      const QStringList f = line.split(u'|');
      rows.push_back({f.value(0), f.value(1), f.value(2), f.value(3)});
    }
  }
  return rows;
}

QString Caption(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  return {};
}

// Advance widths of Arial (units of 1/2048 em) for the letters of the captions measured.
const std::map<QChar, int>& ArialAdvances() {
  static const std::map<QChar, int> advances = {
      {u' ', 569},  {u'C', 1479}, {u'E', 1366}, {u'P', 1366}, {u'a', 1139},
      {u'c', 1024}, {u'e', 1139}, {u'i', 455},  {u'l', 455},  {u'n', 1139},
      {u'p', 1139}, {u'r', 682},  {u't', 569},  {u'u', 1139}, {u'I', 569},
      {u'm', 1706}, {u'g', 1139}, {u'o', 1139}, {u'Q', 1593},
  };
  return advances;
}

double ArialWidth(const QString& text, int pixelSize) {
  double units = 0;
  for (QChar c : text) units += ArialAdvances().at(c);
  return units * pixelSize / 2048.0;
}

constexpr const char* kMissingFonts =
    "the window's fonts are missing: install fonts-liberation2 and fonts-roboto-slab";

class LayoutTest : public test::FormTest {
 protected:
  QWidget* Find(const char* name) { return form_->findChild<QWidget*>(QString::fromLatin1(name)); }
};

TEST_F(LayoutTest, EveryControlHasItsNameCaptionHintAndInitialState) {
  const std::vector<ControlRow> rows = Rows();
  ASSERT_EQ(rows.size(), 49u);
  for (const ControlRow& row : rows) {
    SCOPED_TRACE(row.name.toStdString());
    QWidget* widget = form_->findChild<QWidget*>(row.name);
    ASSERT_NE(widget, nullptr);
    if (row.caption != QStringLiteral("*")) {
      EXPECT_EQ(Caption(widget), row.caption);
    }
    if (!row.hint.isEmpty()) {
      EXPECT_EQ(widget->toolTip(), row.hint);
    }
    EXPECT_EQ(widget->isEnabledTo(form_.get()), row.state != QStringLiteral("off"));
    EXPECT_EQ(widget->isHidden(), row.state == QStringLiteral("hidden"));
  }
}

TEST_F(LayoutTest, AFixedClientAreaThatHoldsEveryControl) {
  form_->show();
  const QRect client(QPoint(0, 0), QSize(694, 446));
  EXPECT_EQ(form_->centralWidget()->size(), client.size());
  EXPECT_EQ(form_->minimumSize(), form_->maximumSize()) << "not resizable";
  const Qt::WindowFlags flags = form_->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Vidorra de Orvale"));
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
  EXPECT_EQ(form_->ComboBox1->count(), 3);  // their captions: ImagesTest
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
  for (auto* shortcut : form_->TabSheet1->findChildren<QShortcut*>()) {
    if (shortcut->key() == QKeySequence(Qt::Key_Return)) emit shortcut->activated();
    if (shortcut->key() == QKeySequence(Qt::Key_Escape)) emit shortcut->activated();
  }
  EXPECT_EQ(captures, 1);
  EXPECT_EQ(stops, 0) << "Stop is disabled at start";
}

TEST_F(LayoutTest, CaptionsHaveTheWidthsTheLayoutWasMadeFor) {
  TCaptureForm& form = *form_;
  struct Measured {
    QWidget* widget;
    QString text;
  };
  const std::vector<Measured> measured = {
      {form.PleinEcranBtn, QStringLiteral("Plein Ecran")},
      {form.QuitterBtn, QStringLiteral("Quitter")},
      {form.destlab, QStringLiteral("Image")},
      // Inside the tabbed pages, and the tabs' own captions.
      {form.CaptureBtn, QStringLiteral("Capture")},
      {form.PageControl1->tabBar(), QStringLiteral("Programmer")},
  };
  for (const Measured& m : measured) {
    SCOPED_TRACE(m.widget->objectName().toStdString());
    const QFont font = m.widget->font();
    ASSERT_GT(font.pixelSize(), 0) << font.toString().toStdString();
    const double expected = ArialWidth(m.text, font.pixelSize());
    const int width = QFontMetrics(font).horizontalAdvance(m.text);
    // Hinting rounds each advance to a whole pixel; another sans (DejaVu Sans) is 10 to 20 %
    // wider, several pixels on these words.
    EXPECT_NEAR(width, expected, 2.0) << QFontInfo(font).family().toStdString() << " for \""
                                      << m.text.toStdString() << "\": " << kMissingFonts;
  }
}

TEST_F(LayoutTest, TheFourTabsFitThePaneWidth) {
  form_->show();
  QTabBar* tabs = form_->PageControl1->tabBar();
  // The compact tabs' style sheet still applies: the last tab ends inside the pane.
  EXPECT_LT(tabs->tabRect(tabs->count() - 1).right(), form_->PageControl1->width());
}

TEST_F(LayoutTest, TheClockHasASlabSerif) {
  EXPECT_EQ(QFontInfo(form_->RxClock2->font()).family(), QStringLiteral("Roboto Slab"))
      << kMissingFonts;
  EXPECT_TRUE(form_->RxClock2->font().bold());
}

}  // namespace
}  // namespace vidorra
