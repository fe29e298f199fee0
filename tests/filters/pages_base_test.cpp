// What every property page of the platform does alike: creation by class id, page info,
// objects without the page's interface, and the life cycle of the page widget.
#include <gtest/gtest.h>
#include <strmif.h>
#include <uuids.h>
#include <vidorra_pages.h>

#include <QCheckBox>

#include "modal_dialog_driver.h"
#include "page_test_support.h"
#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

class Nothing : public CUnknown {};

TEST(PropertyPages, EachIsCreatedByItsClassIdAndRefusesAnObjectWithoutItsInterface) {
  const CLSID* pages[] = {&CLSID_StreamFormatPropertyPage,  &CLSID_VideoProcAmpPropertyPage,
                          &CLSID_CameraControlPropertyPage, &CLSID_CrossbarPropertyPage,
                          &CLSID_TVTunerPropertyPage,       &CLSID_TVAudioPropertyPage,
                          &CLSID_AviMuxPropertyPage};
  auto nothing = MakeComObject<Nothing>();
  QWidget area;
  for (const CLSID* clsid : pages) {
    ComPtr<IPropertyPage> page;
    ASSERT_EQ(S_OK, CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                     page.ReleaseAndGetVoidAddressOf()));
    PROPPAGEINFO info{};
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    EXPECT_NE(nullptr, info.pszTitle);
    EXPECT_NE(L'\0', info.pszTitle[0]);
    EXPECT_GT(info.size.cx, 0);
    EXPECT_GT(info.size.cy, 0);
    EXPECT_EQ(nullptr, info.pszDocString);
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(E_POINTER, page->GetPageInfo(nullptr));

    IUnknown* object = nothing.Get();
    EXPECT_EQ(E_NOINTERFACE, page->SetObjects(1, &object));
    EXPECT_EQ(E_UNEXPECTED, page->Activate(HwndForWidget(&area), nullptr, TRUE));
    EXPECT_EQ(E_UNEXPECTED, page->Apply());
    EXPECT_EQ(S_FALSE, page->IsPageDirty());
  }
  EXPECT_EQ(1u, nothing->RefCountForTesting());
}

TEST(PropertyPages, ThePageWidgetLivesFromActivateToDeactivate) {
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  PageHost page(CLSID_AviMuxPropertyPage, mux.Get());
  ASSERT_EQ(S_OK, page.connected);
  EXPECT_EQ(E_UNEXPECTED, page->SetPageSite(MakeComObject<RecordingPageSite>().Get()));
  EXPECT_EQ(E_INVALIDARG, page->Activate(reinterpret_cast<HWND>(0x7FFFFFF0), nullptr, TRUE));

  ASSERT_EQ(S_OK, page.Activate());
  QWidget* content = page.Find<QWidget>("pageContent");
  ASSERT_NE(nullptr, content);
  EXPECT_TRUE(content->isVisible());
  EXPECT_EQ(E_UNEXPECTED, page->Activate(HwndForWidget(&page.Area()), nullptr, TRUE));
  IUnknown* object = mux.Get();
  EXPECT_EQ(E_UNEXPECTED, page->SetObjects(1, &object));
  EXPECT_EQ(S_OK, page->Show(SW_HIDE));
  EXPECT_FALSE(content->isVisible());
  EXPECT_EQ(S_OK, page->Show(SW_SHOW));

  ASSERT_TRUE(Click(page.Find<QCheckBox>("cbCompatibilityIndex")));
  EXPECT_TRUE(page.Dirty());
  EXPECT_EQ(S_OK, page.Deactivate());
  EXPECT_EQ(nullptr, page.Find<QWidget>("pageContent"));
  EXPECT_FALSE(page.Dirty());  // the choices went with the controls
  EXPECT_EQ(E_UNEXPECTED, page->Deactivate());
  EXPECT_EQ(E_UNEXPECTED, page->Show(SW_SHOW));

  // Activated again, the page shows the object's values afresh.
  ASSERT_EQ(S_OK, page.Activate());
  EXPECT_TRUE(page.Find<QCheckBox>("cbCompatibilityIndex")->isChecked());
}

}  // namespace
}  // namespace vidorra::test
