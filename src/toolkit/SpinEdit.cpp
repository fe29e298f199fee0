#include "SpinEdit.h"

namespace vidorra {

SpinEdit::SpinEdit(int minValue, int maxValue, int value, QWidget* parent) : QSpinBox(parent) {
  setRange(minValue, maxValue);
  setValue(value);
  // Connected after the initial value so that construction emits nothing.
  connect(this, &QSpinBox::valueChanged, this, [this] { emit Change(); });
}

}  // namespace vidorra
