#include "OnOffSwitch.h"

#include <QPainter>
#include <QPainterPath>

namespace vidorra {

namespace {

constexpr int kWidth = 44;
constexpr int kHeight = 22;
constexpr int kKnobMargin = 3;
constexpr QRgb kOnColour = qRgb(0, 160, 0);
constexpr QRgb kOffColour = qRgb(160, 160, 160);
constexpr QRgb kDisabledColour = qRgb(210, 210, 210);
constexpr QRgb kKnobColour = qRgb(255, 255, 255);

}  // namespace

OnOffSwitch::OnOffSwitch(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setCursor(Qt::PointingHandCursor);
  connect(this, &QAbstractButton::toggled, this, &OnOffSwitch::Switched);
}

QSize OnOffSwitch::sizeHint() const { return {kWidth, kHeight}; }

void OnOffSwitch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
  const qreal radius = track.height() / 2;
  QColor fill = IsOn() ? QColor(kOnColour) : QColor(kOffColour);
  if (!isEnabled()) fill = QColor(kDisabledColour);
  painter.setPen(fill.darker());
  painter.setBrush(fill);
  painter.drawRoundedRect(track, radius, radius);

  const qreal knob = track.height() - 2 * kKnobMargin;
  const qreal x = IsOn() ? track.right() - kKnobMargin - knob : track.left() + kKnobMargin;
  painter.setBrush(QColor(kKnobColour));
  painter.drawEllipse(QRectF(x, track.top() + kKnobMargin, knob, knob));
}

}  // namespace vidorra
