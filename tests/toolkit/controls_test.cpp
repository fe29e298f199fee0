// The small controls (radio group, on/off switch, spin edit, folder picker, font match) and the
// handler guard with the error report.
#include <gtest/gtest.h>
#include <modal_dialog_driver.h>

#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <stdexcept>

#include "ErrorReport.h"
#include "Exception.h"
#include "FolderPicker.h"
#include "FontMatch.h"
#include "HandlerGuard.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"
#include "SpinEdit.h"

namespace vidorra {
namespace {

// Set from code or clicked, each control tells a change of its value once, and nothing else; a
// disabled group or switch takes no clicks.
TEST(Controls, ChangesAreToldOnceFromCodeAsFromTheUser) {
  RadioGroup group(QStringLiteral("g"));
  group.SetItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
  EXPECT_EQ(group.ItemIndex(), RadioGroup::kNoItem);
  std::vector<int> indexes;
  QObject::connect(&group, &RadioGroup::Click, [&] { indexes.push_back(group.ItemIndex()); });
  group.SetItemIndex(0);
  group.SetItemIndex(0);
  group.SetItemIndex(5);  // out of range: ignored
  group.Button(2)->click();
  group.Button(2)->click();
  EXPECT_FALSE(group.Button(0)->isChecked());
  group.SetItemIndex(RadioGroup::kNoItem);
  EXPECT_FALSE(group.Button(2)->isChecked());
  EXPECT_EQ(indexes, (std::vector<int>{0, 2, RadioGroup::kNoItem}));
  group.setEnabled(false);
  EXPECT_FALSE(group.Button(1)->isEnabled());
  OnOffSwitch onOff;
  std::vector<bool> switched;
  QObject::connect(&onOff, &OnOffSwitch::Switched, [&](bool on) { switched.push_back(on); });
  onOff.click();
  onOff.SetOn(true);
  onOff.SetOn(false);
  onOff.setEnabled(false);
  onOff.click();
  EXPECT_EQ(switched, (std::vector<bool>{true, false}));
  // Drawn as a track in its state's colour, the white knob on the side of the state.
  const auto knobSides = [&] {  // of the knob's two places, a pixel within its outer edge
    const QImage image = onOff.grab().toImage();
    return std::pair(image.pixel(5, 11) & 0xFFFFFFu, image.pixel(38, 11) & 0xFFFFFFu);
  };
  onOff.resize(onOff.sizeHint());
  EXPECT_EQ(knobSides(), std::pair(0xFFFFFFu, 0xD2D2D2u)) << "off and disabled";
  onOff.setEnabled(true);
  EXPECT_EQ(knobSides(), std::pair(0xFFFFFFu, 0xA0A0A0u)) << "off";
  onOff.SetOn(true);
  EXPECT_EQ(knobSides(), std::pair(0x00A000u, 0xFFFFFFu)) << "on";
  SpinEdit edit(0, 59, 10);
  int changes = 0;
  QObject::connect(&edit, &SpinEdit::Change, [&] { ++changes; });
  edit.SetValue(75);
  edit.SetValue(59);
  EXPECT_EQ(edit.Value(), 59);
  EXPECT_EQ(changes, 1);
  // An installed font family is kept (the layout's others are the window's layout test's).
  const QString installed = QFontInfo(QFont()).family();
  EXPECT_EQ(NearestFontFamily(installed), installed);
}

// The folder's text is read-only; the dialog (replaced here) starts at the initial folder and
// its choice becomes the text; a cancelled dialog, or none, changes nothing.
TEST(Controls, TheFolderPickerTakesTheDialogsChoice) {
  FolderPicker picker;
  EXPECT_TRUE(picker.Edit()->isReadOnly());
  int changes = 0;
  QObject::connect(&picker, &FolderPicker::Change, [&] { ++changes; });
  picker.SetText(QStringLiteral("/home/a"));
  picker.SetText(QStringLiteral("/home/a"));
  QString askedStart, chosen = QStringLiteral("/srv/videos/2026");
  picker.SetInitialDir(QStringLiteral("/srv/videos"));
  picker.SetFolderDialog([&](QWidget*, const QString& start) {
    askedStart = start;
    return chosen;
  });
  picker.BrowseButton()->click();
  EXPECT_EQ(askedStart, QStringLiteral("/srv/videos"));
  EXPECT_EQ(picker.Text(), QStringLiteral("/srv/videos/2026"));
  chosen.clear();
  EXPECT_FALSE(picker.Browse());
  EXPECT_EQ(picker.Text(), QStringLiteral("/srv/videos/2026"));
  EXPECT_EQ(changes, 2);
  picker.SetFolderDialog({});
  EXPECT_FALSE(picker.Browse()) << "without a dialog";
}

// Whatever a handler throws reaches the report and the other handlers still run; handlers take
// the signal's arguments or none; the connection ends with the receiver. A report goes to a
// message box unless a reporter replaces it.
TEST(HandlerGuard, EveryExceptionReachesTheReportAndTheOtherHandlersStillRun) {
  QStringList messages;
  const ErrorReporter previous = SetErrorReporter([&](const QString& m) { messages << m; });
  QPushButton button;
  button.setCheckable(true);
  int calls = 0;
  bool lastChecked = false;
  {
    QObject receiver;
    Connect(&button, &QPushButton::clicked, &receiver,
            [] { throw Exception(QStringLiteral("Échec du gestionnaire")); });
    Connect(&button, &QPushButton::clicked, &receiver, [] { throw std::runtime_error("boom"); });
    Connect(&button, &QPushButton::clicked, &receiver, [] { throw 42; });
    Connect(&button, &QPushButton::clicked, &receiver, [&] { ++calls; });
    Connect(&button, &QPushButton::toggled, &receiver, [&](bool on) { lastChecked = on; });
    button.click();
  }
  button.click();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(lastChecked);
  ASSERT_EQ(messages.size(), 3);
  EXPECT_EQ(messages.first(2), QStringList({QStringLiteral("Échec du gestionnaire"), "boom"}));
  EXPECT_FALSE(messages[2].isEmpty());
  SetErrorReporter(previous);
  test::ModalDialogDriver driver([](QWidget& box) { EXPECT_TRUE(test::ClickButton(box, "OK")); });
  ReportError(QStringLiteral("Plus de place"));  // by default, in a message box
  EXPECT_EQ(driver.DialogsDriven(), 1);
}

}  // namespace
}  // namespace vidorra
