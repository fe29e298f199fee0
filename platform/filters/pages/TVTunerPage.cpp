// The TV tuner page.
#include "TVTunerPage.h"

#include "AnalogStandardNames.h"

#include <vidorra_pages.h>

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QStringList>
#include <QTimer>
#include <chrono>

namespace vidorra::filters {

namespace {

constexpr SIZE kPageSize{400, 260};
// The sub-channels are left to the tuner (AMTUNER_SUBCHAN_DEFAULT).
constexpr long kDefaultSubChannel = -1;
constexpr std::chrono::milliseconds kReceptionRefresh{500};
constexpr int kMaxCountryCode = 9999;
constexpr int kMaxChannelWhenUnknown = 999;

const ComClassRegistration kRegistration(CLSID_TVTunerPropertyPage, "TV Tuner Page",
                                         ComClassFactoryFor<CTVTunerPage>());

}  // namespace

CTVTunerPage::CTVTunerPage() : CBasePropertyPage(L"Tuner TV", kPageSize) {}

HRESULT CTVTunerPage::OnConnect(std::span<IUnknown* const> objects) {
  tuner_ = FirstObjectWith<IAMTVTuner>(objects);
  return tuner_ ? S_OK : E_NOINTERFACE;
}

void CTVTunerPage::OnDisconnect() { tuner_ = nullptr; }

CTVTunerPage::Settings CTVTunerPage::Read() const {
  Settings settings;
  long videoSubChannel = 0;
  long audioSubChannel = 0;
  if (FAILED(tuner_->get_Channel(&settings.channel, &videoSubChannel, &audioSubChannel))) {
    settings.channel = 0;
  }
  if (FAILED(tuner_->get_CountryCode(&settings.country))) settings.country = 0;
  long inputs = 0;
  if (FAILED(tuner_->get_NumInputConnections(&inputs)) || inputs < 1) inputs = 1;
  if (FAILED(tuner_->get_ConnectInput(&settings.input)) || settings.input < 0 ||
      settings.input >= inputs) {
    settings.input = 0;
  }
  for (long i = 0; i < inputs; ++i) {
    TunerInputType type = TunerInputCable;
    if (FAILED(tuner_->get_InputType(i, &type))) type = TunerInputCable;
    settings.inputTypes.push_back(type);
  }
  return settings;
}

HRESULT CTVTunerPage::OnActivate(QWidget& content) {
  applied_ = Read();
  chosenTypes_ = applied_.inputTypes;
  long min = 0;
  long max = 0;
  if (FAILED(tuner_->ChannelMinMax(&min, &max)) || max < min) {
    min = std::min(applied_.channel, 0L);
    max = std::max(applied_.channel, static_cast<long>(kMaxChannelWhenUnknown));
  }
  Build(content);
  channel_->setRange(min, max);
  ShowSettings(applied_);
  ShowReception();

  QObject::connect(channel_, &QSpinBox::valueChanged, &content, [this] { Edited(); });
  QObject::connect(country_, &QSpinBox::valueChanged, &content, [this] { Edited(); });
  if (input_) {
    QObject::connect(input_, &QComboBox::currentIndexChanged, &content, [this] {
      const QSignalBlocker quiet(inputType_);
      inputType_->setCurrentIndex(inputType_->findData(chosenTypes_[Chosen().input]));
      Edited();
    });
  }
  QObject::connect(inputType_, &QComboBox::currentIndexChanged, &content, [this] {
    chosenTypes_[Chosen().input] = static_cast<TunerInputType>(inputType_->currentData().toInt());
    Edited();
  });
  // The reception changes under the user's eyes (an aerial moved, a station found).
  auto* refresh = new QTimer(&content);
  QObject::connect(refresh, &QTimer::timeout, &content, [this] { ShowReception(); });
  refresh->start(kReceptionRefresh);
  return S_OK;
}

void CTVTunerPage::Build(QWidget& content) {
  auto* form = new QFormLayout(&content);
  channel_ = new QSpinBox(&content);
  channel_->setObjectName(QStringLiteral("spinChannel"));
  form->addRow(QStringLiteral("Canal"), channel_);
  country_ = new QSpinBox(&content);
  country_->setObjectName(QStringLiteral("spinCountry"));
  country_->setRange(0, kMaxCountryCode);
  form->addRow(QStringLiteral("Pays (indicatif)"), country_);
  input_ = nullptr;
  if (applied_.inputTypes.size() > 1) {
    input_ = new QComboBox(&content);
    input_->setObjectName(QStringLiteral("cboxInput"));
    for (size_t i = 0; i < applied_.inputTypes.size(); ++i) {
      input_->addItem(QString::fromUtf16(u"Entrée %1").arg(i + 1),
                      QVariant::fromValue(static_cast<long>(i)));
    }
    form->addRow(QString::fromUtf16(u"Entrée"), input_);
  }
  inputType_ = new QComboBox(&content);
  inputType_->setObjectName(QStringLiteral("cboxInputType"));
  inputType_->addItem(QString::fromUtf16(u"Câble"), static_cast<int>(TunerInputCable));
  inputType_->addItem(QStringLiteral("Antenne"), static_cast<int>(TunerInputAntenna));
  form->addRow(QString::fromUtf16(u"Type d'entrée"), inputType_);
  standard_ = new QLabel(&content);
  standard_->setObjectName(QStringLiteral("labStandard"));
  standard_->setWordWrap(true);
  form->addRow(QStringLiteral("Standard"), standard_);
  signal_ = new QLabel(&content);
  signal_->setObjectName(QStringLiteral("labSignal"));
  form->addRow(QStringLiteral("Signal"), signal_);
  frequency_ = new QLabel(&content);
  frequency_->setObjectName(QStringLiteral("labFrequency"));
  form->addRow(QString::fromUtf16(u"Fréquence vidéo"), frequency_);
}

void CTVTunerPage::OnDeactivate() {
  channel_ = country_ = nullptr;
  input_ = inputType_ = nullptr;
  standard_ = signal_ = frequency_ = nullptr;
}

CTVTunerPage::Settings CTVTunerPage::Chosen() const {
  Settings chosen;
  chosen.channel = channel_->value();
  chosen.country = country_->value();
  chosen.input = input_ ? input_->currentData().value<long>() : 0;
  chosen.inputTypes = chosenTypes_;
  return chosen;
}

void CTVTunerPage::ShowSettings(const Settings& settings) {
  const QSignalBlocker quietChannel(channel_);
  const QSignalBlocker quietCountry(country_);
  const QSignalBlocker quietType(inputType_);
  channel_->setValue(settings.channel);
  country_->setValue(settings.country);
  if (input_) {
    const QSignalBlocker quietInput(input_);
    input_->setCurrentIndex(static_cast<int>(settings.input));
  }
  inputType_->setCurrentIndex(inputType_->findData(settings.inputTypes[settings.input]));
}

void CTVTunerPage::ShowReception() {
  long standard = 0;
  long offered = 0;
  if (FAILED(tuner_->get_TVFormat(&standard))) standard = 0;
  QString standards = AnalogStandardsText(standard);
  if (SUCCEEDED(tuner_->get_AvailableTVFormats(&offered)) && offered != 0) {
    standards += QStringLiteral(" (offerts : %1)").arg(AnalogStandardsText(offered));
  }
  standard_->setText(standards);
  // SignalPresent answers 1 for a signal, 0 for none, -1 when the tuner cannot tell.
  long strength = -1;
  if (FAILED(tuner_->SignalPresent(&strength))) strength = -1;
  signal_->setText(strength > 0    ? QString::fromUtf16(u"Présent")
                   : strength == 0 ? QStringLiteral("Absent")
                                   : QStringLiteral("Inconnu"));
  long hertz = 0;
  frequency_->setText(
      SUCCEEDED(tuner_->get_VideoFrequency(&hertz)) && hertz > 0
          ? QString::number(hertz / 1e6, 'f', 2).replace(QLatin1Char('.'), QLatin1Char(',')) +
                QStringLiteral(" MHz")
          : QStringLiteral("—"));
}

void CTVTunerPage::Edited() { SetDirty(!(Chosen() == applied_)); }

HRESULT CTVTunerPage::OnApply() {
  const Settings chosen = Chosen();
  HRESULT hr = S_OK;
  QString refused;
  if (chosen.country != applied_.country) {
    hr = tuner_->put_CountryCode(chosen.country);
    if (FAILED(hr))
      refused = QStringLiteral("Le tuner refuse le pays %1").arg(chosen.country);
    else
      applied_.country = chosen.country;
  }
  if (SUCCEEDED(hr) && chosen.input != applied_.input) {
    hr = tuner_->put_ConnectInput(chosen.input);
    if (FAILED(hr))
      refused = QString::fromUtf16(u"Le tuner refuse l'entrée %1").arg(chosen.input + 1);
    else
      applied_.input = chosen.input;
  }
  for (size_t i = 0; SUCCEEDED(hr) && i < chosen.inputTypes.size(); ++i) {
    if (chosen.inputTypes[i] == applied_.inputTypes[i]) continue;
    hr = tuner_->put_InputType(static_cast<long>(i), chosen.inputTypes[i]);
    if (FAILED(hr))
      refused = QString::fromUtf16(u"Le tuner refuse ce type d'entrée");
    else
      applied_.inputTypes[i] = chosen.inputTypes[i];
  }
  if (SUCCEEDED(hr) && chosen.channel != applied_.channel) {
    hr = tuner_->put_Channel(chosen.channel, kDefaultSubChannel, kDefaultSubChannel);
    if (FAILED(hr))
      refused = QStringLiteral("Le tuner refuse le canal %1").arg(chosen.channel);
    else
      applied_.channel = chosen.channel;
  }
  ShowReception();
  if (FAILED(hr)) {
    ShowError(refused, hr);
    return hr;
  }
  return S_OK;
}

}  // namespace vidorra::filters
