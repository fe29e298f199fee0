// The page of all a device's controls; see DeviceControlsPage.h.
#include "DeviceControlsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace vidorra::devices::v4l2 {

namespace {

constexpr SIZE kPageSize{460, 320};

const ComClassRegistration kRegistration(CLSID_DeviceControlsPropertyPage, "Device Controls Page",
                                         ComClassFactoryFor<CDeviceControlsPage>());

QString ObjectName(uint32_t id) {
  return QStringLiteral("ctrl") + QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0')).toUpper();
}

QString Name(const DeviceControl& control) {
  return QString::fromStdWString(control.name);
}

}  // namespace

CDeviceControlsPage::CDeviceControlsPage()
    : CBasePropertyPage(L"Réglages du périphérique", kPageSize) {}

HRESULT CDeviceControlsPage::OnConnect(std::span<IUnknown* const> objects) {
  controls_ = FirstObjectWith<IDeviceControls>(objects);
  return controls_ ? S_OK : E_NOINTERFACE;
}

void CDeviceControlsPage::OnDisconnect() { controls_ = nullptr; }

HRESULT CDeviceControlsPage::OnActivate(QWidget& content) {
  auto* outer = new QVBoxLayout(&content);
  auto* scroll = new QScrollArea(&content);
  scroll->setWidgetResizable(true);
  outer->addWidget(scroll);
  auto* inner = new QWidget(scroll);
  auto* form = new QFormLayout(inner);
  scroll->setWidget(inner);
  rows_.clear();
  const std::vector<DeviceControl> controls = controls_->Controls();
  for (const DeviceControl& control : controls) {
    if (control.kind == ControlKind::kClass) {
      auto* heading = new QLabel(QStringLiteral("<b>%1</b>").arg(Name(control).toHtmlEscaped()), inner);
      form->addRow(heading);
      continue;
    }
    Row row{control, control.defaultValue, {}, nullptr};
    int64_t value = 0;
    if (control.kind == ControlKind::kString) {
      controls_->GetText(control.id, &row.text);
    } else if (control.kind != ControlKind::kButton &&
               SUCCEEDED(controls_->GetControl(control.id, &value))) {
      row.value = value;
    }
    switch (control.kind) {
      case ControlKind::kInteger: {
        auto* spin = new QSpinBox(inner);
        spin->setRange(static_cast<int>(control.minimum), static_cast<int>(control.maximum));
        spin->setSingleStep(static_cast<int>(std::max(control.step, 1L)));
        spin->setValue(static_cast<int>(row.value));
        row.widget = spin;
        break;
      }
      case ControlKind::kInteger64: {
        auto* line = new QLineEdit(QString::number(row.value), inner);
        line->setToolTip(QString::fromUtf16(u"de %1 à %2").arg(control.minimum).arg(control.maximum));
        row.widget = line;
        break;
      }
      case ControlKind::kString: {
        auto* line = new QLineEdit(QString::fromStdString(row.text), inner);
        line->setMaxLength(static_cast<int>(std::clamp<int64_t>(control.maximum, 0, 32767)));
        row.widget = line;
        break;
      }
      case ControlKind::kBoolean: {
        auto* box = new QCheckBox(inner);
        box->setChecked(row.value != 0);
        row.widget = box;
        break;
      }
      case ControlKind::kMenu: {
        auto* list = new QComboBox(inner);
        for (const auto& [itemValue, itemName] : control.menu) {
          list->addItem(QString::fromStdWString(itemName), QVariant::fromValue(itemValue));
        }
        list->setCurrentIndex(list->findData(QVariant::fromValue(row.value)));
        row.widget = list;
        break;
      }
      case ControlKind::kButton:
        row.widget = new QPushButton(Name(control), inner);
        break;
      case ControlKind::kClass:
        break;
    }
    row.widget->setObjectName(ObjectName(control.id));
    row.widget->setEnabled(!control.readOnly);
    form->addRow(control.kind == ControlKind::kButton ? QString() : Name(control), row.widget);
    rows_.push_back(std::move(row));
  }
  if (rows_.empty()) {
    form->addRow(new QLabel(QString::fromUtf16(u"Ce périphérique n'a aucun réglage."), inner));
    return S_OK;
  }
  for (size_t i = 0; i < rows_.size(); ++i) {
    QWidget* widget = rows_[i].widget;
    auto changed = [this] { SetDirty(AnyChanged()); };
    if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
      QObject::connect(spin, &QSpinBox::valueChanged, &content, changed);
    } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
      QObject::connect(box, &QCheckBox::toggled, &content, changed);
    } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
      QObject::connect(list, &QComboBox::currentIndexChanged, &content, changed);
    } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
      QObject::connect(line, &QLineEdit::textChanged, &content, changed);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      QObject::connect(button, &QPushButton::clicked, &content, [this, i] { Press(rows_[i]); });
    }
  }
  return S_OK;
}

void CDeviceControlsPage::OnDeactivate() { rows_.clear(); }

std::optional<int64_t> CDeviceControlsPage::ValueOf(const Row& row) {
  if (auto* spin = qobject_cast<QSpinBox*>(row.widget)) return spin->value();
  if (auto* box = qobject_cast<QCheckBox*>(row.widget)) return box->isChecked() ? 1 : 0;
  if (auto* list = qobject_cast<QComboBox*>(row.widget)) {
    return list->currentIndex() < 0 ? row.value : list->currentData().value<long>();
  }
  if (auto* line = qobject_cast<QLineEdit*>(row.widget)) {
    bool number = false;
    const qlonglong value = line->text().trimmed().toLongLong(&number);
    return number ? std::optional<int64_t>(value) : std::nullopt;
  }
  return row.value;
}

bool CDeviceControlsPage::Changed(const Row& row) {
  switch (row.control.kind) {
    case ControlKind::kButton:
    case ControlKind::kClass:
      return false;
    case ControlKind::kString:
      return qobject_cast<QLineEdit*>(row.widget)->text().toStdString() != row.text;
    default:
      return ValueOf(row) != row.value;
  }
}

bool CDeviceControlsPage::AnyChanged() const {
  return std::any_of(rows_.begin(), rows_.end(), [](const Row& row) { return Changed(row); });
}

HRESULT CDeviceControlsPage::Apply(Row& row) {
  if (row.control.kind == ControlKind::kString) {
    const std::string text = qobject_cast<QLineEdit*>(row.widget)->text().toStdString();
    const HRESULT hr = controls_->SetText(row.control.id, text);
    if (SUCCEEDED(hr)) row.text = text;
    return hr;
  }
  const std::optional<int64_t> value = ValueOf(row);
  if (!value) return E_INVALIDARG;
  const HRESULT hr = controls_->SetControl(row.control.id, *value);
  if (SUCCEEDED(hr)) row.value = *value;
  return hr;
}

void CDeviceControlsPage::Press(const Row& row) {
  const HRESULT hr = controls_ ? controls_->SetControl(row.control.id, 1) : E_UNEXPECTED;
  if (FAILED(hr)) {
    ShowError(QString::fromUtf16(u"« %1 » a été refusé").arg(Name(row.control)), hr);
  } else {
    ClearError();
  }
}

HRESULT CDeviceControlsPage::OnApply() {
  HRESULT failure = S_OK;
  QString refused;
  for (Row& row : rows_) {
    if (row.control.readOnly || !Changed(row)) continue;
    const HRESULT hr = Apply(row);
    if (FAILED(hr) && SUCCEEDED(failure)) {
      failure = hr;
      refused = Name(row.control);
    }
  }
  if (FAILED(failure)) {
    ShowError(QString::fromUtf16(u"Le réglage « %1 » a été refusé").arg(refused), failure);
  } else {
    ClearError();
  }
  return failure;
}

}  // namespace vidorra::devices::v4l2
