#include "modal_dialog_driver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace vidorra::test {
namespace {

constexpr std::chrono::milliseconds kPollInterval{10};

void CloseDialog(QWidget* dialog) {
  if (auto* asDialog = qobject_cast<QDialog*>(dialog)) {
    asDialog->reject();
  } else {
    dialog->close();
  }
}

}  // namespace

ModalDialogDriver::ModalDialogDriver(Action first) : context_(new QObject) {
  actions_.push_back(std::move(first));
  SchedulePoll();
}

ModalDialogDriver::~ModalDialogDriver() {
  stopped_ = true;
  delete context_;
}

ModalDialogDriver& ModalDialogDriver::Then(Action action) {
  actions_.push_back(std::move(action));
  return *this;
}

void ModalDialogDriver::SchedulePoll() {
  if (stopped_) return;
  QTimer::singleShot(kPollInterval, context_, [this] { Poll(); });
}

void ModalDialogDriver::Poll() {
  // The next poll is armed before any action runs, so that a dialog the action opens in turn
  // (a nested event loop) is found too.
  SchedulePoll();
  QWidget* dialog = QApplication::activeModalWidget();
  if (!dialog || !dialog->isVisible()) return;
  if (std::find(busy_.begin(), busy_.end(), dialog) != busy_.end()) return;
  if (actions_.empty()) {
    ADD_FAILURE() << "unexpected modal dialog \"" << dialog->windowTitle().toStdString()
                  << "\" (closed by the test driver)";
    CloseDialog(dialog);
    return;
  }
  Action action = std::move(actions_.front());
  actions_.pop_front();
  ++driven_;
  QPointer<QWidget> guard(dialog);
  busy_.push_back(guard);
  action(*dialog);
  busy_.erase(std::find(busy_.begin(), busy_.end(), guard));
  if (guard && guard->isVisible()) {
    ADD_FAILURE() << "the test left the modal dialog \"" << guard->windowTitle().toStdString()
                  << "\" open (closed by the test driver)";
    CloseDialog(guard);
  }
}

QAbstractButton* FindButton(QWidget& root, const QString& text) {
  for (QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
    if (button->isVisible() && button->text().remove(QLatin1Char('&')) == text) return button;
  }
  return nullptr;
}

bool Click(QAbstractButton* button) {
  if (!button || !button->isVisible() || !button->isEnabled()) return false;
  // A check box or radio button answers clicks on its indicator and label, which a wide one
  // does not cover at its centre.
  QPoint at = button->rect().center();
  if (qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button)) {
    at = QPoint(std::min(6, button->width() / 2), button->height() / 2);
  }
  QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
  return true;
}

bool ClickButton(QWidget& root, const QString& text) { return Click(FindButton(root, text)); }

bool ChooseItem(QComboBox* box, const QString& text) {
  if (!box || !box->isEnabled()) return false;
  const int wanted = box->findText(text);
  if (wanted < 0) return false;
  for (int steps = 0; box->currentIndex() != wanted && steps <= box->count(); ++steps) {
    QTest::keyClick(box, box->currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
  }
  return box->currentIndex() == wanted;
}

bool TypeInto(QAbstractSpinBox* box, const QString& text) {
  if (!box || !box->isEnabled() || box->isReadOnly()) return false;
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(box, text);
  // What leaving the field does; Enter would also press the dialog's default button.
  box->interpretText();
  return true;
}

}  // namespace vidorra::test
