// TCaptureForm's controls: names, kinds, captions, hints, ranges, defaults, initial states and
// places. Hints are tooltips; a hint of several lines has them joined by CR LF. The client area
// is kClientWidth x kClientHeight below the menu bar; the window has a fixed size and only a
// minimise box besides the close box.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGroupBox>
#include <QIcon>
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
#include <QTimer>
#include <QToolButton>
#include <initializer_list>

#include "AlarmClock.h"
#include "FolderPicker.h"
#include "FontMatch.h"
#include "HandlerGuard.h"
#include "MediaGraph.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"
#include "SoundMeter.h"
#include "SpinEdit.h"
#include "WindowTimer.h"
#include "mainFlux.h"

using vidorra::Connect;

namespace {

// Window.
constexpr QPoint kWindowPosition{170, 76};
constexpr const char* kWindowFont = "MS Sans Serif";
constexpr int kWindowFontPx = 11;  // 8 points at 96 dots per inch
constexpr const char* kHintLineBreak = "\r\n";

// Geometry of the client area (x, y, width, height).
constexpr QRect kBevel1{2, 2, 689, 50};
constexpr QRect kPleinEcranBtn{10, 11, 110, 32};
constexpr QRect kAproposBtn{126, 11, 100, 32};
constexpr QRect kActualiserVideoBtn{296, 15, 26, 24};
constexpr QRect kCboxVideo{326, 16, 249, 22};
constexpr QRect kQuitterBtn{590, 11, 94, 32};
constexpr QRect kPageControl1{6, 58, 257, 345};
constexpr QRect kPanel1{270, 58, 417, 321};
constexpr int kVideoInset = 16;
constexpr QSize kVwEcran{384, 288};
// Under the preview screen: the listening boxes stacked at left 344 (or one alone at top 413),
// the volume slider and "Mute" beside them on the strip at top 413; the intervallometer's line
// above them.
constexpr QRect kLabelIntervallo{270, 382, 417, 18};
constexpr QRect kCbEcouterAudioSource{344, 400, 112, 20};
constexpr QRect kCbEcouterAudioDV{344, 420, 112, 20};
constexpr int kListenAloneTop = 413;
constexpr QRect kTb{462, 413, 146, 26};
constexpr QRect kCbMute{614, 413, 70, 20};
constexpr int kParkedOffset = 500;

constexpr const char* kCompactTabs = "QTabBar::tab { padding: 3px 6px; }";
// Five captions (with the page "Cassette") fit with narrower sides.
constexpr const char* kFiveTabs = "QTabBar::tab { padding: 3px 3px; }";

// Page "Capturer" (page coordinates).
constexpr QRect kGbFichier{4, 2, 241, 98};
constexpr QRect kVideoDirEdit{8, 18, 225, 22};
constexpr QRect kVideoRacineEdit{8, 44, 120, 22};
constexpr QRect kVideoDate{136, 45, 100, 20};
constexpr QRect kLabelVideo{8, 72, 225, 18};
// The format group beside rgStandard; alone it reaches rgStandard's right edge (225 wide). It is
// 13 wider than 141 ("DV type 2 recompressé" needs 140 of the 127 that a 141-wide group leaves
// its items), rgStandard 12 narrower than 81 with the same right edge ("NTSC" needs 55).
constexpr QRect kRgFormat{12, 112, 154, 62};
constexpr QRect kRgStandard{168, 112, 69, 62};
constexpr QRect kGbAudio{12, 173, 225, 65};
constexpr QRect kBevel4{12, 184, 225, 54};  // the DV sound frame, where gbAudio stands
constexpr QRect kCbEnregistrerAudioSource{8, 12, 108, 20};
constexpr QRect kCbEnregistrerAudioDV{120, 12, 100, 20};
constexpr QRect kCboxAudio{8, 36, 209, 22};
constexpr QRect kCaptureBtn{4, 270, 78, 36};
constexpr QRect kCouperBtn{86, 270, 78, 36};
constexpr QRect kStopBtn{168, 270, 77, 36};

// Page "Programmer".
constexpr QRect kRxClock2{20, 8, 209, 40};
constexpr const char* kClockFont = "Rockwell";
constexpr int kClockFontPx = 21;  // 16 points
constexpr QRect kLabDebut{8, 60, 100, 16};
constexpr int kSpinTop1 = 78;
constexpr QRect kLabFin{8, 110, 100, 16};
constexpr int kSpinTop2 = 128;
constexpr int kSpinLeft = 8;
constexpr int kSpinStep = 64;
constexpr QSize kSpinSize{60, 22};
constexpr QRect kNowBtn{202, 128, 26, 22};
constexpr QRect kProgBtn{8, 176, 112, 36};
constexpr QRect kProgStopBtn{126, 176, 112, 36};

// Page "Images".
constexpr QRect kBevel2{26, 6, 196, 148};
constexpr QRect kImage{28, 8, 192, 144};
constexpr QRect kGrabBtn{8, 166, 100, 36};
constexpr QRect kRxSwitch1{130, 166, 44, 22};
constexpr QRect kLabIntervallometre{130, 192, 115, 16};
constexpr QRect kChronoLab{8, 214, 233, 28};
constexpr int kChronoFontPx = 19;
constexpr QRect kDestlab{8, 248, 233, 48};
constexpr const char* kDestlabFont = "Arial";

// Page "Options".
constexpr QRect kCbDeinterlacer{8, 4, 200, 20};
constexpr QRect kGbFichiersImages{4, 26, 241, 98};
constexpr QRect kRgExtension{4, 126, 80, 58};
constexpr QRect kGbQuality{90, 126, 155, 58};
constexpr QRect kTrackBar1{6, 22, 112, 26};
constexpr QRect kLabQuality{122, 26, 28, 16};
constexpr QRect kGbIntervallometre{4, 188, 241, 58};
constexpr QRect kRxSpinEdit7{8, 24, 90, 22};
constexpr QRect kComboBox1{104, 24, 130, 22};
constexpr QRect kCbRapport{8, 252, 237, 20};

// Page "Cassette", and the timecode line under the picture (in Panel1's border).
constexpr QRect kRembobinerBtn{4, 8, 119, 30};
constexpr QRect kAvanceBtn{126, 8, 119, 30};
constexpr QRect kLectureBtn{4, 42, 78, 30};
constexpr QRect kPauseBtn{86, 42, 78, 30};
constexpr QRect kStopBandeBtn{168, 42, 77, 30};
constexpr QRect kLabCommandes{4, 76, 241, 42};
constexpr QRect kCbUnFichierParScene{8, 122, 237, 20};
constexpr QRect kCbNommerParDate{8, 144, 237, 20};
constexpr QRect kCassetteBtn{4, 172, 241, 36};
constexpr QRect kIciBtn{4, 214, 241, 36};
constexpr QRect kLabTimecode{16, 304, 384, 16};
constexpr QRect kLabStatistiques{0, 0, 417, 16};  // the whole strip above the picture
constexpr QRect kSoundMeter{402, 16, 12, 288};  // the border right of the picture
constexpr int kStatsTimerIntervalMs = 1000;
constexpr int kStatsFontPx = 10;  // a long line fits the strip
constexpr int kTapeTimerIntervalMs = 200;

// Ranges and defaults.
constexpr int kHourMax = 23;
constexpr int kMinuteSecondMax = 59;
constexpr int kIntervalMax = 999999;
constexpr int kIntervalDefault = 10;
constexpr int kQualityMin = 1;
constexpr int kQualityMax = 100;
constexpr int kQualityDefault = 50;
constexpr int kVolumeMax = 10000;
constexpr int kVolumeTick = 500;
constexpr int kIntervalloFontPx = 13;
constexpr int kTimer1IntervalMs = 10000;
constexpr int kGlyphSize = 20;

constexpr QRgb kTeal = qRgb(0, 128, 128);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kNavy = qRgb(0, 0, 128);

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// The hint of a control: its lines joined by CR LF.
QString Hint(std::initializer_list<const char*> lines) {
  QStringList parts;
  for (const char* line : lines) parts << Text(line);
  return parts.join(QString::fromLatin1(kHintLineBreak));
}

template <typename W>
W* Place(W* widget, const char* name, const QRect& geometry) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(geometry);
  return widget;
}

QIcon Glyph(const char* name) {
  return QIcon(QStringLiteral(":/glyphs/%1.png").arg(QString::fromLatin1(name)));
}

QPushButton* Button(QWidget* parent, const char* name, const QRect& geometry, const char* caption,
                    const QString& hint, const char* glyph = nullptr) {
  auto* button = Place(new QPushButton(Text(caption), parent), name, geometry);
  button->setToolTip(hint);
  if (glyph != nullptr) {
    button->setIcon(Glyph(glyph));
    button->setIconSize(QSize(kGlyphSize, kGlyphSize));
  }
  return button;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QRect& geometry, const char* caption,
                    bool checked, const QString& hint) {
  auto* box = Place(new QCheckBox(Text(caption), parent), name, geometry);
  box->setChecked(checked);
  box->setToolTip(hint);
  return box;
}

QLabel* Label(QWidget* parent, const char* name, const QRect& geometry, const char* caption,
              const QString& hint = QString()) {
  auto* label = Place(new QLabel(Text(caption), parent), name, geometry);
  label->setToolTip(hint);
  return label;
}

QGroupBox* Group(QWidget* parent, const char* name, const QRect& geometry, const char* caption,
                 const QString& hint) {
  auto* group = Place(new QGroupBox(Text(caption), parent), name, geometry);
  group->setToolTip(hint);
  return group;
}

vidorra::RadioGroup* Radios(QWidget* parent, const char* name, const QRect& geometry,
                            std::initializer_list<const char*> items, int index,
                            const QString& hint) {
  auto* group = Place(new vidorra::RadioGroup(QString(), parent), name, geometry);
  QStringList texts;
  for (const char* item : items) texts << Text(item);
  group->SetItems(texts);
  group->SetItemIndex(index);
  group->setToolTip(hint);
  return group;
}

vidorra::SpinEdit* Spin(QWidget* parent, const char* name, const QRect& geometry, int max,
                        int value, const QString& hint) {
  auto* spin = Place(new vidorra::SpinEdit(0, max, value, parent), name, geometry);
  spin->setToolTip(hint);
  return spin;
}

void Colour(QWidget* widget, QRgb colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, QColor(colour));
  widget->setPalette(palette);
}

void Bold(QWidget* widget, int pixelSize = 0) {
  QFont font = widget->font();
  font.setBold(true);
  if (pixelSize > 0) font.setPixelSize(pixelSize);
  widget->setFont(font);
}

// Enter presses the page's default button and Esc its cancel button, while focus is on the
// page and only when that button is enabled.
void PageKeys(QWidget* page, QPushButton* defaultButton, QPushButton* cancelButton) {
  defaultButton->setDefault(true);
  for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* shortcut = new QShortcut(QKeySequence(key), page);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    Connect(shortcut, &QShortcut::activated, page, [defaultButton] {
      if (defaultButton->isEnabled()) defaultButton->click();
    });
  }
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), page);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  Connect(escape, &QShortcut::activated, page, [cancelButton] {
    if (cancelButton->isEnabled()) cancelButton->click();
  });
}

}  // namespace

void TCaptureForm::BuildLayout() {
  setObjectName(QStringLiteral("CaptureForm"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFont(vidorra::NearestFont(QString::fromLatin1(kWindowFont), kWindowFontPx));
  setWindowIcon(QIcon(QStringLiteral(":/MAINICON.png")));
  move(kWindowPosition);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  BuildTopBar(client);
  BuildPreview(client);
  BuildPages(client);
  BuildBottomBar(client);
  BuildPanelsMenusAndTimer(client);
  // Fixed size: the client area plus the menu bar, never resizable.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TCaptureForm::BuildTopBar(QWidget* client) {
  Bevel1 = Place(new QFrame(client), "Bevel1", kBevel1);
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  PleinEcranBtn = Button(client, "PleinEcranBtn", kPleinEcranBtn, "Plein Ecran",
                         Hint({"Basculer en mode plein écran"}), "fullscreen");
  AproposBtn = Button(client, "AproposBtn", kAproposBtn, "A propos...",
                      Hint({"Trouver des informations et de l'aide"}), "help");
  ActualiserVideoBtn = Place(new QToolButton(client), "ActualiserVideoBtn", kActualiserVideoBtn);
  ActualiserVideoBtn->setAutoRaise(true);
  ActualiserVideoBtn->setIcon(Glyph("refresh"));
  ActualiserVideoBtn->setToolTip(Hint({"Actualiser la liste des sources de capture vidéo"}));
  cboxVideo = Place(new QComboBox(client), "cboxVideo", kCboxVideo);
  cboxVideo->setEditable(true);
  cboxVideo->setToolTip(Hint({"Liste des sources  de capture vidéo"}));
  QuitterBtn = Button(client, "QuitterBtn", kQuitterBtn, "Quitter",
                      Hint({"Quitter le programme Vidorra"}), "close");
}

void TCaptureForm::BuildPreview(QWidget* client) {
  Panel1 = Place(new QFrame(client), "Panel1", kPanel1);
  Panel1->setAutoFillBackground(true);
  Panel1->setBackgroundRole(QPalette::Button);  // the button-face colour until a state sets it
  Panel1->setToolTip(Hint({"Ecran de prévisualisation.", "Comprend un menu popup.",
                           "Son bord devient gris s'il n'y a pas de source vidéo",
                           "rouge si on enregistre, jaune si la programmation est active,",
                           "fuchsia si un enregistré est en cours, avec une fin programmée."}));
  // The video window joins dmCam's graph when the data module exists (first show).
  vwEcran =
      Place(new TVideoWindow(Panel1), "vwEcran", QRect(QPoint(kVideoInset, kVideoInset), kVwEcran));
  vwEcran->SetName(QStringLiteral("vwEcran"));
  vwEcran->SetFullScreenTopMost(true);
  vwEcran->setAutoFillBackground(true);
  vwEcran->setBackgroundRole(QPalette::Window);  // not the panel's role, which children inherit
  QPalette black = vwEcran->palette();
  black.setColor(QPalette::Window, Qt::black);
  vwEcran->setPalette(black);
  vwEcran->installEventFilter(this);  // no tooltip over the picture, not even the panel's
  // A camcorder's own display: light text on black, whatever colour the border has.
  labTimecode = Label(Panel1, "labTimecode", kLabTimecode, "",
                      Hint({"Code temporel et date d'enregistrement de l'image affichée"}));
  labTimecode->setAlignment(Qt::AlignCenter);
  labTimecode->setAutoFillBackground(true);
  labTimecode->setBackgroundRole(QPalette::Window);  // not the panel's, as for the picture
  labTimecode->setForegroundRole(QPalette::WindowText);
  labTimecode->setPalette(black);
  Colour(labTimecode, qRgb(255, 255, 255));
  Bold(labTimecode);
  labTimecode->setVisible(false);
  labStatistiques = Label(Panel1, "labStatistiques", kLabStatistiques, "");
  labStatistiques->setAlignment(Qt::AlignCenter);
  labStatistiques->setAutoFillBackground(true);
  labStatistiques->setBackgroundRole(QPalette::Window);
  labStatistiques->setForegroundRole(QPalette::WindowText);
  labStatistiques->setPalette(labTimecode->palette());
  labStatistiques->setTextFormat(Qt::RichText);
  labStatistiques->setFont(vidorra::NearestFont(QString::fromLatin1(kWindowFont), kStatsFontPx));
  labStatistiques->setAccessibleName(Text("Statistiques d'enregistrement"));
  labStatistiques->setVisible(false);
  StatsTimer = new QTimer(this);
  StatsTimer->setObjectName(QStringLiteral("StatsTimer"));
  StatsTimer->setInterval(kStatsTimerIntervalMs);
  SoundMeter1 = Place(new vidorra::SoundMeter(Panel1), "SoundMeter1", kSoundMeter);

  PopupMenu = new QMenu(vwEcran);
  PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
  auto item = [this](const char* name, const char* caption) {
    QAction* action = PopupMenu->addAction(Text(caption));
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  Capture1 = item("Capture1", "Capture");
  Couper1 = item("Couper1", "Couper");
  Stop1 = item("Stop1", "Stop");
  PLeinEcran1 = item("PLeinEcran1", "Basculer Plein Ecran");
  // Through the component, which also shows it over the renderer's window and in full screen.
  vwEcran->SetPopupMenu(PopupMenu);
}

void TCaptureForm::BuildPages(QWidget* client) {
  PageControl1 = Place(new QTabWidget(client), "PageControl1", kPageControl1);
  // The four captions fit the pane's width as they did with the original's narrow tabs.
  // The style sheet goes on the tab bar alone: on the whole pane it would keep the window's font
  // from the controls of the pages.
  PageControl1->tabBar()->setStyleSheet(QString::fromLatin1(kCompactTabs));
  auto page = [this](const char* name, const char* caption) {
    auto* sheet = new QWidget();
    sheet->setObjectName(QString::fromLatin1(name));
    PageControl1->addTab(sheet, Text(caption));
    return sheet;
  };
  TabSheet1 = page("TabSheet1", "Capturer");
  TabSheet2 = page("TabSheet2", "Programmer");
  TabSheet3 = page("TabSheet3", "Images");
  TabSheet4 = page("TabSheet4", "Options");
  TabSheet5 = page("TabSheet5", "Cassette");
  PageControl1->setTabVisible(PageControl1->indexOf(TabSheet5), false);
  BuildCapturePage();
  BuildProgramPage();
  BuildImagesPage();
  BuildOptionsPage();
  BuildTapePage();
  PageControl1->setCurrentIndex(0);
}

void TCaptureForm::BuildCapturePage() {
  QWidget* page = TabSheet1;
  gbFichier = Group(page, "gbFichier", kGbFichier, "Fichier",
                    Hint({"Définir le fichier avi pour l'enregistrement"}));
  VideoDirEdit = Place(new vidorra::FolderPicker(gbFichier), "VideoDirEdit", kVideoDirEdit);
  VideoDirEdit->setToolTip(Hint({"Choisir le dossier dans lequel seront capturées les vidéos."}));
  VideoRacineEdit =
      Place(new QLineEdit(Text("Video"), gbFichier), "VideoRacineEdit", kVideoRacineEdit);
  VideoRacineEdit->setToolTip(Hint({"Racine utilisée pour le nom du fichier enregistré."}));
  VideoDate = CheckBox(gbFichier, "VideoDate", kVideoDate, "VideoDate", true,
                       Hint({"Ajouter ou enlever la date au nom du fichier."}));
  LabelVideo = Label(gbFichier, "LabelVideo", kLabelVideo, "",
                     Hint({"Indique le nom du prochain fichier  enregistré,",
                           "ou le nom actuel si on est en train d'enregistrer."}));
  Colour(LabelVideo, kTeal);
  Bold(LabelVideo);

  rgFormat = Radios(page, "rgFormat", kRgFormat, {"video native", "DV type 2 (Premiere)"}, 1,
                    Hint({"Choisir le format d'enregistrement des vidéos.",
                          "En standard je recommande DV type 2 normal pour les sources DV",
                          "et video native pour toutes les autres."}));
  rgStandard =
      Radios(page, "rgStandard", kRgStandard, {"Pal", "NTSC"}, 0,
             Hint({"Choisir entre le format Pal ou NTSC pour le flux vidéo DV.",
                   "Attention, Vidorra ne modifie pas les frames/seconde", "du flux d'origine."}));
  rgStandard->setEnabled(false);

  // The frame that says the sound is in the DV stream takes the audio group's place when the
  // format records the camcorder's own sound (the format's handler shows one or the other).
  Bevel4 = Place(new QFrame(page), "Bevel4", kBevel4);
  Bevel4->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Bevel4->setVisible(false);
  labAudioDV = Label(Bevel4, "labAudioDV", QRect(QPoint(0, 0), kBevel4.size()),
                     "Audio intégré dans le flux DV");
  labAudioDV->setAlignment(Qt::AlignCenter);
  gbAudio =
      Group(page, "gbAudio", kGbAudio, "", Hint({"Détreminer s'il faut ajouter une source audio"}));
  cbEnregistrerAudioSource =
      CheckBox(gbAudio, "cbEnregistrerAudioSource", kCbEnregistrerAudioSource, "Ajouter Audio",
               false, Hint({"Ajouter le flux de la carte son choisie à la vidéo"}));
  cbEnregistrerAudioDV = CheckBox(gbAudio, "cbEnregistrerAudioDV", kCbEnregistrerAudioDV,
                                  "audio DV", true, Hint({"Enregistrer ou non l'audio DV"}));
  cboxAudio = Place(new QComboBox(gbAudio), "cboxAudio", kCboxAudio);
  cboxAudio->setEditable(true);
  cboxAudio->setToolTip(Hint({"Choisir la source audio"}));

  CaptureBtn =
      Button(page, "CaptureBtn", kCaptureBtn, "Capture", Hint({"Démarrer la capture"}), "capture");
  CouperBtn = Button(
      page, "CouperBtn", kCouperBtn, "Couper",
      Hint({"Couper le film en train d'être capturé,", "pour commencer une nouvelle séquence."}),
      "cut");
  CouperBtn->setEnabled(false);
  StopBtn = Button(page, "StopBtn", kStopBtn, "Stop", Hint({"Arrêter la capture"}), "stop");
  StopBtn->setEnabled(false);
  PageKeys(page, CaptureBtn, StopBtn);
}

void TCaptureForm::BuildProgramPage() {
  QWidget* page = TabSheet2;
  RxClock2 = Place(new vidorra::AlarmClock(page), "RxClock2", kRxClock2);
  RxClock2->setFont(vidorra::NearestFont(QString::fromLatin1(kClockFont), kClockFontPx, true));
  RxClock2->SetSeparatorColour(QColor(kNavy));
  RxClock2->setToolTip(Hint({"heure actuelle sur l'ordinateur"}));

  const QString startHint = Hint(
      {"Saisir l'heure de début de l'enregistrement programmé,", "en heures, minutes, secondes."});
  const QString endHint = Hint(
      {"Saisir l'heure de fin de l'enregistrement programmé", "en Heures, Minutes, Secondes."});
  auto spinAt = [](int column, int top) {
    return QRect(QPoint(kSpinLeft + column * kSpinStep, top), kSpinSize);
  };
  labDebut = Label(page, "labDebut", kLabDebut, "Début");
  RxSpinEdit1 = Spin(page, "RxSpinEdit1", spinAt(0, kSpinTop1), kHourMax, 0, startHint);
  RxSpinEdit2 = Spin(page, "RxSpinEdit2", spinAt(1, kSpinTop1), kMinuteSecondMax, 0, startHint);
  RxSpinEdit3 = Spin(page, "RxSpinEdit3", spinAt(2, kSpinTop1), kMinuteSecondMax, 0, startHint);
  labFin = Label(page, "labFin", kLabFin, "Fin");
  RxSpinEdit4 = Spin(page, "RxSpinEdit4", spinAt(0, kSpinTop2), kHourMax, 0, endHint);
  RxSpinEdit5 = Spin(page, "RxSpinEdit5", spinAt(1, kSpinTop2), kMinuteSecondMax, 0, endHint);
  RxSpinEdit6 = Spin(page, "RxSpinEdit6", spinAt(2, kSpinTop2), kMinuteSecondMax, 0, endHint);
  NowBtn = Place(new QToolButton(page), "NowBtn", kNowBtn);
  NowBtn->setIcon(Glyph("now"));
  NowBtn->setToolTip(Hint({"Met l'heure de Fin égale à celle du début."}));
  ProgBtn = Button(page, "ProgBtn", kProgBtn, "Prog", Hint({"Lance la programmation."}), "program");
  ProgStopBtn = Button(page, "ProgStopBtn", kProgStopBtn, "Stop Prog",
                       Hint({"Arrête la programmation."}), "programstop");
  ProgStopBtn->setEnabled(false);
  PageKeys(page, ProgBtn, ProgStopBtn);
}

void TCaptureForm::BuildImagesPage() {
  QWidget* page = TabSheet3;
  Bevel2 = Place(new QFrame(page), "Bevel2", kBevel2);
  Bevel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Image = Place(new QLabel(page), "Image", kImage);
  Image->setScaledContents(true);
  grabBtn = Button(page, "grabBtn", kGrabBtn, "Grab",
                   Hint({"Saisir une image  et l'enregistrer sur disque."}), "grab");
  RxSwitch1 = Place(new vidorra::OnOffSwitch(page), "RxSwitch1", kRxSwitch1);
  RxSwitch1->setToolTip(Hint({"Basculer l'intervallomètre.", "A régler sous l'onglet options."}));
  labIntervallometre = Label(page, "labIntervallometre", kLabIntervallometre, "Intervallomètre");
  chronoLab = Label(page, "chronoLab", kChronoLab, "",
                    Hint({"Durée en secondes jusqu'à la prochaine capture d'image."}));
  Colour(chronoLab, kRed);
  Bold(chronoLab, kChronoFontPx);
  auto* shadow = new QGraphicsDropShadowEffect(chronoLab);
  shadow->setOffset(1, 1);
  shadow->setBlurRadius(0);
  chronoLab->setGraphicsEffect(shadow);
  destlab = Label(page, "destlab", kDestlab, "", Hint({"Prochaine image enregistrée"}));
  destlab->setFont(vidorra::NearestFont(QString::fromLatin1(kDestlabFont), kWindowFontPx));
  destlab->setAlignment(Qt::AlignRight | Qt::AlignTop);
  destlab->setWordWrap(true);
}

void TCaptureForm::BuildOptionsPage() {
  QWidget* page = TabSheet4;
  cbDeinterlacer = CheckBox(page, "cbDeinterlacer", kCbDeinterlacer, "Désentrelacer", false,
                            Hint({"Si le filtre de désentrelacement de Pinnacle est installé,",
                                  "permet de l'activer ou désactiver."}));
  cbDeinterlacer->setVisible(false);

  gbFichiersImages = Group(page, "gbFichiersImages", kGbFichiersImages, "Fichiers images",
                           Hint({"Déterminer le fichier pour enregistrer les images"}));
  ImageDirEdit = Place(new vidorra::FolderPicker(gbFichiersImages), "ImageDirEdit", kVideoDirEdit);
  ImageDirEdit->setToolTip(Hint({"Choisir le dossier où on enregistre les images"}));
  ImageRacineEdit =
      Place(new QLineEdit(Text("Image"), gbFichiersImages), "ImageRacineEdit", kVideoRacineEdit);
  ImageRacineEdit->setToolTip(Hint({"Racine utilisée pour le nom de l'image enregistrée."}));
  ImageDate = CheckBox(gbFichiersImages, "ImageDate", kVideoDate, "Date", false,
                       Hint({"Ajouter ou enlever la date au nom du fichier de l'image"}));
  LabelImage = Label(gbFichiersImages, "LabelImage", kLabelVideo, "",
                     Hint({"Indique le nom de la prochaine image  enregistrée."}));
  Colour(LabelImage, kTeal);
  Bold(LabelImage);

  rgExtension = Radios(page, "rgExtension", kRgExtension, {"bmp", "jpeg"}, 0,
                       Hint({"Choisir le type de l'image enregistrée"}));
  gbQuality = Group(page, "gbQuality", kGbQuality, "Qualité jpeg",
                    Hint({"Régler la qualité Jpeg.", "mini à gauche - maxi à droite"}));
  gbQuality->setVisible(false);
  TrackBar1 = Place(new QSlider(Qt::Horizontal, gbQuality), "TrackBar1", kTrackBar1);
  TrackBar1->setRange(kQualityMin, kQualityMax);
  TrackBar1->setValue(kQualityDefault);
  labQuality = Label(gbQuality, "labQuality", kLabQuality, "50");

  gbIntervallometre = Group(page, "gbIntervallometre", kGbIntervallometre, "Intervallomètre",
                            Hint({"Fixer les valeurs de l'intervallomètre"}));
  RxSpinEdit7 = Spin(gbIntervallometre, "RxSpinEdit7", kRxSpinEdit7, kIntervalMax, kIntervalDefault,
                     Hint({"Délai entre deux images de l'intervallomètre"}));
  ComboBox1 = Place(new QComboBox(gbIntervallometre), "ComboBox1", kComboBox1);
  ComboBox1->setEditable(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);  // a typed text never becomes an entry
  ComboBox1->addItems({Text("secondes"), Text("frames Pal (25/s)"), Text("minutes")});
  ComboBox1->setCurrentIndex(0);
  ComboBox1->setToolTip(Hint({"Unité pour calculer le délai de l'intervallomètre"}));
  cbRapport =
      CheckBox(page, "cbRapport", kCbRapport, "Rapport d'enregistrement", false,
               Hint({"Ecrire à la fin de chaque enregistrement un rapport NOM.avi.txt",
                     "à côté du fichier : heures, images, pertes, décalage du son, taille."}));
}

void TCaptureForm::BuildTapePage() {
  QWidget* page = TabSheet5;
  RembobinerBtn = Button(page, "RembobinerBtn", kRembobinerBtn, "Rembobiner",
                         Hint({"Rembobiner la cassette du caméscope"}));
  AvanceBtn = Button(page, "AvanceBtn", kAvanceBtn, "Avance rapide",
                     Hint({"Avancer rapidement la cassette du caméscope"}));
  LectureBtn = Button(page, "LectureBtn", kLectureBtn, "Lecture",
                      Hint({"Lire la cassette du caméscope"}));
  PauseBtn = Button(page, "PauseBtn", kPauseBtn, "Pause", Hint({"Mettre la lecture en pause"}));
  StopBandeBtn = Button(page, "StopBandeBtn", kStopBandeBtn, "Stop",
                        Hint({"Arrêter la cassette,", "et sa capture si elle est en cours."}));
  labCommandes = Label(page, "labCommandes", kLabCommandes, "");
  labCommandes->setWordWrap(true);
  Colour(labCommandes, kRed);
  cbUnFichierParScene =
      CheckBox(page, "cbUnFichierParScene", kCbUnFichierParScene, "Un fichier par scène", false,
               Hint({"En DV type 1 ou DV type 2, commencer un nouveau fichier",
                     "à la première image de chaque scène de la cassette."}));
  cbNommerParDate = CheckBox(
      page, "cbNommerParDate", kCbNommerParDate, "Nommer par date d'enregistrement", false,
      Hint({"Nommer les fichiers capturés d'ici par la date et l'heure", "où leur première image a été filmée."}));
  CassetteBtn = Button(page, "CassetteBtn", kCassetteBtn, "Capturer la cassette",
                       Hint({"Rembobiner la cassette, puis la capturer",
                             "jusqu'à la fin de ce qui a été filmé."}),
                       "capture");
  IciBtn = Button(page, "IciBtn", kIciBtn, "Capturer à partir d'ici",
                  Hint({"Capturer la cassette depuis sa position actuelle",
                        "jusqu'à la fin de ce qui a été filmé."}),
                  "capture");
  TapeTimer = new QTimer(this);
  TapeTimer->setObjectName(QStringLiteral("TapeTimer"));
  TapeTimer->setInterval(kTapeTimerIntervalMs);
}

void TCaptureForm::ShowTapePage(bool shown) {
  const int index = PageControl1->indexOf(TabSheet5);
  if (PageControl1->isTabVisible(index) == shown) return;
  PageControl1->tabBar()->setStyleSheet(QString::fromLatin1(shown ? kFiveTabs : kCompactTabs));
  PageControl1->setTabVisible(index, shown);
}

void TCaptureForm::BuildBottomBar(QWidget* client) {
  LabelIntervallo = Label(client, "LabelIntervallo", kLabelIntervallo, "Intervallomètre activé: ");
  Colour(LabelIntervallo, kRed);
  Bold(LabelIntervallo, kIntervalloFontPx);
  LabelIntervallo->setVisible(false);
  cbEcouterAudioSource =
      CheckBox(client, "cbEcouterAudioSource", kCbEcouterAudioSource, "Ecouter Audio", false,
               Hint({"Réecouter ou non la source audio choisie.",
                     "Devrait en général être désactivé, sauf si la source n'est pas la carte "
                     "son principale."}));
  cbEcouterAudioSource->setEnabled(false);
  cbEcouterAudioDV =
      CheckBox(client, "cbEcouterAudioDV", kCbEcouterAudioDV, "Ecouter DV", true,
               Hint({"Ecouter ou non l'audio de la source DV.", "Activé par défaut."}));
  ListenPlaces[0] = kCbEcouterAudioSource.topLeft();
  ListenPlaces[1] = kCbEcouterAudioDV.topLeft();
  ListenPlaces[2] = QPoint(kCbEcouterAudioSource.left(), kListenAloneTop);
  tb = Place(new QSlider(Qt::Horizontal, client), "tb", kTb);
  tb->setRange(0, kVolumeMax);
  tb->setValue(kVolumeMax);
  tb->setTickInterval(kVolumeTick);
  tb->setTickPosition(QSlider::TicksBelow);
  tb->setToolTip(Hint({"Régler le volume du son.", "N'a pas d'effet sur le volume enregistré."}));
  cbMute = CheckBox(client, "cbMute", kCbMute, "Mute", false,
                    Hint({"Couper ou remettre le son.", "N'a pas d'effet sur la capture."}));
}

void TCaptureForm::BuildPanelsMenusAndTimer(QWidget* client) {
  // Hidden, parked left of the client area until shown.
  AproposFrame1 = Place(new TAproposFrame(client), "AproposFrame1",
                        QRect(QPoint(-kParkedOffset, 0), TAproposFrame::kSize));
  ErreurFrame1 = Place(new TErreurFrame(client), "ErreurFrame1",
                       QRect(QPoint(-kParkedOffset, 0), TErreurFrame::kSize));

  MainMenu1 = menuBar();
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
  MENU_OPTIONS = MainMenu1->addMenu(Text("Réglages"));
  MENU_OPTIONS->setObjectName(QStringLiteral("MENU_OPTIONS"));
  MENU_OPTIONS->menuAction()->setToolTip(
      Hint({"Régler les propriétés des sources audio et vidéo"}));
  MENU_OPTIONS->setToolTipsVisible(true);

  Timer1 = new vidorra::WindowTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->SetInterval(kTimer1IntervalMs);
}

void TCaptureForm::HelpBtnClick() { AproposFrame1->ShowAboutPanel(); }

bool TCaptureForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == vwEcran && event->type() == QEvent::ToolTip) return true;
  if (watched == vwEcran && event->type() == QEvent::Resize) FollowPreviewSize();
  return QMainWindow::eventFilter(watched, event);
}

void TCaptureForm::ConnectHandlers() {
  Connect(QuitterBtn, &QPushButton::clicked, this, &TCaptureForm::QuitterBtnClick);
  Connect(AproposBtn, &QPushButton::clicked, this, &TCaptureForm::HelpBtnClick);
  Connect(VideoRacineEdit, &QLineEdit::editingFinished, this, &TCaptureForm::VideoRacineEditExit);
  Connect(VideoDate, &QCheckBox::toggled, this, &TCaptureForm::VideoDateClick);
  Connect(VideoDirEdit, &vidorra::FolderPicker::Change, this, &TCaptureForm::VideoDirEditChange);
  Connect(ImageDirEdit, &vidorra::FolderPicker::Change, this, &TCaptureForm::ImageDirEditChange);
  Connect(ImageRacineEdit, &QLineEdit::editingFinished, this, &TCaptureForm::ImageRacineEditExit);
  Connect(ImageDate, &QCheckBox::toggled, this, &TCaptureForm::ImageDateClick);
  Connect(rgExtension, &vidorra::RadioGroup::Click, this, &TCaptureForm::rgExtensionClick);
}
