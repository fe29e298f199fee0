// The stream format page.
#include "StreamFormatPage.h"

#include <vidorra_pages.h>

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>

namespace vidorra::filters {

namespace {

constexpr SIZE kPageSize{380, 160};
constexpr const char* kVideoBoxes[] = {"cboxSubtype", "cboxSize", "cboxRate"};
constexpr const char* kAudioBoxes[] = {"cboxSampleRate", "cboxBits", "cboxChannels"};

const ComClassRegistration kRegistration(CLSID_StreamFormatPropertyPage, "Stream Format Page",
                                         ComClassFactoryFor<CStreamFormatPage>());

}  // namespace

CStreamFormatPage::CStreamFormatPage() : CBasePropertyPage(L"Format du flux", kPageSize) {}

HRESULT CStreamFormatPage::OnConnect(std::span<IUnknown* const> objects) {
  config_ = FirstObjectWith<IAMStreamConfig>(objects);
  if (!config_) return E_NOINTERFACE;
  const HRESULT hr = choices_.Load(config_.Get());
  if (FAILED(hr)) {
    config_ = nullptr;
    return hr;
  }
  SetTitle(choices_.kind() == StreamFormatChoices::Kind::kAudio ? L"Format audio"
                                                                : L"Format vidéo");
  return S_OK;
}

void CStreamFormatPage::OnDisconnect() { config_ = nullptr; }

HRESULT CStreamFormatPage::OnActivate(QWidget& content) {
  auto* form = new QFormLayout(&content);
  boxes_ = {};
  if (choices_.empty()) {
    form->addRow(new QLabel(QString::fromUtf16(u"Ce périphérique ne propose aucun format.")));
    return S_OK;
  }
  AM_MEDIA_TYPE* current = nullptr;
  if (SUCCEEDED(config_->GetFormat(&current)) && current) {
    applied_ = choices_.Nearest(*current);
    DeleteMediaType(current);
  } else {
    applied_ = choices_.First();
  }
  chosen_ = applied_;
  const auto& names =
      choices_.kind() == StreamFormatChoices::Kind::kAudio ? kAudioBoxes : kVideoBoxes;
  for (int level = 0; level < StreamFormatChoices::kLevels; ++level) {
    auto* box = new QComboBox(&content);
    box->setObjectName(QString::fromLatin1(names[level]));
    form->addRow(choices_.LevelTitle(level), box);
    boxes_[level] = box;
  }
  Refill(0);
  for (int level = 0; level < StreamFormatChoices::kLevels; ++level) {
    QObject::connect(boxes_[level], &QComboBox::currentIndexChanged, &content,
                     [this, level] { Chosen(level); });
  }
  return S_OK;
}

void CStreamFormatPage::OnDeactivate() { boxes_ = {}; }

void CStreamFormatPage::Refill(int fromLevel) {
  for (int level = fromLevel; level < StreamFormatChoices::kLevels; ++level) {
    const std::vector<int64_t> values = choices_.Values(level, chosen_);
    QComboBox* box = boxes_[level];
    const QSignalBlocker quiet(box);
    box->clear();
    int shown = 0;
    for (size_t i = 0; i < values.size(); ++i) {
      box->addItem(choices_.ValueText(level, values[i]), QVariant::fromValue(values[i]));
      if (values[i] == chosen_[level]) shown = static_cast<int>(i);
    }
    box->setCurrentIndex(shown);
    chosen_[level] = values[shown];
  }
}

void CStreamFormatPage::Chosen(int level) {
  chosen_[level] = boxes_[level]->currentData().toLongLong();
  Refill(level + 1);
  SetDirty(chosen_ != applied_);
}

HRESULT CStreamFormatPage::OnApply() {
  if (choices_.empty()) return S_OK;
  CMediaType type;
  HRESULT hr = choices_.MakeType(chosen_, &type);
  if (SUCCEEDED(hr)) hr = config_->SetFormat(&type);
  if (FAILED(hr)) {
    ShowError(QString::fromUtf16(u"Le périphérique n'a pas accepté ce format"), hr);
    return hr;
  }
  applied_ = chosen_;
  return S_OK;
}

}  // namespace vidorra::filters
