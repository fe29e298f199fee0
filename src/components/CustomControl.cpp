#include "CustomControl.h"

#include <QMenu>
#include <QPalette>

TCustomControl::TCustomControl(QWidget* parent) : QWidget(parent) { setAutoFillBackground(true); }

TCustomControl::~TCustomControl() = default;

QColor TCustomControl::Color() const { return palette().color(QPalette::Window); }

void TCustomControl::SetColor(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::Window, color);
  setPalette(p);
}
