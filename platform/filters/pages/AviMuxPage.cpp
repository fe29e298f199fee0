// The AVI Mux page.
#include "AviMuxPage.h"

#include <vidorra_pages.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

namespace vidorra::filters {

namespace {

constexpr SIZE kPageSize{420, 260};
constexpr REFERENCE_TIME kUnitsPerMs = 10000;
constexpr int kMaxMs = 60000;
// Streams offered as master when the multiplexer does not show its pins.
constexpr LONG kStreamsWithoutPins = 8;

struct ModeName {
  InterleavingMode mode;
  const char16_t* name;
};
constexpr ModeName kModes[] = {
    {INTERLEAVE_NONE, u"Aucun"},
    {INTERLEAVE_CAPTURE, u"Au fil de la capture"},
    {INTERLEAVE_FULL, u"Complet"},
    {INTERLEAVE_NONE_BUFFERED, u"Aucun, avec mémoire tampon"},
};

const ComClassRegistration kRegistration(CLSID_AviMuxPropertyPage, "AVI Mux Page",
                                         ComClassFactoryFor<CAviMuxPage>());

int ToMs(REFERENCE_TIME time) {
  return static_cast<int>(std::clamp<REFERENCE_TIME>(time / kUnitsPerMs, 0, kMaxMs));
}

// The names of a filter's input pins, in pin order.
std::vector<QString> InputPinNames(IBaseFilter* filter) {
  std::vector<QString> names;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.GetAddressOf())) || !pins) return names;
  IPin* next = nullptr;
  while (pins->Next(1, &next, nullptr) == S_OK) {
    ComPtr<IPin> pin;
    pin.Attach(next);
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) continue;
    if (info.pFilter) info.pFilter->Release();
    if (info.dir == PINDIR_INPUT) names.push_back(QString::fromWCharArray(info.achName));
  }
  return names;
}

}  // namespace

CAviMuxPage::CAviMuxPage() : CBasePropertyPage(L"Multiplexeur AVI", kPageSize) {}

HRESULT CAviMuxPage::OnConnect(std::span<IUnknown* const> objects) {
  interleaving_ = FirstObjectWith<IConfigInterleaving>(objects);
  aviMux_ = FirstObjectWith<IConfigAviMux>(objects);
  filter_ = FirstObjectWith<IBaseFilter>(objects);
  return interleaving_ || aviMux_ ? S_OK : E_NOINTERFACE;
}

void CAviMuxPage::OnDisconnect() {
  interleaving_ = nullptr;
  aviMux_ = nullptr;
  filter_ = nullptr;
}

HRESULT CAviMuxPage::OnActivate(QWidget& content) {
  applied_ = Settings{};
  new QVBoxLayout(&content);
  if (interleaving_) BuildInterleaving(content);
  if (aviMux_) BuildFile(content);
  return S_OK;
}

void CAviMuxPage::BuildInterleaving(QWidget& content) {
  if (FAILED(interleaving_->get_Mode(&applied_.mode))) applied_.mode = INTERLEAVE_CAPTURE;
  if (FAILED(interleaving_->get_Interleaving(&interleave_, &preroll_))) {
    interleave_ = preroll_ = 0;
  }
  applied_.interleaveMs = std::max(ToMs(interleave_), 1);
  applied_.prerollMs = ToMs(preroll_);

  auto* group = new QGroupBox(QStringLiteral("Entrelacement"), &content);
  auto* form = new QFormLayout(group);
  mode_ = new QComboBox(group);
  mode_->setObjectName(QStringLiteral("cboxInterleaveMode"));
  for (const ModeName& mode : kModes) {
    mode_->addItem(QString::fromUtf16(mode.name), static_cast<int>(mode.mode));
  }
  mode_->setCurrentIndex(std::max(0, mode_->findData(static_cast<int>(applied_.mode))));
  form->addRow(QStringLiteral("Mode"), mode_);
  interleaveMs_ = new QSpinBox(group);
  interleaveMs_->setObjectName(QStringLiteral("spinInterleave"));
  interleaveMs_->setRange(1, kMaxMs);
  interleaveMs_->setSuffix(QStringLiteral(" ms"));
  interleaveMs_->setValue(applied_.interleaveMs);
  form->addRow(QStringLiteral("Intervalle"), interleaveMs_);
  prerollMs_ = new QSpinBox(group);
  prerollMs_->setObjectName(QStringLiteral("spinPreroll"));
  prerollMs_->setRange(0, kMaxMs);
  prerollMs_->setSuffix(QStringLiteral(" ms"));
  prerollMs_->setValue(applied_.prerollMs);
  form->addRow(QString::fromUtf16(u"Préchargement"), prerollMs_);
  content.layout()->addWidget(group);

  QObject::connect(mode_, &QComboBox::currentIndexChanged, &content, [this] { Edited(); });
  QObject::connect(interleaveMs_, &QSpinBox::valueChanged, &content, [this] { Edited(); });
  QObject::connect(prerollMs_, &QSpinBox::valueChanged, &content, [this] { Edited(); });
}

void CAviMuxPage::BuildFile(QWidget& content) {
  BOOL oldIndex = FALSE;
  if (FAILED(aviMux_->GetOutputCompatibilityIndex(&oldIndex))) oldIndex = FALSE;
  applied_.compatibilityIndex = oldIndex != FALSE;
  if (FAILED(aviMux_->GetMasterStream(&applied_.masterStream))) applied_.masterStream = -1;

  auto* group = new QGroupBox(QStringLiteral("Fichier"), &content);
  auto* form = new QFormLayout(group);
  compatibilityIndex_ =
      new QCheckBox(QStringLiteral("Index compatible (idx1) pour les anciens lecteurs"), group);
  compatibilityIndex_->setObjectName(QStringLiteral("cbCompatibilityIndex"));
  compatibilityIndex_->setChecked(applied_.compatibilityIndex);
  form->addRow(compatibilityIndex_);
  masterStream_ = new QComboBox(group);
  masterStream_->setObjectName(QStringLiteral("cboxMasterStream"));
  masterStream_->addItem(QStringLiteral("Aucun"), -1);
  const std::vector<QString> pins = filter_ ? InputPinNames(filter_.Get()) : std::vector<QString>{};
  const LONG streams = pins.empty() ? std::max(kStreamsWithoutPins, applied_.masterStream + 1)
                                    : static_cast<LONG>(pins.size());
  for (LONG i = 0; i < streams; ++i) {
    const QString name =
        static_cast<size_t>(i) < pins.size() ? pins[i] : QStringLiteral("Flux %1").arg(i + 1);
    masterStream_->addItem(name, static_cast<int>(i));
  }
  int shown = masterStream_->findData(static_cast<int>(applied_.masterStream));
  if (shown < 0) {
    // A master the pins do not show (a stream yet to be connected) is still the one set.
    masterStream_->addItem(QStringLiteral("Flux %1").arg(applied_.masterStream + 1),
                           static_cast<int>(applied_.masterStream));
    shown = masterStream_->count() - 1;
  }
  masterStream_->setCurrentIndex(shown);
  form->addRow(QString::fromUtf16(u"Flux maître"), masterStream_);
  content.layout()->addWidget(group);

  QObject::connect(compatibilityIndex_, &QCheckBox::toggled, &content, [this] { Edited(); });
  QObject::connect(masterStream_, &QComboBox::currentIndexChanged, &content, [this] { Edited(); });
}

void CAviMuxPage::OnDeactivate() {
  mode_ = nullptr;
  interleaveMs_ = prerollMs_ = nullptr;
  compatibilityIndex_ = nullptr;
  masterStream_ = nullptr;
}

CAviMuxPage::Settings CAviMuxPage::Chosen() const {
  Settings chosen = applied_;
  if (mode_) {
    chosen.mode = static_cast<InterleavingMode>(mode_->currentData().toInt());
    chosen.interleaveMs = interleaveMs_->value();
    chosen.prerollMs = prerollMs_->value();
  }
  if (masterStream_) {
    chosen.compatibilityIndex = compatibilityIndex_->isChecked();
    chosen.masterStream = masterStream_->currentData().toInt();
  }
  return chosen;
}

void CAviMuxPage::Edited() { SetDirty(Chosen() != applied_); }

HRESULT CAviMuxPage::OnApply() {
  const Settings chosen = Chosen();
  HRESULT failure = S_OK;
  QString refused;
  // Every setting is tried; the first refusal is the one shown.
  const auto made = [&](HRESULT hr, const char16_t* what) {
    if (FAILED(hr) && SUCCEEDED(failure)) {
      failure = hr;
      refused = QString::fromUtf16(what);
    }
    return SUCCEEDED(hr);
  };
  if (chosen.mode != applied_.mode && made(interleaving_->put_Mode(chosen.mode),
                                           u"Le multiplexeur refuse ce mode d'entrelacement")) {
    applied_.mode = chosen.mode;
  }
  if (chosen.interleaveMs != applied_.interleaveMs || chosen.prerollMs != applied_.prerollMs) {
    // A duration the user left alone keeps its exact value.
    const REFERENCE_TIME interleave = chosen.interleaveMs != applied_.interleaveMs
                                          ? chosen.interleaveMs * kUnitsPerMs
                                          : interleave_;
    const REFERENCE_TIME preroll =
        chosen.prerollMs != applied_.prerollMs ? chosen.prerollMs * kUnitsPerMs : preroll_;
    if (made(interleaving_->put_Interleaving(&interleave, &preroll),
             u"Le multiplexeur refuse ces durées d'entrelacement")) {
      interleave_ = interleave;
      preroll_ = preroll;
      applied_.interleaveMs = chosen.interleaveMs;
      applied_.prerollMs = chosen.prerollMs;
    }
  }
  if (chosen.compatibilityIndex != applied_.compatibilityIndex &&
      made(aviMux_->SetOutputCompatibilityIndex(chosen.compatibilityIndex ? TRUE : FALSE),
           u"Le multiplexeur ne peut pas changer d'index maintenant")) {
    applied_.compatibilityIndex = chosen.compatibilityIndex;
  }
  if (chosen.masterStream != applied_.masterStream &&
      made(aviMux_->SetMasterStream(chosen.masterStream),
           u"Le multiplexeur refuse ce flux maître")) {
    applied_.masterStream = chosen.masterStream;
  }
  if (FAILED(failure)) ShowError(refused, failure);
  return failure;
}

}  // namespace vidorra::filters
