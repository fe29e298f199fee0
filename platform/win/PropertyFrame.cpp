// OleCreatePropertyFrame and the property frame.
#include "PropertyFrame.h"

#include <comimpl.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "HwndQt.h"

namespace vidorra::win {

namespace {

// The frame's title when the caller gives no caption and several pages are shown.
const char16_t kDefaultTitle[] = u"Propriétés";

QString FromWide(const std::wstring& text) { return QString::fromStdWString(text); }

void ReportLeftOut(REFCLSID clsid, const char* step, HRESULT hr) {
  OLECHAR text[40] = {};
  StringFromGUID2(clsid, text, 40);
  std::fprintf(stderr, "property frame: page %s left out, %s failed (0x%08X)\n",
               WideToUtf8(text).c_str(), step, static_cast<unsigned>(hr));
}

}  // namespace

// The site the frame gives every page: forwards status changes to the frame while it lives.
class PropertyFrameSite : public CUnknown, public IPropertyPageSite {
 public:
  PropertyFrameSite(LCID lcid, std::function<void()> statusChanged)
      : lcid_(lcid), statusChanged_(std::move(statusChanged)) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IPropertyPageSite) {
      return GetInterface(static_cast<IPropertyPageSite*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }

  // A page may keep its site after the frame is gone; from then on its calls reach nobody.
  void Detach() { statusChanged_ = nullptr; }

  STDMETHODIMP OnStatusChange(DWORD) override {
    if (statusChanged_) statusChanged_();
    return S_OK;
  }
  STDMETHODIMP GetLocaleID(LCID* pLocaleID) override {
    if (!pLocaleID) return E_POINTER;
    *pLocaleID = lcid_;
    return S_OK;
  }
  STDMETHODIMP GetPageContainer(IUnknown** ppUnk) override {
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

 private:
  const LCID lcid_;
  std::function<void()> statusChanged_;
};

PropertyFrame::PropertyFrame(QWidget* owner, const std::wstring& caption,
                             std::vector<ComPtr<IUnknown>> objects, LCID lcid)
    : owner_(owner), caption_(caption), objects_(std::move(objects)) {
  site_ = MakeComObject<PropertyFrameSite>(lcid, [this] { UpdateApplyButton(); });
  dialog_ = new QDialog(owner);
  dialog_->setObjectName(QStringLiteral("PropertyFrame"));
  dialog_->setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(dialog_);
  tabs_ = new QTabWidget(dialog_);
  layout->addWidget(tabs_);
  auto* buttons = new QDialogButtonBox(dialog_);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  QPushButton* cancel = buttons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
  applyButton_ = buttons->addButton(QStringLiteral("Appliquer"), QDialogButtonBox::ApplyRole);
  ok->setDefault(true);
  layout->addWidget(buttons);
  QObject::connect(ok, &QPushButton::clicked, dialog_, [this] {
    if (ApplyDirtyPages()) dialog_->accept();
  });
  QObject::connect(cancel, &QPushButton::clicked, dialog_, &QDialog::reject);
  QObject::connect(applyButton_, &QPushButton::clicked, dialog_, [this] { ApplyDirtyPages(); });
}

PropertyFrame::~PropertyFrame() {
  // The pages go first, while their tabs still exist (unless the owner took the dialog with
  // it, which the pages' widgets survive as null pointers).
  for (Page& page : pages_) Release(page.page.Get(), true);
  pages_.clear();
  site_->Detach();
  delete dialog_.data();
}

void PropertyFrame::Release(IPropertyPage* page, bool active) {
  if (active) page->Deactivate();
  page->SetObjects(0, nullptr);
  page->SetPageSite(nullptr);
}

bool PropertyFrame::AddPage(REFCLSID clsid) {
  ComPtr<IPropertyPage> page;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                page.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr) || !page) {
    ReportLeftOut(clsid, "CoCreateInstance", FAILED(hr) ? hr : E_POINTER);
    return false;
  }
  hr = page->SetPageSite(site_.Get());
  if (FAILED(hr)) {
    ReportLeftOut(clsid, "SetPageSite", hr);
    return false;
  }
  std::vector<IUnknown*> objects;
  for (const auto& object : objects_) objects.push_back(object.Get());
  hr = page->SetObjects(static_cast<ULONG>(objects.size()), objects.data());
  if (FAILED(hr)) {
    ReportLeftOut(clsid, "SetObjects", hr);
    page->SetPageSite(nullptr);
    return false;
  }
  PROPPAGEINFO info{};
  info.cb = sizeof(info);
  hr = page->GetPageInfo(&info);
  std::wstring title = SUCCEEDED(hr) && info.pszTitle ? info.pszTitle : L"";
  for (LPOLESTR text : {info.pszTitle, info.pszDocString, info.pszHelpFile}) CoTaskMemFree(text);
  if (FAILED(hr)) {
    ReportLeftOut(clsid, "GetPageInfo", hr);
    Release(page.Get(), false);
    return false;
  }

  auto* tab = new QWidget;
  tab->setMinimumSize(std::max<LONG>(info.size.cx, 0), std::max<LONG>(info.size.cy, 0));
  const int index = tabs_->addTab(tab, FromWide(title));
  const RECT area{0, 0, info.size.cx, info.size.cy};
  hr = page->Activate(HwndForWidget(tab), &area, TRUE);
  if (FAILED(hr)) {
    ReportLeftOut(clsid, "Activate", hr);
    tabs_->removeTab(index);
    delete tab;
    Release(page.Get(), false);
    return false;
  }
  page->Show(SW_SHOW);
  pages_.push_back({page, tab, title});
  return true;
}

bool PropertyFrame::ApplyDirtyPages() {
  QWidget* firstRefused = nullptr;
  for (const Page& page : pages_) {
    if (page.page->IsPageDirty() != S_OK) continue;
    if (FAILED(page.page->Apply()) && !firstRefused) firstRefused = page.tab;
  }
  if (firstRefused && dialog_) tabs_->setCurrentWidget(firstRefused);
  UpdateApplyButton();
  return firstRefused == nullptr;
}

void PropertyFrame::UpdateApplyButton() {
  if (!dialog_) return;
  bool dirty = false;
  for (const Page& page : pages_) dirty = dirty || page.page->IsPageDirty() == S_OK;
  applyButton_->setEnabled(dirty);
}

void PropertyFrame::Run(int x, int y) {
  if (!caption_.empty()) {
    dialog_->setWindowTitle(FromWide(caption_));
  } else if (pages_.size() == 1) {
    dialog_->setWindowTitle(FromWide(pages_.front().title));
  } else {
    dialog_->setWindowTitle(QString::fromUtf16(kDefaultTitle));
  }
  UpdateApplyButton();
  dialog_->adjustSize();
  const QPoint at(x, y);
  dialog_->move(owner_ ? owner_->mapToGlobal(at) : at);
  dialog_->exec();
}

}  // namespace vidorra::win

HRESULT OleCreatePropertyFrame(HWND hwndOwner, UINT x, UINT y, LPCOLESTR lpszCaption,
                               ULONG cObjects, IUnknown** ppUnk, ULONG cPages,
                               const CLSID* pPageClsID, LCID lcid, DWORD dwReserved,
                               LPVOID pvReserved) {
  if ((cObjects > 0 && !ppUnk) || (cPages > 0 && !pPageClsID)) return E_POINTER;
  if (cObjects == 0 || dwReserved != 0 || pvReserved != nullptr) return E_INVALIDARG;
  for (ULONG i = 0; i < cObjects; ++i) {
    if (!ppUnk[i]) return E_INVALIDARG;
  }
  // The pages' widgets and the modal loop belong to the user-interface thread.
  if (!qApp || QThread::currentThread() != qApp->thread()) return E_UNEXPECTED;
  if (cPages == 0) return E_FAIL;

  std::vector<ComPtr<IUnknown>> objects(ppUnk, ppUnk + cObjects);
  // A handle that stands for no widget (the desktop, a hidden window) gives a frame of its own.
  vidorra::win::PropertyFrame frame(WidgetForHwnd(hwndOwner), lpszCaption ? lpszCaption : L"",
                                    std::move(objects), lcid);
  for (ULONG i = 0; i < cPages; ++i) frame.AddPage(pPageClsID[i]);
  if (frame.PageCount() == 0) return E_FAIL;
  frame.Run(static_cast<int>(x), static_cast<int>(y));
  return S_OK;
}
