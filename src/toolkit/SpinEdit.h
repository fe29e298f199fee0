// An integer spin edit with bounds. Change is emitted whenever the value changes, from the user
// or from code (SetValue); a value outside [MinValue, MaxValue] is brought to the nearest bound.
// UI thread only.
#pragma once

#include <QSpinBox>

namespace vidorra {

class SpinEdit : public QSpinBox {
  Q_OBJECT

 public:
  SpinEdit(int minValue, int maxValue, int value, QWidget* parent = nullptr);

  int Value() const { return value(); }
  void SetValue(int value) { setValue(value); }
  int MinValue() const { return minimum(); }
  int MaxValue() const { return maximum(); }

 signals:
  void Change();
};

}  // namespace vidorra
