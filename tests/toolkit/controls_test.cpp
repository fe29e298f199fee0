// The small controls: radio group, folder picker, spin edit, on/off switch, font match.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>

#include "FolderPicker.h"
#include "FontMatch.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"
#include "SpinEdit.h"

namespace vidorra {
namespace {

TEST(RadioGroup, TheIndexSetByCodeOrUserFiresClickWhenItChanges) {
  RadioGroup group(QStringLiteral("g"));
  group.SetItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
  EXPECT_EQ(group.ItemIndex(), RadioGroup::kNoItem);
  std::vector<int> seen;
  QObject::connect(&group, &RadioGroup::Click, [&] { seen.push_back(group.ItemIndex()); });
  group.SetItemIndex(0);
  group.SetItemIndex(0);
  group.SetItemIndex(5);  // out of range: ignored
  EXPECT_TRUE(group.Button(0)->isChecked());
  group.Button(2)->click();  // the user
  group.Button(2)->click();
  EXPECT_FALSE(group.Button(0)->isChecked());
  group.SetItemIndex(RadioGroup::kNoItem);
  EXPECT_EQ(seen, (std::vector<int>{0, 2, RadioGroup::kNoItem}));
  EXPECT_FALSE(group.Button(2)->isChecked());
  group.setEnabled(false);
  EXPECT_FALSE(group.Button(1)->isEnabled()) << "a disabled group disables its items";
}

TEST(FolderPicker, ReadOnlyTextChangeEventAndDialog) {
  FolderPicker picker;
  EXPECT_TRUE(picker.Edit()->isReadOnly());
  int changes = 0;
  QObject::connect(&picker, &FolderPicker::Change, [&] { ++changes; });
  picker.SetText(QStringLiteral("/home/a"));
  picker.SetText(QStringLiteral("/home/a"));
  EXPECT_EQ(changes, 1) << "setting the same text is no change";

  QString askedStart;
  QString chosen = QStringLiteral("/srv/videos/2026");
  picker.SetInitialDir(QStringLiteral("/srv/videos"));
  picker.SetFolderDialog([&](QWidget*, const QString& start) {
    askedStart = start;
    return chosen;
  });
  picker.BrowseButton()->click();
  EXPECT_EQ(askedStart, QStringLiteral("/srv/videos"));
  EXPECT_EQ(picker.Text(), QStringLiteral("/srv/videos/2026"));
  EXPECT_EQ(changes, 2);
  chosen.clear();  // cancelled: nothing changes
  EXPECT_FALSE(picker.Browse());
  EXPECT_EQ(picker.Text(), QStringLiteral("/srv/videos/2026"));
  EXPECT_EQ(changes, 2);
}

TEST(SpinEdit, BoundsAndChange) {
  SpinEdit edit(0, 59, 10);
  EXPECT_EQ(edit.Value(), 10);
  int changes = 0;
  QObject::connect(&edit, &SpinEdit::Change, [&] { ++changes; });
  edit.SetValue(75);
  EXPECT_EQ(edit.Value(), 59);
  edit.SetValue(-3);
  EXPECT_EQ(edit.Value(), 0);
  edit.SetValue(0);
  EXPECT_EQ(changes, 2);
  SpinEdit wide(0, 999999, 10);
  wide.SetValue(999999);
  EXPECT_EQ(wide.Value(), 999999);
}

TEST(OnOffSwitch, ClickTogglesAndCodeFiresToo) {
  OnOffSwitch sw;
  std::vector<bool> seen;
  QObject::connect(&sw, &OnOffSwitch::Switched, [&](bool on) { seen.push_back(on); });
  EXPECT_FALSE(sw.IsOn());
  sw.click();
  sw.SetOn(true);
  sw.SetOn(false);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
  sw.setEnabled(false);
  sw.click();
  EXPECT_FALSE(sw.IsOn()) << "a disabled switch ignores clicks";
}

TEST(FontMatch, InstalledFamiliesStayAndMissingOnesGetAnInstalledFamily) {
  QStringList installed = QFontDatabase::families();
  ASSERT_FALSE(installed.isEmpty());
  // A family offered by several foundries is listed as "Name [foundry]"; it is still installed.
  QString plain = installed.first();
  plain.truncate(plain.indexOf(QLatin1String(" [")) > 0 ? plain.indexOf(QLatin1String(" ["))
                                                        : plain.size());
  EXPECT_EQ(NearestFontFamily(plain), plain);
  for (const char* name : {"MS Sans Serif", "Rockwell", "Arial"}) {
    const QString family = NearestFontFamily(QString::fromLatin1(name));
    ASSERT_FALSE(family.isEmpty()) << name;
    EXPECT_TRUE(QFontInfo(QFont(family)).family().startsWith(family))
        << name << " gives " << family.toStdString() << ", not an installed family";
  }
  const QFont font = NearestFont(QStringLiteral("Rockwell"), 21, true);
  EXPECT_EQ(font.pixelSize(), 21);
  EXPECT_TRUE(font.bold());
}

}  // namespace
}  // namespace vidorra
