#include "RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace vidorra {

namespace {
constexpr int kItemSpacing = 0;
constexpr int kMargin = 4;
}  // namespace

RadioGroup::RadioGroup(const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)), layout_(new QVBoxLayout(this)) {
  layout_->setSpacing(kItemSpacing);
  layout_->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  group_->setExclusive(true);
  connect(group_, &QButtonGroup::idToggled, this, &RadioGroup::OnButtonToggled);
}

void RadioGroup::SetItems(const QStringList& items) {
  for (QRadioButton* button : buttons_) {
    group_->removeButton(button);
    delete button;  // a child widget: Qt's parent ownership, removed before replacement
  }
  buttons_.clear();
  itemIndex_ = kNoItem;
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    layout_->addWidget(button);
    buttons_.push_back(button);
  }
}

QStringList RadioGroup::Items() const {
  QStringList items;
  for (const QRadioButton* button : buttons_) items << button->text();
  return items;
}

QRadioButton* RadioGroup::Button(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return buttons_[static_cast<size_t>(index)];
}

void RadioGroup::SetItemIndex(int index) {
  if (index == itemIndex_) return;
  if (index == kNoItem) {
    // An exclusive group cannot uncheck its last button; lift exclusivity for the moment.
    QSignalBlocker blocker(group_);
    group_->setExclusive(false);
    if (QRadioButton* current = Button(itemIndex_)) current->setChecked(false);
    group_->setExclusive(true);
    itemIndex_ = kNoItem;
    emit Click();
    return;
  }
  if (QRadioButton* button = Button(index)) button->setChecked(true);  // toggles -> Click
}

void RadioGroup::OnButtonToggled(int id, bool checked) {
  if (!checked || id == itemIndex_) return;
  itemIndex_ = id;
  emit Click();
}

}  // namespace vidorra
