// The picture controls and camera controls pages, the same tests over both interfaces: a row
// per property the device has, its range, value and automatic mode; Apply with what the user
// moved; "Défaut"; a refused value.
#include <gtest/gtest.h>
#include <strmif.h>
#include <vidorra_pages.h>

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

#include "modal_dialog_driver.h"
#include "page_test_support.h"

namespace vidorra::test {
namespace {

constexpr long kAuto = 0x1;
constexpr long kManual = 0x2;

template <class Control>
class FakeControls : public CUnknown, public Control {
 public:
  struct Property {
    long min, max, step, byDefault, caps, value, flags;
  };
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == Control::kIid) return GetInterface(static_cast<Control*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP GetRange(long id, long* min, long* max, long* step, long* byDefault,
                        long* caps) override {
    auto found = properties.find(id);
    if (found == properties.end()) return E_PROP_ID_UNSUPPORTED;
    const Property& p = found->second;
    std::tie(*min, *max, *step, *byDefault, *caps) =
        std::tie(p.min, p.max, p.step, p.byDefault, p.caps);
    return S_OK;
  }
  STDMETHODIMP Set(long id, long value, long flags) override {
    sets.emplace_back(id, value, flags);
    auto found = properties.find(id);
    if (found == properties.end()) return E_PROP_ID_UNSUPPORTED;
    if (id == refused || value < found->second.min || value > found->second.max) {
      return E_INVALIDARG;
    }
    found->second.value = value;
    found->second.flags = flags;
    return S_OK;
  }
  STDMETHODIMP Get(long id, long* value, long* flags) override {
    auto found = properties.find(id);
    if (found == properties.end()) return E_PROP_ID_UNSUPPORTED;
    *value = found->second.value;
    *flags = found->second.flags;
    return S_OK;
  }

  std::map<long, Property> properties;
  long refused = -1;
  std::vector<std::tuple<long, long, long>> sets;
};

struct ProcAmp {
  using Control = IAMVideoProcAmp;
  static const CLSID& Page() { return CLSID_VideoProcAmpPropertyPage; }
  static constexpr long kManualOne = VideoProcAmp_Brightness;
  static constexpr long kAutoOne = VideoProcAmp_Contrast;
  static constexpr long kMissing = VideoProcAmp_Hue;
  static constexpr const char* kManualKey = "Brightness";
  static constexpr const char* kAutoKey = "Contrast";
  static constexpr const char* kMissingKey = "Hue";
  static constexpr const char16_t* kManualName = u"Luminosité";
};
struct Camera {
  using Control = IAMCameraControl;
  static const CLSID& Page() { return CLSID_CameraControlPropertyPage; }
  static constexpr long kManualOne = CameraControl_Focus;
  static constexpr long kAutoOne = CameraControl_Exposure;
  static constexpr long kMissing = CameraControl_Zoom;
  static constexpr const char* kManualKey = "Focus";
  static constexpr const char* kAutoKey = "Exposure";
  static constexpr const char* kMissingKey = "Zoom";
  static constexpr const char16_t* kManualName = u"Mise au point";
};

template <class Kind>
class ControlsPage : public ::testing::Test {
 protected:
  using Fake = FakeControls<typename Kind::Control>;
  // One property set by hand, 0..255 by 1, default 128, now 100; one that the device sets
  // itself, 0..100 by 5, default 50, now 40 in automatic mode.
  ControlsPage() : device_(MakeComObject<Fake>()) {
    device_->properties[Kind::kManualOne] = {0, 255, 1, 128, kManual, 100, kManual};
    device_->properties[Kind::kAutoOne] = {0, 100, 5, 50, kAuto | kManual, 40, kAuto};
  }
  static std::string Name(const char* prefix, const char* key) { return std::string(prefix) + key; }
  QSlider* Slider(PageHost& page, const char* key) {
    return page.Find<QSlider>(Name("slider", key).c_str());
  }
  QCheckBox* AutoBox(PageHost& page, const char* key) {
    return page.Find<QCheckBox>(Name("cbAuto", key).c_str());
  }

  ComPtr<Fake> device_;
};

using Kinds = ::testing::Types<ProcAmp, Camera>;
TYPED_TEST_SUITE(ControlsPage, Kinds);

TYPED_TEST(ControlsPage, ShowsARowPerPropertyOfTheDeviceWithItsRangeValueAndMode) {
  PageHost page(TypeParam::Page(), this->device_.Get());
  ASSERT_EQ(S_OK, page.Activate());
  QSlider* manual = this->Slider(page, TypeParam::kManualKey);
  QSlider* automatic = this->Slider(page, TypeParam::kAutoKey);
  ASSERT_TRUE(manual && automatic);
  EXPECT_EQ(nullptr, this->Slider(page, TypeParam::kMissingKey));
  EXPECT_EQ(0, manual->minimum());
  EXPECT_EQ(255, manual->maximum());
  EXPECT_EQ(100, manual->value());
  EXPECT_TRUE(manual->isEnabled());
  EXPECT_EQ("100", page.Find<QLabel>(this->Name("lab", TypeParam::kManualKey).c_str())->text());
  EXPECT_EQ(nullptr, this->AutoBox(page, TypeParam::kManualKey));
  EXPECT_EQ(5, automatic->singleStep());
  EXPECT_EQ(40, automatic->value());
  EXPECT_FALSE(automatic->isEnabled());
  ASSERT_NE(nullptr, this->AutoBox(page, TypeParam::kAutoKey));
  EXPECT_TRUE(this->AutoBox(page, TypeParam::kAutoKey)->isChecked());
  EXPECT_FALSE(page.Dirty());
}

TYPED_TEST(ControlsPage, ApplySetsWhatTheUserMovedAndDefautPutsTheDefaultsBack) {
  PageHost page(TypeParam::Page(), this->device_.Get());
  ASSERT_EQ(S_OK, page.Activate());
  QSlider* manual = this->Slider(page, TypeParam::kManualKey);
  QSlider* automatic = this->Slider(page, TypeParam::kAutoKey);
  QTest::keyClick(manual, Qt::Key_End);
  EXPECT_EQ(255, manual->value());
  EXPECT_TRUE(page.Dirty());
  QTest::keyClick(manual, Qt::Key_Home);
  manual->setValue(100);  // dragged back where it was
  EXPECT_FALSE(page.Dirty());

  ASSERT_TRUE(Click(this->AutoBox(page, TypeParam::kAutoKey)));
  EXPECT_TRUE(automatic->isEnabled());
  automatic->setValue(53);  // a drag stops on the property's steps
  EXPECT_EQ(55, automatic->value());
  ASSERT_TRUE(ClickButton(page.Area(), QString::fromUtf16(u"Défaut")));
  EXPECT_EQ(128, manual->value());
  EXPECT_EQ(50, automatic->value());
  EXPECT_TRUE(page.Dirty());

  EXPECT_EQ(S_OK, page.Apply());
  using Set = std::tuple<long, long, long>;
  std::vector<Set> expected{{TypeParam::kManualOne, 128, kManual},
                            {TypeParam::kAutoOne, 50, kManual}};
  std::vector<Set> sets = this->device_->sets;
  std::sort(expected.begin(), expected.end());
  std::sort(sets.begin(), sets.end());
  EXPECT_EQ(expected, sets);
  EXPECT_FALSE(page.Dirty());
  // Clean pages apply nothing.
  EXPECT_EQ(S_OK, page.Apply());
  EXPECT_EQ(2u, this->device_->sets.size());
}

TYPED_TEST(ControlsPage, ARefusedValueShowsItsErrorWhileTheOthersAreSet) {
  this->device_->refused = TypeParam::kManualOne;
  PageHost page(TypeParam::Page(), this->device_.Get());
  ASSERT_EQ(S_OK, page.Activate());
  this->Slider(page, TypeParam::kManualKey)->setValue(200);
  ASSERT_TRUE(Click(this->AutoBox(page, TypeParam::kAutoKey)));
  EXPECT_EQ(E_INVALIDARG, page.Apply());
  EXPECT_TRUE(page.Error().contains(QString::fromUtf16(TypeParam::kManualName)))
      << page.Error().toStdString();
  EXPECT_EQ(40, this->device_->properties[TypeParam::kAutoOne].value);
  EXPECT_EQ(kManual, this->device_->properties[TypeParam::kAutoOne].flags);
  EXPECT_TRUE(page.Dirty());
}

TYPED_TEST(ControlsPage, ADeviceWithoutAnyPropertySaysSo) {
  this->device_->properties.clear();
  PageHost page(TypeParam::Page(), this->device_.Get());
  ASSERT_EQ(S_OK, page.Activate());
  EXPECT_EQ(nullptr, FindButton(page.Area(), QString::fromUtf16(u"Défaut")));
  EXPECT_TRUE(ShowsText(page.Area(), QString::fromUtf16(u"Ce périphérique n'a aucun réglage")));
}

}  // namespace
}  // namespace vidorra::test
