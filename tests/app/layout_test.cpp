// The main window's layout as it starts: which controls are usable and shown, the choices
// made, the first page in front; everything inside a fixed client area, texts that fit in the
// fonts the layout was made for (MS Sans Serif 8 pt and Arial, whose metric-compatible fonts
// scripts/run, scripts/test and the package install; the clock's slab serif like Rockwell);
// Enter and Escape on the first page.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <map>

#include "AlarmClock.h"
#include "AppTestSupport.h"
#include "RadioGroup.h"
#include "SpinEdit.h"
#include "WindowTimer.h"

namespace vidorra {
namespace {

constexpr const char* kMissingFonts =
    "the window's fonts are missing: install fonts-liberation2 and fonts-roboto-slab";

class LayoutTest : public test::FormTest {};

TEST_F(LayoutTest, EveryControlStartsInItsState) {
  // The controls by their names: usable and shown, disabled, hidden.
  const struct {
    const char* state;
    const char* names;
  } kStates[] = {
      {"on",
       "PleinEcranBtn AproposBtn ActualiserVideoBtn cboxVideo QuitterBtn Panel1 gbFichier "
       "VideoDirEdit VideoRacineEdit VideoDate LabelVideo rgFormat gbAudio "
       "cbEnregistrerAudioSource cbEnregistrerAudioDV cboxAudio CaptureBtn RxClock2 RxSpinEdit1 "
       "RxSpinEdit6 NowBtn ProgBtn grabBtn RxSwitch1 chronoLab destlab gbFichiersImages "
       "ImageDirEdit ImageRacineEdit ImageDate LabelImage rgExtension labQuality "
       "gbIntervallometre RxSpinEdit7 ComboBox1 cbEcouterAudioDV tb cbMute"},
      {"off", "rgStandard CouperBtn StopBtn ProgStopBtn cbEcouterAudioSource"},
      {"hidden", "cbDeinterlacer gbQuality LabelIntervallo AproposFrame1 ErreurFrame1"},
  };
  for (const auto& group : kStates) {
    for (const QString& name : QString::fromLatin1(group.names).split(u' ')) {
      SCOPED_TRACE(name.toStdString());
      QWidget* widget = form_->findChild<QWidget*>(name);
      ASSERT_NE(widget, nullptr);
      EXPECT_EQ(widget->isEnabledTo(form_.get()), QLatin1String(group.state) != "off");
      EXPECT_EQ(widget->isHidden(), QLatin1String(group.state) == "hidden");
    }
  }
  EXPECT_EQ(form_->PageControl1->currentIndex(), 0);
  EXPECT_EQ(form_->rgFormat->ItemIndex(), 1);
  EXPECT_EQ(form_->rgStandard->ItemIndex(), 0);
  EXPECT_EQ(form_->rgExtension->ItemIndex(), 0);
  for (QCheckBox* on : {form_->VideoDate, form_->cbEnregistrerAudioDV, form_->cbEcouterAudioDV}) {
    EXPECT_TRUE(on->isChecked()) << on->objectName().toStdString();
  }
  for (QCheckBox* off : {form_->ImageDate, form_->cbEnregistrerAudioSource, form_->cbDeinterlacer,
                         form_->cbEcouterAudioSource, form_->cbMute}) {
    EXPECT_FALSE(off->isChecked()) << off->objectName().toStdString();
  }
  EXPECT_TRUE(form_->cboxVideo->isEditable());
  EXPECT_TRUE(form_->cboxAudio->isEditable());
  EXPECT_EQ(form_->RxSpinEdit7->Value(), 10);
  EXPECT_EQ(form_->ComboBox1->currentIndex(), 0);
  EXPECT_EQ(form_->TrackBar1->value(), 50);
  EXPECT_EQ(form_->tb->value(), form_->tb->maximum()) << "full volume";
  EXPECT_FALSE(form_->Timer1->Enabled());
  EXPECT_FALSE(form_->RxClock2->AlarmEnabled());
  EXPECT_EQ(form_->vwEcran->PopupMenu(), form_->PopupMenu) << "opened over the picture";
}

TEST_F(LayoutTest, AFixedClientAreaThatHoldsEveryControl) {
  form_->show();
  const QRect client(QPoint(0, 0), QSize(694, 446));
  EXPECT_EQ(form_->centralWidget()->size(), client.size());
  EXPECT_EQ(form_->minimumSize(), form_->maximumSize()) << "not resizable";
  EXPECT_FALSE(form_->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  for (const char* name : {"Bevel1", "PageControl1", "Panel1", "tb", "cbMute", "QuitterBtn",
                           "cbEcouterAudioSource", "LabelIntervallo"}) {
    QWidget* widget = form_->findChild<QWidget*>(QString::fromLatin1(name));
    ASSERT_NE(widget, nullptr) << name;
    EXPECT_TRUE(client.contains(widget->geometry())) << name;
  }
  // The compact tabs' style sheet still applies: the last tab ends inside the pane.
  QTabBar* tabs = form_->PageControl1->tabBar();
  EXPECT_LT(tabs->tabRect(tabs->count() - 1).right(), form_->PageControl1->width());
}

// Captions measured against Arial's advance widths (units of 1/2048 em): hinting rounds each
// to a whole pixel; another sans (DejaVu Sans) is 10 to 20 % wider, several pixels on these.
TEST_F(LayoutTest, TextsHaveTheWidthsOfTheFontsTheLayoutWasMadeFor) {
  const std::map<QChar, int> kArial = {
      {u' ', 569},  {u'C', 1479}, {u'E', 1366}, {u'P', 1366}, {u'a', 1139},
      {u'c', 1024}, {u'e', 1139}, {u'i', 455},  {u'l', 455},  {u'n', 1139},
      {u'p', 1139}, {u'r', 682},  {u't', 569},  {u'u', 1139}, {u'I', 569},
      {u'm', 1706}, {u'g', 1139}, {u'o', 1139}, {u'Q', 1593},
  };
  const std::pair<QWidget*, QString> kMeasured[] = {
      {form_->PleinEcranBtn, QStringLiteral("Plein Ecran")},
      {form_->QuitterBtn, QStringLiteral("Quitter")},
      {form_->destlab, QStringLiteral("Image")},
      // Inside the tabbed pages, and the tabs' own captions.
      {form_->CaptureBtn, QStringLiteral("Capture")},
      {form_->PageControl1->tabBar(), QStringLiteral("Programmer")},
  };
  for (const auto& [widget, text] : kMeasured) {
    SCOPED_TRACE(widget->objectName().toStdString());
    const QFont font = widget->font();
    ASSERT_GT(font.pixelSize(), 0) << font.toString().toStdString();
    double units = 0;
    for (QChar c : text) units += kArial.at(c);
    EXPECT_NEAR(QFontMetrics(font).horizontalAdvance(text), units * font.pixelSize() / 2048.0, 2.0)
        << QFontInfo(font).family().toStdString() << " for \"" << text.toStdString()
        << "\": " << kMissingFonts;
  }
  EXPECT_EQ(QFontInfo(form_->RxClock2->font()).family(), QStringLiteral("Roboto Slab"))
      << kMissingFonts;
  EXPECT_TRUE(form_->RxClock2->font().bold());
}

TEST_F(LayoutTest, EnterAndEscapeReachOnlyEnabledPageButtons) {
  form_->show();
  int captures = 0;
  int stops = 0;
  QObject::connect(form_->CaptureBtn, &QPushButton::clicked, [&] { ++captures; });
  QObject::connect(form_->StopBtn, &QPushButton::clicked, [&] { ++stops; });
  EXPECT_TRUE(form_->CaptureBtn->isDefault());
  EXPECT_TRUE(form_->ProgBtn->isDefault());
  for (auto* shortcut : form_->TabSheet1->findChildren<QShortcut*>()) {
    if (shortcut->key() == QKeySequence(Qt::Key_Return)) emit shortcut->activated();
    if (shortcut->key() == QKeySequence(Qt::Key_Escape)) emit shortcut->activated();
  }
  EXPECT_EQ(captures, 1);
  EXPECT_EQ(stops, 0) << "Stop is disabled at start";
}

}  // namespace
}  // namespace vidorra
