// The TV sound page.
#include "TVAudioPage.h"

#include <vidorra_pages.h>

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>

namespace vidorra::filters {

namespace {

constexpr SIZE kPageSize{360, 140};

struct ModeName {
  long mode;
  const char16_t* name;
};
struct ModeGroup {
  const char* objectName;
  const char16_t* title;
  ModeName modes[3];
  long Mask() const { return modes[0].mode | modes[1].mode | modes[2].mode; }
};
constexpr ModeGroup kGroups[] = {
    {"cboxSound", u"Son", {{AMTVAUDIO_MODE_MONO, u"Mono"}, {AMTVAUDIO_MODE_STEREO, u"Stéréo"}, {}}},
    {"cboxLanguage",
     u"Langue",
     {{AMTVAUDIO_MODE_LANG_A, u"Langue A"},
      {AMTVAUDIO_MODE_LANG_B, u"Langue B"},
      {AMTVAUDIO_MODE_LANG_C, u"Langue C"}}},
};

const ComClassRegistration kRegistration(CLSID_TVAudioPropertyPage, "TV Audio Page",
                                         ComClassFactoryFor<CTVAudioPage>());

}  // namespace

CTVAudioPage::CTVAudioPage() : CBasePropertyPage(L"Son TV", kPageSize) {}

HRESULT CTVAudioPage::OnConnect(std::span<IUnknown* const> objects) {
  audio_ = FirstObjectWith<IAMTVAudio>(objects);
  return audio_ ? S_OK : E_NOINTERFACE;
}

void CTVAudioPage::OnDisconnect() { audio_ = nullptr; }

HRESULT CTVAudioPage::OnActivate(QWidget& content) {
  long available = 0;
  if (FAILED(audio_->GetAvailableTVAudioModes(&available))) available = 0;
  if (FAILED(audio_->get_TVAudioMode(&applied_))) applied_ = 0;
  auto* form = new QFormLayout(&content);
  boxes_ = {};
  for (size_t g = 0; g < std::size(kGroups); ++g) {
    const ModeGroup& group = kGroups[g];
    // The current mode is shown even when the broadcast no longer lists it.
    const long shown = (available | applied_) & group.Mask();
    if (shown == 0) continue;
    auto* box = new QComboBox(&content);
    box->setObjectName(QString::fromLatin1(group.objectName));
    for (const ModeName& mode : group.modes) {
      if (mode.mode & shown)
        box->addItem(QString::fromUtf16(mode.name), QVariant::fromValue(mode.mode));
    }
    box->setCurrentIndex(std::max(0, box->findData(QVariant::fromValue(applied_ & group.Mask()))));
    form->addRow(QString::fromUtf16(group.title), box);
    boxes_[g] = box;
  }
  if (!boxes_[0] && !boxes_[1]) {
    form->addRow(
        new QLabel(QString::fromUtf16(u"Ce tuner ne propose aucun mode de son."), &content));
    return S_OK;
  }
  for (QComboBox* box : boxes_) {
    if (!box) continue;
    QObject::connect(box, &QComboBox::currentIndexChanged, &content,
                     [this] { SetDirty(Chosen() != applied_); });
  }
  return S_OK;
}

void CTVAudioPage::OnDeactivate() { boxes_ = {}; }

long CTVAudioPage::Chosen() const {
  long mode = 0;
  for (size_t g = 0; g < std::size(kGroups); ++g) {
    mode |= boxes_[g] ? boxes_[g]->currentData().value<long>() : applied_ & kGroups[g].Mask();
  }
  return mode;
}

HRESULT CTVAudioPage::OnApply() {
  const long mode = Chosen();
  const HRESULT hr = audio_->put_TVAudioMode(mode);
  if (FAILED(hr)) {
    ShowError(QString::fromUtf16(u"Le tuner refuse ce mode de son"), hr);
    return hr;
  }
  applied_ = mode;
  return S_OK;
}

}  // namespace vidorra::filters
