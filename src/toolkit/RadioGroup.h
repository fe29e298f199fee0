// A titled group of mutually exclusive radio buttons addressed by item index.
//
// Click is emitted whenever the selected index changes, whether the user clicked an item or
// the code called SetItemIndex: the main window chains its handlers on that. Setting the index
// it already has emits nothing. Disabling the group (setEnabled(false)) disables every item.
// UI thread only.
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

namespace vidorra {

class RadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  static constexpr int kNoItem = -1;

  explicit RadioGroup(const QString& caption, QWidget* parent = nullptr);

  // Replaces the items; the selection is cleared (without Click) as the items are new.
  void SetItems(const QStringList& items);
  QStringList Items() const;
  int Count() const { return static_cast<int>(buttons_.size()); }

  int ItemIndex() const { return itemIndex_; }
  // Selects item `index` (kNoItem clears the selection); an index out of range is ignored.
  void SetItemIndex(int index);
  // The radio button of item `index` (for tests and layout), or nullptr.
  QRadioButton* Button(int index) const;

 signals:
  void Click();

 private:
  void OnButtonToggled(int id, bool checked);

  QButtonGroup* group_;
  QVBoxLayout* layout_;
  std::vector<QRadioButton*> buttons_;
  int itemIndex_ = kNoItem;
};

}  // namespace vidorra
