// Driving modal dialogs without a person.
//
// A dialog shown with exec() (a property frame, a capture driver's dialog, a message box) runs
// its own event loop, so a test cannot act on it after the call that shows it returns: it acts
// from inside that loop. A ModalDialogDriver, made before the call, polls from the event loop
// for a modal window; each new one is handed to the next action the test queued, which acts on
// its widgets as a user would (the helpers below), and must close it. A dialog the action
// leaves open, or one that comes when no action is left, is closed by the driver and fails the
// test, so a test never hangs on a dialog.
//
//   ModalDialogDriver driver([](QWidget& frame) {
//     ChooseItem(*frame.findChild<QComboBox*>("cboxSize"), "320 x 240");
//     ClickButton(frame, "OK");
//   });
//   EXPECT_EQ(S_OK, OleCreatePropertyFrame(owner, 30, 30, nullptr, 1, &object, 1, &clsid, 0, 0,
//                                          nullptr));
//   EXPECT_EQ(1, driver.DialogsDriven());
//
// An action may itself open a modal dialog (a click that shows a message box): the next queued
// action gets it. Thread: the user-interface thread.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

class QAbstractButton;
class QAbstractSpinBox;
class QComboBox;

namespace vidorra::test {

class ModalDialogDriver {
 public:
  using Action = std::function<void(QWidget& dialog)>;

  explicit ModalDialogDriver(Action first);
  ~ModalDialogDriver();
  ModalDialogDriver(const ModalDialogDriver&) = delete;
  ModalDialogDriver& operator=(const ModalDialogDriver&) = delete;

  // Queues the action for the next modal dialog after those already queued.
  ModalDialogDriver& Then(Action action);
  // Dialogs handed to an action so far.
  int DialogsDriven() const { return driven_; }

 private:
  void Poll();
  void SchedulePoll();

  std::deque<Action> actions_;
  std::vector<QPointer<QWidget>> busy_;  // dialogs whose action is running (nested loops)
  int driven_ = 0;
  bool stopped_ = false;
  QObject* context_;  // owns the pending poll; deleted first so no poll outlives the driver
};

// The visible button whose text (without its '&' mnemonic marks) is `text`, or null.
QAbstractButton* FindButton(QWidget& root, const QString& text);
// Clicks a button with the mouse; false when it is missing, hidden or disabled.
bool Click(QAbstractButton* button);
bool ClickButton(QWidget& root, const QString& text);
// Moves a closed drop-down list to the item `text` with the keyboard, as a user does; false
// when the list has no such item or is disabled.
bool ChooseItem(QComboBox* box, const QString& text);
// Replaces the text of a spin box by typing `text`, then takes the value in as leaving the
// field does (without pressing Enter, which would press a dialog's default button); false
// when disabled or read-only.
bool TypeInto(QAbstractSpinBox* box, const QString& text);

}  // namespace vidorra::test
