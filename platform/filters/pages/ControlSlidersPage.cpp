// Slider rows over IAMVideoProcAmp or IAMCameraControl.
#include "ControlSlidersPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <algorithm>

namespace vidorra::filters {

namespace {

constexpr SIZE kPageSize{420, 260};
// The two interfaces share their flag values.
constexpr long kAutoFlag = VideoProcAmp_Flags_Auto;
constexpr long kManualFlag = VideoProcAmp_Flags_Manual;
static_assert(kAutoFlag == CameraControl_Flags_Auto && kManualFlag == CameraControl_Flags_Manual);

enum Column { kName, kSlider, kValue, kAuto };

}  // namespace

CControlSlidersPage::CControlSlidersPage(std::wstring title,
                                         std::span<const ControlProperty> properties,
                                         const char16_t* emptyText)
    : CBasePropertyPage(std::move(title), kPageSize),
      properties_(properties),
      emptyText_(emptyText) {}

HRESULT CControlSlidersPage::OnActivate(QWidget& content) {
  auto* grid = new QGridLayout(&content);
  grid->setColumnStretch(kSlider, 1);
  rows_.clear();
  for (const ControlProperty& property : properties_) {
    Row row{};
    row.property = &property;
    long caps = 0;
    if (FAILED(GetRange(property.id, &row.min, &row.max, &row.step, &row.byDefault, &caps)) ||
        row.max < row.min) {
      continue;  // the device lacks this property
    }
    row.step = std::max(row.step, 1L);
    long flags = 0;
    if (FAILED(Get(property.id, &row.value, &flags))) {
      row.value = row.byDefault;
      flags = kManualFlag;
    }
    row.value = std::clamp(row.value, row.min, row.max);
    const bool canAuto = (caps & kAutoFlag) != 0;
    row.automatic = canAuto && (flags & kAutoFlag) != 0;

    const int line = static_cast<int>(rows_.size());
    const QString key = QString::fromLatin1(property.key);
    grid->addWidget(new QLabel(QString::fromUtf16(property.name), &content), line, kName);
    row.slider = new QSlider(Qt::Horizontal, &content);
    row.slider->setObjectName(QStringLiteral("slider") + key);
    row.slider->setRange(row.min, row.max);
    row.slider->setSingleStep(row.step);
    row.slider->setPageStep(std::max(row.step, (row.max - row.min) / 10 / row.step * row.step));
    row.slider->setValue(row.value);
    row.slider->setEnabled(!row.automatic);
    grid->addWidget(row.slider, line, kSlider);
    row.valueLabel = new QLabel(QString::number(row.value), &content);
    row.valueLabel->setObjectName(QStringLiteral("lab") + key);
    row.valueLabel->setMinimumWidth(48);
    grid->addWidget(row.valueLabel, line, kValue);
    if (canAuto) {
      row.autoBox = new QCheckBox(QStringLiteral("Auto"), &content);
      row.autoBox->setObjectName(QStringLiteral("cbAuto") + key);
      row.autoBox->setChecked(row.automatic);
      grid->addWidget(row.autoBox, line, kAuto);
    }
    rows_.push_back(row);
  }
  if (rows_.empty()) {
    grid->addWidget(new QLabel(QString::fromUtf16(emptyText_), &content), 0, 0);
    return S_OK;
  }

  for (size_t i = 0; i < rows_.size(); ++i) {
    Row& row = rows_[i];
    QObject::connect(row.slider, &QSlider::valueChanged, &content,
                     [this, i](int value) { Moved(rows_[i], value); });
    if (row.autoBox) {
      QObject::connect(row.autoBox, &QCheckBox::toggled, &content, [this, i](bool automatic) {
        rows_[i].slider->setEnabled(!automatic);
        SetDirty(AnyChanged());
      });
    }
  }
  auto* byDefault = new QPushButton(QString::fromUtf16(u"Défaut"), &content);
  byDefault->setObjectName(QStringLiteral("btnDefault"));
  QObject::connect(byDefault, &QPushButton::clicked, &content, [this] {
    for (Row& row : rows_) row.slider->setValue(row.byDefault);
  });
  grid->addWidget(byDefault, static_cast<int>(rows_.size()), kSlider, Qt::AlignRight);
  return S_OK;
}

void CControlSlidersPage::OnDeactivate() { rows_.clear(); }

bool CControlSlidersPage::Changed(const Row& row) const {
  return row.slider->value() != row.value ||
         (row.autoBox && row.autoBox->isChecked() != row.automatic);
}

bool CControlSlidersPage::AnyChanged() const {
  return std::any_of(rows_.begin(), rows_.end(), [this](const Row& row) { return Changed(row); });
}

void CControlSlidersPage::Moved(Row& row, int value) {
  // A dragged slider stops on the property's steps.
  const long onStep = row.min + (value - row.min + row.step / 2) / row.step * row.step;
  if (onStep != value && onStep <= row.max) {
    row.slider->setValue(onStep);
    return;
  }
  row.valueLabel->setText(QString::number(value));
  SetDirty(AnyChanged());
}

HRESULT CControlSlidersPage::OnApply() {
  HRESULT failure = S_OK;
  QString refused;
  for (Row& row : rows_) {
    if (!Changed(row)) continue;
    const long value = row.slider->value();
    const bool automatic = row.autoBox && row.autoBox->isChecked();
    const HRESULT hr = Set(row.property->id, value, automatic ? kAutoFlag : kManualFlag);
    if (FAILED(hr)) {
      if (SUCCEEDED(failure)) {
        failure = hr;
        refused = QString::fromUtf16(row.property->name);
      }
      continue;
    }
    row.value = value;
    row.automatic = automatic;
  }
  if (FAILED(failure)) {
    ShowError(QString::fromUtf16(u"Le réglage « %1 » a été refusé").arg(refused), failure);
  }
  return failure;
}

}  // namespace vidorra::filters
