// An on/off switch drawn as a small slide switch; a click toggles it. Switched(on) is emitted
// whenever the state changes, from a click or from SetOn; setting the state it already has
// emits nothing. A disabled switch ignores clicks. UI thread only.
#pragma once

#include <QAbstractButton>

namespace vidorra {

class OnOffSwitch : public QAbstractButton {
  Q_OBJECT

 public:
  explicit OnOffSwitch(QWidget* parent = nullptr);

  bool IsOn() const { return isChecked(); }
  void SetOn(bool on) { setChecked(on); }

  QSize sizeHint() const override;

 signals:
  void Switched(bool on);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace vidorra
