// The property frame: pages in tabs, pages left out, OK / Annuler / Appliquer, owner and
// position, arguments; and the modal dialog driver the tests use to act on it.
#include <comimpl.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <olectl.h>

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <memory>
#include <vector>

#include "HwndQt.h"
#include "modal_dialog_driver.h"

namespace vidorra::test {
namespace {

// {5E0C1A00-7B2D-4C11-9A41-2F6D0E8B3C00} + n: the fake pages' class ids.
GUID FakePageClsid(int n) {
  return {0x5E0C1A00u + static_cast<unsigned>(n),
          0x7B2D,
          0x4C11,
          {0x9A, 0x41, 0x2F, 0x6D, 0x0E, 0x8B, 0x3C, 0x00}};
}

// What a fake page does and what the frame did with it.
struct FakePageScript {
  std::wstring title;
  HRESULT setObjects = S_OK;
  HRESULT activate = S_OK;
  HRESULT apply = S_OK;
  int applied = 0;
  int deactivated = 0;
  ULONG objectsGiven = 0;
  bool destroyed = false;
  bool heldSiteAtEnd = false;
  bool heldObjectsAtEnd = false;
};

// A page with one line edit: typing in it makes the page dirty.
class FakePage : public CUnknown, public IPropertyPage {
 public:
  explicit FakePage(FakePageScript& script) : script_(script) {}
  ~FakePage() override {
    script_.destroyed = true;
    script_.heldSiteAtEnd = site_ != nullptr;
    script_.heldObjectsAtEnd = !objects_.empty();
  }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override {
    site_ = site;
    return S_OK;
  }
  STDMETHODIMP Activate(HWND parent, LPCRECT, BOOL) override {
    if (FAILED(script_.activate)) return script_.activate;
    QWidget* area = WidgetForHwnd(parent);
    if (!area) return E_INVALIDARG;
    edit_ = new QLineEdit(area);
    edit_->setObjectName(QStringLiteral("edit"));
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
    *info = {sizeof(PROPPAGEINFO), CoTaskMemStrDup(script_.title), {200, 80}, nullptr, nullptr, 0};
    return S_OK;
  }
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override {
    if (count == 0) {
      objects_.clear();
      return S_OK;
    }
    if (FAILED(script_.setObjects)) return script_.setObjects;
    objects_.assign(objects, objects + count);
    script_.objectsGiven = count;
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
  void SetUp() override {
    owner_ = std::make_unique<QWidget>();
    owner_->setGeometry(100, 120, 400, 300);
    owner_->show();
    thing_ = MakeComObject<Thing>();
  }
  void TearDown() override {
    for (const GUID& clsid : registered_) UnregisterComClass(clsid);
  }

  // Registers fake pages with these titles (and failures); their class ids are returned in order.
  std::vector<CLSID> Pages(std::vector<FakePageScript> scripts) {
    std::vector<CLSID> clsids;
    for (FakePageScript& script : scripts) {
      scripts_.push_back(std::make_unique<FakePageScript>(std::move(script)));
      FakePageScript* kept = scripts_.back().get();
      const CLSID clsid = FakePageClsid(static_cast<int>(scripts_.size()));
      RegisterComClass(clsid, "Fake page", [kept](REFIID riid, void** ppv) {
        return MakeComObject<FakePage>(*kept)->QueryInterface(riid, ppv);
      });
      registered_.push_back(clsid);
      clsids.push_back(clsid);
    }
    return clsids;
  }
  FakePageScript& Script(size_t i) { return *scripts_[i]; }

  HRESULT ShowFrame(const std::vector<CLSID>& pages, LPCOLESTR caption = nullptr) {
    IUnknown* object = thing_.Get();
    return OleCreatePropertyFrame(HwndForWidget(owner_.get()), 30, 30, caption, 1, &object,
                                  static_cast<ULONG>(pages.size()), pages.data(), 0, 0, nullptr);
  }

  static QTabWidget* Tabs(QWidget& frame) { return frame.findChild<QTabWidget*>(); }
  static QStringList TabTitles(QWidget& frame) {
    QStringList titles;
    for (int i = 0; i < Tabs(frame)->count(); ++i) titles << Tabs(frame)->tabText(i);
    return titles;
  }
  static void TypeOnPage(QWidget& frame, int tab) {
    Tabs(frame)->setCurrentIndex(tab);
    QTest::keyClicks(Tabs(frame)->widget(tab)->findChild<QLineEdit*>("edit"), "x");
  }

  std::unique_ptr<QWidget> owner_;
  ComPtr<Thing> thing_;
  std::vector<std::unique_ptr<FakePageScript>> scripts_;
  std::vector<GUID> registered_;
};

TEST_F(PropertyFrameTest, ShowsOneTabPerPageInOrderOwnedByTheWindowAtItsPosition) {
  const auto pages = Pages({{.title = L"Un"}, {.title = L"Deux"}, {.title = L"Trois"}});
  const ULONG refsBefore = thing_->RefCountForTesting();
  ModalDialogDriver driver([&](QWidget& frame) {
    EXPECT_EQ(QStringList({"Un", "Deux", "Trois"}), TabTitles(frame));
    EXPECT_EQ(owner_.get(), frame.parentWidget());
    EXPECT_EQ(Qt::ApplicationModal, frame.windowModality());
    EXPECT_EQ(owner_->mapToGlobal(QPoint(30, 30)), frame.pos());
    EXPECT_EQ(QString("Webcam"), frame.windowTitle());
    EXPECT_FALSE(FindButton(frame, "Appliquer")->isEnabled());
    EXPECT_TRUE(ClickButton(frame, "Annuler"));
  });
  EXPECT_EQ(S_OK, ShowFrame(pages, L"Webcam"));
  EXPECT_EQ(1, driver.DialogsDriven());
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(1u, Script(i).objectsGiven);
    EXPECT_EQ(1, Script(i).deactivated);
    EXPECT_TRUE(Script(i).destroyed);
    EXPECT_FALSE(Script(i).heldSiteAtEnd);
    EXPECT_FALSE(Script(i).heldObjectsAtEnd);
  }
  EXPECT_EQ(refsBefore, thing_->RefCountForTesting());
}

TEST_F(PropertyFrameTest, WithoutCaptionTheTitleComesFromThePages) {
  struct Case {
    std::vector<FakePageScript> pages;
    QString title;
  };
  const Case cases[] = {
      {{{.title = L"Format vidéo"}}, QString::fromUtf16(u"Format vidéo")},
      {{{.title = L"Un"}, {.title = L"Deux"}}, QString::fromUtf16(u"Propriétés")}};
  for (const Case& c : cases) {
    ModalDialogDriver driver([&](QWidget& frame) {
      EXPECT_EQ(c.title, frame.windowTitle());
      ClickButton(frame, "Annuler");
    });
    EXPECT_EQ(S_OK, ShowFrame(Pages(c.pages)));
  }
}

TEST_F(PropertyFrameTest, LeavesOutPagesThatCannotBeCreatedConnectedOrActivated) {
  auto pages = Pages({{.title = L"Bonne"},
                      {.title = L"Sans objet", .setObjects = E_NOINTERFACE},
                      {.title = L"Sans controles", .activate = E_FAIL},
                      {.title = L"Autre"}});
  pages.insert(pages.begin() + 1, FakePageClsid(999));  // not registered
  ModalDialogDriver driver([&](QWidget& frame) {
    EXPECT_EQ(QStringList({"Bonne", "Autre"}), TabTitles(frame));
    ClickButton(frame, "Annuler");
  });
  EXPECT_EQ(S_OK, ShowFrame(pages));
  EXPECT_EQ(1, driver.DialogsDriven());
  // The pages left out were given back their site and objects.
  for (size_t i : {1, 2}) {
    EXPECT_TRUE(Script(i).destroyed);
    EXPECT_FALSE(Script(i).heldSiteAtEnd);
    EXPECT_FALSE(Script(i).heldObjectsAtEnd);
  }
}

TEST_F(PropertyFrameTest, RefusesBadArgumentsAndFailsWithoutAFrameWhenNoPageCanBeShown) {
  const CLSID page = Pages({{.title = L"A"}}).front();
  IUnknown* object = thing_.Get();
  IUnknown* nullObject = nullptr;
  int reserved = 0;
  struct Case {
    ULONG objects;
    IUnknown** objectList;
    ULONG pages;
    const CLSID* pageList;
    DWORD reservedWord;
    void* reservedPointer;
    HRESULT expected;
  };
  const Case cases[] = {
      {1, nullptr, 1, &page, 0, nullptr, E_POINTER},
      {1, &object, 1, nullptr, 0, nullptr, E_POINTER},
      {0, &object, 1, &page, 0, nullptr, E_INVALIDARG},
      {1, &nullObject, 1, &page, 0, nullptr, E_INVALIDARG},
      {1, &object, 1, &page, 1, nullptr, E_INVALIDARG},
      {1, &object, 1, &page, 0, &reserved, E_INVALIDARG},
  };
  ModalDialogDriver noDialog;
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, OleCreatePropertyFrame(HwndForWidget(owner_.get()), 0, 0, nullptr,
                                                 c.objects, c.objectList, c.pages, c.pageList, 0,
                                                 c.reservedWord, c.reservedPointer));
  }
  EXPECT_EQ(E_FAIL, ShowFrame({}));
  EXPECT_EQ(E_FAIL, ShowFrame(Pages({{.title = L"A", .activate = E_FAIL},
                                     {.title = L"B", .setObjects = E_NOINTERFACE}})));
  EXPECT_EQ(E_FAIL, ShowFrame({FakePageClsid(998)}));
  EXPECT_EQ(0, noDialog.DialogsDriven());
}

TEST_F(PropertyFrameTest, AppliquerIsEnabledWhileAPageIsDirtyAndAppliesItWithoutClosing) {
  const auto pages = Pages({{.title = L"Un"}, {.title = L"Deux"}});
  ModalDialogDriver driver([&](QWidget& frame) {
    QAbstractButton* apply = FindButton(frame, "Appliquer");
    EXPECT_FALSE(apply->isEnabled());
    TypeOnPage(frame, 1);
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_TRUE(Click(apply));
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(0, Script(0).applied);
    EXPECT_EQ(1, Script(1).applied);
    EXPECT_FALSE(apply->isEnabled());
    ClickButton(frame, "Annuler");
  });
  EXPECT_EQ(S_OK, ShowFrame(pages));
  EXPECT_EQ(1, driver.DialogsDriven());
}

TEST_F(PropertyFrameTest, OkAppliesTheDirtyPagesAndClosesAnnulerAppliesNothing) {
  for (const char* button : {"OK", "Annuler"}) {
    const auto pages = Pages({{.title = L"Un"}, {.title = L"Deux"}, {.title = L"Trois"}});
    const size_t first = scripts_.size() - 3;
    ModalDialogDriver driver([&](QWidget& frame) {
      TypeOnPage(frame, 0);
      TypeOnPage(frame, 2);
      EXPECT_TRUE(ClickButton(frame, button));
    });
    EXPECT_EQ(S_OK, ShowFrame(pages)) << button;
    const int expected = std::string(button) == "OK" ? 1 : 0;
    EXPECT_EQ(expected, Script(first).applied) << button;
    EXPECT_EQ(0, Script(first + 1).applied) << button;
    EXPECT_EQ(expected, Script(first + 2).applied) << button;
  }
}

TEST_F(PropertyFrameTest, OkStaysOpenOnAPageThatRefusedItsValues) {
  const auto pages = Pages({{.title = L"Un"}, {.title = L"Refuse", .apply = E_INVALIDARG}});
  ModalDialogDriver driver([&](QWidget& frame) {
    TypeOnPage(frame, 0);
    TypeOnPage(frame, 1);
    Tabs(frame)->setCurrentIndex(0);
    ClickButton(frame, "OK");
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(1, Tabs(frame)->currentIndex());
    EXPECT_EQ(1, Script(0).applied);
    EXPECT_TRUE(FindButton(frame, "Appliquer")->isEnabled());
    ClickButton(frame, "Annuler");
  });
  EXPECT_EQ(S_OK, ShowFrame(pages));
  EXPECT_EQ(1, driver.DialogsDriven());
}

TEST_F(PropertyFrameTest, ReturnsAndReleasesThePagesWhenTheOwnerGoesAway) {
  const auto pages = Pages({{.title = L"Un"}});
  ModalDialogDriver driver([&](QWidget&) { owner_.reset(); });
  EXPECT_EQ(S_OK, ShowFrame(pages));
  EXPECT_TRUE(Script(0).destroyed);
  EXPECT_FALSE(Script(0).heldSiteAtEnd);
}

TEST(ModalDialogDriver, ClosesADialogNoActionWasQueuedForAndFails) {
  QDialog dialog;
  dialog.setWindowTitle("Surprise");
  EXPECT_NONFATAL_FAILURE(
      {
        ModalDialogDriver driver;
        dialog.exec();
      },
      "unexpected modal dialog \"Surprise\"");
}

TEST(ModalDialogDriver, DrivesADialogOpenedFromAnotherOne) {
  QDialog outer;
  auto* open = new QPushButton("Ouvrir", &outer);
  bool innerDone = false;
  QObject::connect(open, &QPushButton::clicked, &outer, [&] {
    QDialog inner(&outer);
    auto* ok = new QPushButton("OK", &inner);
    QObject::connect(ok, &QPushButton::clicked, &inner, &QDialog::accept);
    innerDone = inner.exec() == QDialog::Accepted;
  });
  ModalDialogDriver driver([](QWidget& dialog) {
    ClickButton(dialog, "Ouvrir");
    static_cast<QDialog&>(dialog).accept();
  });
  driver.Then([](QWidget& dialog) { ClickButton(dialog, "OK"); });
  EXPECT_EQ(QDialog::Accepted, outer.exec());
  EXPECT_TRUE(innerDone);
  EXPECT_EQ(2, driver.DialogsDriven());
}

}  // namespace
}  // namespace vidorra::test
