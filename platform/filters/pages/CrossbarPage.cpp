// The crossbar page.
#include "CrossbarPage.h"

#include <vidorra_pages.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <algorithm>
#include <map>

#include "ConnectorNames.h"

namespace vidorra::filters {

namespace {

constexpr SIZE kPageSize{400, 200};
constexpr long kNoInput = -1;

const ComClassRegistration kRegistration(CLSID_CrossbarPropertyPage, "Crossbar Page",
                                         ComClassFactoryFor<CCrossbarPage>());

QString NoInputText() { return QString::fromUtf16(u"Aucune entrée"); }

}  // namespace

CCrossbarPage::CCrossbarPage() : CBasePropertyPage(L"Crossbar", kPageSize) {}

HRESULT CCrossbarPage::OnConnect(std::span<IUnknown* const> objects) {
  crossbar_ = FirstObjectWith<IAMCrossbar>(objects);
  return crossbar_ ? S_OK : E_NOINTERFACE;
}

void CCrossbarPage::OnDisconnect() { crossbar_ = nullptr; }

HRESULT CCrossbarPage::ReadPins(BOOL isInput, long count, std::vector<Pin>* pins) const {
  pins->assign(static_cast<size_t>(std::max(count, 0L)), Pin{});
  std::vector<long> types(pins->size());
  std::map<long, int> sharing;  // pins per connector type
  for (size_t i = 0; i < pins->size(); ++i) {
    const HRESULT hr = crossbar_->get_CrossbarPinInfo(isInput, static_cast<long>(i),
                                                      &(*pins)[i].related, &types[i]);
    if (FAILED(hr)) return hr;
    ++sharing[types[i]];
  }
  // Pins that share a connector type are numbered in pin order.
  std::map<long, int> seen;
  for (size_t i = 0; i < pins->size(); ++i) {
    QString name = QString::fromLatin1(PhysicalConnectorName(types[i]));
    if (sharing[types[i]] > 1) name += QStringLiteral(" %1").arg(++seen[types[i]]);
    (*pins)[i].name = name;
  }
  return S_OK;
}

HRESULT CCrossbarPage::OnActivate(QWidget& content) {
  long outputCount = 0;
  long inputCount = 0;
  HRESULT hr = crossbar_->get_PinCounts(&outputCount, &inputCount);
  std::vector<Pin> outputPins;
  if (SUCCEEDED(hr)) hr = ReadPins(TRUE, inputCount, &inputs_);
  if (SUCCEEDED(hr)) hr = ReadPins(FALSE, outputCount, &outputPins);
  if (FAILED(hr)) return hr;

  auto* form = new QFormLayout(&content);
  outputs_.assign(outputPins.size(), Output{});
  if (outputs_.empty()) {
    form->addRow(new QLabel(QString::fromUtf16(u"Ce crossbar n'a aucune sortie."), &content));
    return S_OK;
  }
  for (size_t o = 0; o < outputs_.size(); ++o) {
    Output& output = outputs_[o];
    output.pin = outputPins[o];
    if (FAILED(crossbar_->get_IsRoutedTo(static_cast<long>(o), &output.routed))) {
      output.routed = kNoInput;
    }
    output.box = new QComboBox(&content);
    output.box->setObjectName(QStringLiteral("cboxOutput%1").arg(o));
    for (size_t i = 0; i < inputs_.size(); ++i) {
      if (crossbar_->CanRoute(static_cast<long>(o), static_cast<long>(i)) == S_OK) {
        output.box->addItem(inputs_[i].name, QVariant::fromValue(static_cast<long>(i)));
      }
    }
    ShowRoute(output, output.routed);
    form->addRow(output.pin.name, output.box);
  }
  linkRelated_ = new QCheckBox(QString::fromUtf16(u"Lier les pins associées"), &content);
  linkRelated_->setObjectName(QStringLiteral("cbLinkRelated"));
  linkRelated_->setChecked(true);
  form->addRow(linkRelated_);
  for (size_t o = 0; o < outputs_.size(); ++o) {
    QObject::connect(outputs_[o].box, &QComboBox::currentIndexChanged, &content,
                     [this, o] { Chosen(o); });
  }
  return S_OK;
}

void CCrossbarPage::OnDeactivate() {
  outputs_.clear();
  linkRelated_ = nullptr;
}

long CCrossbarPage::ChoiceOf(const Output& output) {
  return output.box->currentData().value<long>();
}

bool CCrossbarPage::AnyChanged() const {
  return std::any_of(outputs_.begin(), outputs_.end(),
                     [](const Output& output) { return ChoiceOf(output) != output.routed; });
}

void CCrossbarPage::ShowRoute(Output& output, long input) {
  const QSignalBlocker quiet(output.box);
  int index = output.box->findData(QVariant::fromValue(input));
  if (index < 0) {
    // A route the crossbar reports is shown even when CanRoute did not offer it.
    const bool known = input >= 0 && static_cast<size_t>(input) < inputs_.size();
    index = input == kNoInput ? 0 : output.box->count();
    output.box->insertItem(index, known ? inputs_[input].name : NoInputText(),
                           QVariant::fromValue(known ? input : kNoInput));
  }
  output.box->setCurrentIndex(index);
}

void CCrossbarPage::Chosen(size_t o) {
  const long input = ChoiceOf(outputs_[o]);
  const long relatedOutput = outputs_[o].pin.related;
  if (linkRelated_->isChecked() && input >= 0 && relatedOutput >= 0 &&
      static_cast<size_t>(relatedOutput) < outputs_.size() &&
      static_cast<size_t>(relatedOutput) != o) {
    const long relatedInput = inputs_[input].related;
    QComboBox* box = outputs_[relatedOutput].box;
    const int index = box->findData(QVariant::fromValue(relatedInput));
    if (relatedInput >= 0 && index >= 0) {
      const QSignalBlocker quiet(box);
      box->setCurrentIndex(index);
    }
  }
  SetDirty(AnyChanged());
}

HRESULT CCrossbarPage::OnApply() {
  HRESULT failure = S_OK;
  QString refused;
  std::vector<bool> kept(outputs_.size(), false);  // choices the crossbar refused stay shown
  for (size_t o = 0; o < outputs_.size(); ++o) {
    const long input = ChoiceOf(outputs_[o]);
    if (input == outputs_[o].routed) continue;
    const HRESULT hr = crossbar_->Route(static_cast<long>(o), input);
    if (FAILED(hr)) {
      kept[o] = true;
      if (SUCCEEDED(failure)) {
        failure = hr;
        refused = QString::fromUtf16(u"Le crossbar refuse de relier « %1 » à « %2 »")
                      .arg(outputs_[o].box->currentText(), outputs_[o].pin.name);
      }
    }
  }
  // A route may move others along: the page shows what the crossbar now reports.
  for (size_t o = 0; o < outputs_.size(); ++o) {
    Output& output = outputs_[o];
    if (FAILED(crossbar_->get_IsRoutedTo(static_cast<long>(o), &output.routed))) {
      output.routed = kNoInput;
    }
    if (!kept[o]) ShowRoute(output, output.routed);
  }
  if (FAILED(failure)) ShowError(refused, failure);
  return failure;
}

}  // namespace vidorra::filters
