// The window's texts are laid out for MS Sans Serif 8 pt and Arial: with the metric-compatible
// fonts installed (scripts/run, scripts/test and the package see to it), a caption is as wide
// as it was where the layout was made, and the clock has a slab serif like Rockwell.
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <map>

#include "AlarmClock.h"
#include "AppTestEnvironment.h"
#include "mainFlux.h"

namespace vidorra {
namespace {

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

class FontsTest : public test::AppTest {};

TEST_F(FontsTest, CaptionsHaveTheWidthsTheLayoutWasMadeFor) {
  TCaptureForm form;
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

TEST_F(FontsTest, TheFourTabsFitThePaneWidth) {
  TCaptureForm form;
  form.show();
  QTabBar* tabs = form.PageControl1->tabBar();
  // The compact tabs' style sheet still applies: the last tab ends inside the pane.
  EXPECT_LT(tabs->tabRect(tabs->count() - 1).right(), form.PageControl1->width());
}

TEST_F(FontsTest, TheClockHasASlabSerif) {
  TCaptureForm form;
  EXPECT_EQ(QFontInfo(form.RxClock2->font()).family(), QStringLiteral("Roboto Slab"))
      << kMissingFonts;
  EXPECT_TRUE(form.RxClock2->font().bold());
}

}  // namespace
}  // namespace vidorra
