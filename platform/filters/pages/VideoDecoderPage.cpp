// The analogue video decoder page.
#include "VideoDecoderPage.h"

#include <vidorra_pages.h>

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>

#include "AnalogStandardNames.h"

namespace vidorra::filters {

namespace {

constexpr SIZE kPageSize{360, 140};

const ComClassRegistration kRegistration(CLSID_AnalogVideoDecoderPropertyPage,
                                         "Analog Video Decoder Page",
                                         ComClassFactoryFor<CVideoDecoderPage>());

}  // namespace

CVideoDecoderPage::CVideoDecoderPage() : CBasePropertyPage(L"Décodeur vidéo", kPageSize) {}

HRESULT CVideoDecoderPage::OnConnect(std::span<IUnknown* const> objects) {
  decoder_ = FirstObjectWith<IAMAnalogVideoDecoder>(objects);
  return decoder_ ? S_OK : E_NOINTERFACE;
}

void CVideoDecoderPage::OnDisconnect() { decoder_ = nullptr; }

HRESULT CVideoDecoderPage::OnActivate(QWidget& content) {
  long available = 0;
  if (FAILED(decoder_->get_AvailableTVFormats(&available))) available = 0;
  if (FAILED(decoder_->get_TVFormat(&applied_))) applied_ = 0;
  auto* form = new QFormLayout(&content);
  standard_ = new QComboBox(&content);
  standard_->setObjectName(QStringLiteral("cboxStandard"));
  for (long standard : AnalogStandardsOf(available | applied_)) {
    standard_->addItem(AnalogStandardName(standard), QVariant::fromValue(standard));
  }
  standard_->setCurrentIndex(std::max(0, standard_->findData(QVariant::fromValue(applied_))));
  form->addRow(QString::fromUtf16(u"Standard vidéo"), standard_);
  lines_ = new QLabel(&content);
  lines_->setObjectName(QStringLiteral("labLines"));
  form->addRow(QStringLiteral("Lignes"), lines_);
  locked_ = new QLabel(&content);
  locked_->setObjectName(QStringLiteral("labLocked"));
  form->addRow(QString::fromUtf16(u"Synchronisé"), locked_);
  QObject::connect(standard_, &QComboBox::currentIndexChanged, &content, [this] {
    SetDirty(standard_->currentData().value<long>() != applied_);
  });
  ShowDecoder();
  return S_OK;
}

void CVideoDecoderPage::OnDeactivate() {
  standard_ = nullptr;
  lines_ = locked_ = nullptr;
}

void CVideoDecoderPage::ShowDecoder() {
  long lines = 0;
  lines_->setText(SUCCEEDED(decoder_->get_NumberOfLines(&lines)) ? QString::number(lines)
                                                                 : QStringLiteral("Inconnu"));
  long locked = 0;
  locked_->setText(SUCCEEDED(decoder_->get_HorizontalLocked(&locked)) && locked
                       ? QStringLiteral("Oui")
                       : QStringLiteral("Non"));
}

HRESULT CVideoDecoderPage::OnApply() {
  const long standard = standard_->currentData().value<long>();
  const HRESULT hr = decoder_->put_TVFormat(standard);
  if (FAILED(hr)) {
    ShowError(QString::fromUtf16(u"Le décodeur refuse ce standard"), hr);
    return hr;
  }
  applied_ = standard;
  ShowDecoder();
  return S_OK;
}

}  // namespace vidorra::filters
