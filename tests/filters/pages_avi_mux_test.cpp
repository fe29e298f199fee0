// The AVI Mux page against the platform's AVI Mux: its settings shown, Apply, a refused mode.
#include <gtest/gtest.h>
#include <strmif.h>
#include <uuids.h>
#include <vidorra_pages.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QSpinBox>

#include "modal_dialog_driver.h"
#include "page_test_support.h"
#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

TEST(AviMuxPage, ShowsTheMultiplexerSettings) {
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  PageHost page(CLSID_AviMuxPropertyPage, mux.Get());
  ASSERT_EQ(S_OK, page.Activate());
  EXPECT_EQ("Au fil de la capture", page.Find<QComboBox>("cboxInterleaveMode")->currentText());
  EXPECT_EQ(1000, page.Find<QSpinBox>("spinInterleave")->value());
  EXPECT_EQ(0, page.Find<QSpinBox>("spinPreroll")->value());
  EXPECT_TRUE(page.Find<QCheckBox>("cbCompatibilityIndex")->isChecked());
  auto* master = page.Find<QComboBox>("cboxMasterStream");
  EXPECT_EQ("Aucun", master->currentText());
  EXPECT_EQ("Input 01", master->itemText(1));
  EXPECT_FALSE(page.Dirty());
}

TEST(AviMuxPage, ApplySetsWhatTheUserChanged) {
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  PageHost page(CLSID_AviMuxPropertyPage, mux.Get());
  ASSERT_EQ(S_OK, page.Activate());
  ASSERT_TRUE(TypeInto(page.Find<QSpinBox>("spinInterleave"), "500"));
  ASSERT_TRUE(TypeInto(page.Find<QSpinBox>("spinPreroll"), "250"));
  ASSERT_TRUE(Click(page.Find<QCheckBox>("cbCompatibilityIndex")));
  ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxMasterStream"), "Input 01"));
  EXPECT_TRUE(page.Dirty());
  EXPECT_EQ(S_OK, page.Apply());
  EXPECT_FALSE(page.Dirty());

  REFERENCE_TIME interleave = 0, preroll = 0;
  ASSERT_EQ(S_OK, mux.As<IConfigInterleaving>()->get_Interleaving(&interleave, &preroll));
  EXPECT_EQ(5'000'000, interleave);
  EXPECT_EQ(2'500'000, preroll);
  BOOL oldIndex = TRUE;
  LONG master = -1;
  auto config = mux.As<IConfigAviMux>();
  ASSERT_EQ(S_OK, config->GetOutputCompatibilityIndex(&oldIndex));
  ASSERT_EQ(S_OK, config->GetMasterStream(&master));
  EXPECT_FALSE(oldIndex);
  EXPECT_EQ(0, master);
}

TEST(AviMuxPage, AModeTheMultiplexerCannotDoIsShownRefusedAndTheRestIsSet) {
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  PageHost page(CLSID_AviMuxPropertyPage, mux.Get());
  ASSERT_EQ(S_OK, page.Activate());
  ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxInterleaveMode"), "Complet"));
  ASSERT_TRUE(TypeInto(page.Find<QSpinBox>("spinPreroll"), "100"));
  EXPECT_EQ(E_NOTIMPL, page.Apply());
  EXPECT_TRUE(page.Error().startsWith("Le multiplexeur refuse ce mode d'entrelacement"))
      << page.Error().toStdString();
  EXPECT_TRUE(page.Dirty());
  REFERENCE_TIME interleave = 0, preroll = 0;
  InterleavingMode mode = INTERLEAVE_NONE;
  auto config = mux.As<IConfigInterleaving>();
  ASSERT_EQ(S_OK, config->get_Interleaving(&interleave, &preroll));
  ASSERT_EQ(S_OK, config->get_Mode(&mode));
  EXPECT_EQ(1'000'000, preroll);
  EXPECT_EQ(10'000'000, interleave);  // left alone, kept exactly
  EXPECT_EQ(INTERLEAVE_CAPTURE, mode);
}

// An object with IConfigAviMux only (no filter, no interleaving) gets the file settings only.
class AviMuxSettingsOnly : public CUnknown, public IConfigAviMux {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IConfigAviMux) return GetInterface(static_cast<IConfigAviMux*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP SetMasterStream(LONG stream) override {
    master = stream;
    return S_OK;
  }
  STDMETHODIMP GetMasterStream(LONG* stream) override {
    *stream = master;
    return S_OK;
  }
  STDMETHODIMP SetOutputCompatibilityIndex(BOOL) override { return S_OK; }
  STDMETHODIMP GetOutputCompatibilityIndex(BOOL* old) override {
    *old = TRUE;
    return S_OK;
  }
  LONG master = 1;
};

TEST(AviMuxPage, AnObjectWithTheFileSettingsOnlyGetsThoseNumbered) {
  auto settings = MakeComObject<AviMuxSettingsOnly>();
  PageHost page(CLSID_AviMuxPropertyPage, settings.Get());
  ASSERT_EQ(S_OK, page.Activate());
  EXPECT_EQ(nullptr, page.Find<QComboBox>("cboxInterleaveMode"));
  auto* master = page.Find<QComboBox>("cboxMasterStream");
  EXPECT_EQ("Flux 2", master->currentText());
  ASSERT_TRUE(ChooseItem(master, "Flux 3"));
  EXPECT_EQ(S_OK, page.Apply());
  EXPECT_EQ(2, settings->master);
}

}  // namespace
}  // namespace vidorra::test
