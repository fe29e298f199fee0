// Hosting one property page outside a frame, the way the frame does: created by its class id,
// given a site that keeps the last status change and the objects, activated into a widget of
// the test's; the test then acts on the page's controls and calls IsPageDirty and Apply itself.
#pragma once

#include <comimpl.h>
#include <gtest/gtest.h>
#include <ocidl.h>

#include <QComboBox>
#include <QLabel>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "HwndQt.h"

namespace vidorra::test {

class RecordingPageSite : public CUnknown, public IPropertyPageSite {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IPropertyPageSite) {
      return GetInterface(static_cast<IPropertyPageSite*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP OnStatusChange(DWORD flags) override {
    lastStatus = flags;
    return S_OK;
  }
  STDMETHODIMP GetLocaleID(LCID* id) override {
    *id = 0;
    return S_OK;
  }
  STDMETHODIMP GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

  DWORD lastStatus = 0;
};

// The IUnknown of a test object that derives from CUnknown and interfaces.
template <class Object>
ComPtr<IUnknown> UnknownOf(Object* object) {
  ComPtr<IUnknown> unknown;
  object->QueryInterface(IID_IUnknown, unknown.ReleaseAndGetVoidAddressOf());
  return unknown;
}

// The texts of a drop-down list's items.
inline QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

// True when a visible label under root shows text (or a text that contains it).
inline bool ShowsText(const QWidget& root, const QString& text) {
  for (const QLabel* label : root.findChildren<QLabel*>()) {
    if (label->isVisible() && label->text().contains(text)) return true;
  }
  return false;
}

class PageHost {
 public:
  // Creates the page and gives it the object; Activate() shows it.
  template <class Object>
  PageHost(REFCLSID page, Object* object) : PageHost(page, UnknownOf(object).Get()) {}
  PageHost(REFCLSID page, IUnknown* object) : site_(MakeComObject<RecordingPageSite>()) {
    area_->resize(480, 360);
    area_->show();
    if (FAILED(CoCreateInstance(page, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                page_.ReleaseAndGetVoidAddressOf()))) {
      return;
    }
    page_->SetPageSite(site_.Get());
    connected = page_->SetObjects(1, &object);
  }
  ~PageHost() {
    if (!page_) return;
    if (active_) page_->Deactivate();
    page_->SetObjects(0, nullptr);
    page_->SetPageSite(nullptr);
  }

  HRESULT Activate() {
    const RECT rect{0, 0, 480, 360};
    const HRESULT hr = page_->Activate(HwndForWidget(area_.get()), &rect, TRUE);
    active_ = SUCCEEDED(hr);
    if (active_) page_->Show(SW_SHOW);
    return hr;
  }
  HRESULT Deactivate() {
    active_ = false;
    return page_->Deactivate();
  }
  IPropertyPage* operator->() const { return page_.Get(); }
  bool Dirty() const { return page_->IsPageDirty() == S_OK; }
  HRESULT Apply() { return page_->Apply(); }
  template <class Widget>
  Widget* Find(const char* name) const {
    return area_->findChild<Widget*>(QString::fromLatin1(name));
  }
  // The page's error line, empty while hidden.
  QString Error() const {
    const QLabel* error = Find<QLabel>("labError");
    return error && error->isVisible() ? error->text() : QString();
  }
  QWidget& Area() const { return *area_; }
  RecordingPageSite& Site() const { return *site_; }

  HRESULT connected = E_FAIL;

 private:
  std::unique_ptr<QWidget> area_ = std::make_unique<QWidget>();
  ComPtr<RecordingPageSite> site_;
  ComPtr<IPropertyPage> page_;
  bool active_ = false;
};

}  // namespace vidorra::test
