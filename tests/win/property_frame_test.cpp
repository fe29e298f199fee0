// The property frame: arguments, pages in tabs, pages left out, OK / Annuler / Appliquer, owner,
// position and title.
#include <comimpl.h>
#include <gtest/gtest.h>
#include <olectl.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "HwndQt.h"
#include "modal_dialog_driver.h"

namespace vidorra::test {
namespace {

// What a fake page does and what the frame did with it.
struct FakePageScript {
  std::wstring title;
  HRESULT setObjects = S_OK, activate = S_OK, pageInfo = S_OK, apply = S_OK;
  int applied = 0, deactivated = 0;
  bool destroyed = false, heldAtEnd = false;  // held: its site or its objects, when the page went
  QRect area = {};         // where it was asked to place its controls
};

// A page with one line edit: typing in it makes the page dirty.
class FakePage : public CUnknown, public IPropertyPage {
 public:
  explicit FakePage(FakePageScript& script) : script_(script) {}
  ~FakePage() override {
    script_.destroyed = true;
    script_.heldAtEnd = site_ || !objects_.empty();
  }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    const HRESULT hr = QueryInterfaceTable<IPropertyPage>(this, riid, ppv);
    return hr != E_NOINTERFACE ? hr : CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override {
    site_ = site;
    return S_OK;
  }
  STDMETHODIMP Activate(HWND parent, LPCRECT area, BOOL) override {
    script_.area = QRect(area->left, area->top, area->right - area->left, area->bottom - area->top);
    if (FAILED(script_.activate)) return script_.activate;
    IUnknown* container = site_.Get();  // the frame has none to give: a page asking gets null
    EXPECT_TRUE(site_->GetPageContainer(&container) == E_NOTIMPL && container == nullptr);
    edit_ = new QLineEdit(WidgetForHwnd(parent));
    QObject::connect(edit_, &QLineEdit::textEdited, edit_, [this] {
      dirty_ = true;
      site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
    });
    return S_OK;
  }
  STDMETHODIMP Deactivate() override {
    ++script_.deactivated;
    delete edit_.data();
    return S_OK;
  }
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override {
    if (FAILED(script_.pageInfo)) return script_.pageInfo;
    LPOLESTR title = script_.title.empty() ? nullptr : CoTaskMemStrDup(script_.title);
    *info = {sizeof(PROPPAGEINFO), title, {200, 80}, nullptr, nullptr, 0};
    return S_OK;
  }
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override {
    if (count > 0 && FAILED(script_.setObjects)) return script_.setObjects;
    objects_.assign(objects, objects + count);
    return S_OK;
  }
  STDMETHODIMP Show(UINT) override { return S_OK; }
  STDMETHODIMP Move(LPCRECT) override { return S_OK; }
  STDMETHODIMP IsPageDirty() override { return dirty_ ? S_OK : S_FALSE; }
  STDMETHODIMP Apply() override {
    ++script_.applied;
    if (FAILED(script_.apply)) return script_.apply;
    dirty_ = false;
    site_->OnStatusChange(PROPPAGESTATUS_CLEAN);
    return S_OK;
  }
  STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

 private:
  FakePageScript& script_;
  ComPtr<IPropertyPageSite> site_;
  std::vector<ComPtr<IUnknown>> objects_;
  QPointer<QLineEdit> edit_;
  bool dirty_ = false;
};

class Thing : public CUnknown {};

class PropertyFrameTest : public ::testing::Test {
 protected:
  PropertyFrameTest() {
    owner_->setGeometry(100, 120, 400, 300);
    owner_->show();
  }
  ~PropertyFrameTest() override {
    for (const CLSID& clsid : registered_) UnregisterComClass(clsid);
  }
  // Registers fake pages following the scripts; their class ids, in order.
  std::vector<CLSID> Pages(std::vector<FakePageScript> scripts) {
    std::vector<CLSID> clsids;
    for (FakePageScript& script : scripts) {
      scripts_.push_back(std::make_unique<FakePageScript>(std::move(script)));
      FakePageScript* kept = scripts_.back().get();
      CLSID clsid = CLSID_NULL;
      clsid.Data1 = 0x5E0C1A00u + static_cast<unsigned>(scripts_.size());
      RegisterComClass(clsid, "Fake page", [kept](REFIID riid, void** ppv) {
        return MakeComObject<FakePage>(*kept)->QueryInterface(riid, ppv);
      });
      registered_.push_back(clsid);
      clsids.push_back(clsid);
    }
    return clsids;
  }
  HRESULT ShowFrame(const std::vector<CLSID>& pages, LPCOLESTR caption = nullptr) {
    IUnknown* object = thing_.Get();
    return OleCreatePropertyFrame(HwndForWidget(owner_.get()), 30, 30, caption, 1, &object,
                                  static_cast<ULONG>(pages.size()), pages.data(), 0, 0, nullptr);
  }
  static QTabWidget* Tabs(QWidget& frame) { return frame.findChild<QTabWidget*>(); }

  std::unique_ptr<QWidget> owner_ = std::make_unique<QWidget>();
  ComPtr<Thing> thing_ = MakeComObject<Thing>();
  std::vector<std::unique_ptr<FakePageScript>> scripts_;
  std::vector<CLSID> registered_;
};

// Bad arguments are refused, and without a page that can be shown there is no frame. Pages that
// cannot be created (GUID_NULL), given their objects, asked for their size and title or activated
// are left out, each said on standard error, and given back their site and objects; the others show
// as tabs in order, in a modal frame owned by the window at the given place; every page lets go of
// the objects when it closes, also when the owner goes away.
TEST_F(PropertyFrameTest, ShowsTheUsablePagesInTabsOwnedByTheWindowAtItsPlace) {
  auto pages = Pages({{.title = L"Un"},
                      {.title = L"Sans objet", .setObjects = E_NOINTERFACE},
                      {.title = L"Sans controles", .activate = E_FAIL},
                      {.title = L"Deux"},
                      {.title = L"Sans taille", .pageInfo = E_FAIL}});
  pages.insert(pages.begin() + 1, GUID_NULL);
  const ULONG refsBefore = thing_->RefCountForTesting();
  ModalDialogDriver driver([&](QWidget& frame) {
    EXPECT_EQ(Tabs(frame)->count(), 2);
    EXPECT_EQ(Tabs(frame)->tabText(0), "Un");
    EXPECT_EQ(Tabs(frame)->tabText(1), "Deux");
    EXPECT_EQ(owner_.get(), frame.parentWidget());
    EXPECT_EQ(Qt::ApplicationModal, frame.windowModality());
    EXPECT_EQ(owner_->mapToGlobal(QPoint(30, 30)), frame.pos());
    EXPECT_EQ(QString("Webcam"), frame.windowTitle());
    EXPECT_FALSE(FindButton(frame, "Appliquer")->isEnabled());
    EXPECT_TRUE(ClickButton(frame, "Annuler"));
  });
  IUnknown* object = thing_.Get();
  IUnknown* nullObject = nullptr;
  const auto create = [&](ULONG count, IUnknown** objects, const CLSID* list, DWORD reserved) {
    return OleCreatePropertyFrame(HwndForWidget(owner_.get()), 0, 0, nullptr, count, objects, 1,
                                  list, 0, reserved, nullptr);
  };
  EXPECT_EQ(E_POINTER, create(1, nullptr, pages.data(), 0));
  EXPECT_EQ(E_POINTER, create(1, &object, nullptr, 0));
  EXPECT_EQ(E_INVALIDARG, create(0, &object, pages.data(), 0));
  EXPECT_EQ(E_INVALIDARG, create(1, &nullObject, pages.data(), 0));
  EXPECT_EQ(E_INVALIDARG, create(1, &object, pages.data(), 1));
  EXPECT_EQ(E_FAIL, ShowFrame({pages.begin() + 1, pages.begin() + 4}));
  EXPECT_EQ(0, driver.DialogsDriven());
  testing::internal::CaptureStderr();
  EXPECT_EQ(S_OK, ShowFrame(pages, L"Webcam"));
  EXPECT_EQ(QString::fromStdString(testing::internal::GetCapturedStderr()).count("left out"), 4);
  EXPECT_EQ(1, driver.DialogsDriven());
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_TRUE(scripts_[i]->destroyed) << i;
    EXPECT_FALSE(scripts_[i]->heldAtEnd) << i;
    EXPECT_EQ(scripts_[i]->deactivated, i == 0 || i == 3 ? 1 : 0) << i;
    EXPECT_EQ(scripts_[i]->area, i == 1 || i == 4 ? QRect() : QRect(0, 0, 200, 80)) << i;
  }
  EXPECT_EQ(refsBefore, thing_->RefCountForTesting());
  // Without a caption the title of several pages is a general one (of one page, its title: the
  // pages' tests); a page may have none.
  driver.Then([&](QWidget& frame) {
    EXPECT_EQ(QString::fromUtf16(u"Propriétés"), frame.windowTitle());
    ClickButton(frame, "Annuler");
  });
  EXPECT_EQ(S_OK, ShowFrame(Pages({{.title = L"Un"}, {}})));
  // The owner going away closes the frame and releases the pages.
  const auto pages2 = Pages({{.title = L"Un"}});
  driver.Then([&](QWidget&) { owner_.reset(); });
  EXPECT_EQ(S_OK, ShowFrame(pages2));
  EXPECT_TRUE(scripts_.back()->destroyed);
  EXPECT_FALSE(scripts_.back()->heldAtEnd);
}

// Typing makes a page dirty and enables "Appliquer", which applies the dirty pages only and
// stays; "OK" with a page that refuses stays too, on that page ("OK" and "Annuler" closing,
// applying or not: the pages' tests).
TEST_F(PropertyFrameTest, TheButtonsApplyTheDirtyPagesOnly) {
  for (const HRESULT thirdApplies : {S_OK, E_INVALIDARG}) {
    const char* button = SUCCEEDED(thirdApplies) ? "Appliquer" : "OK";
    SCOPED_TRACE(button);
    const auto pages =
        Pages({{.title = L"Un"}, {.title = L"Deux"}, {.title = L"Trois", .apply = thirdApplies}});
    const size_t first = scripts_.size() - 3;
    ModalDialogDriver driver([&](QWidget& frame) {
      QAbstractButton* apply = FindButton(frame, "Appliquer");
      for (int tab : {2, 0}) {
        Tabs(frame)->setCurrentIndex(tab);
        QTest::keyClicks(Tabs(frame)->widget(tab)->findChild<QLineEdit*>(), "x");
      }
      EXPECT_TRUE(apply->isEnabled());
      EXPECT_TRUE(ClickButton(frame, button));
      EXPECT_TRUE(frame.isVisible());
      EXPECT_EQ(apply->isEnabled(), FAILED(thirdApplies));
      EXPECT_EQ(Tabs(frame)->currentIndex(), FAILED(thirdApplies) ? 2 : 0);
      ClickButton(frame, "Annuler");
    });
    EXPECT_EQ(S_OK, ShowFrame(pages));
    EXPECT_EQ(1, driver.DialogsDriven());
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(i == 1 ? 0 : 1, scripts_[first + i]->applied) << i;
  }
}

}  // namespace
}  // namespace vidorra::test
