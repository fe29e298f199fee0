// CBasePropertyPage: life cycle of a Qt-drawn property page.
#include "BasePropertyPage.h"

#include <errors.h>

#include <QLabel>
#include <QLayout>
#include <QVBoxLayout>
#include <QWidget>

#include "HwndQt.h"

CBasePropertyPage::CBasePropertyPage(std::wstring title, SIZE size)
    : title_(std::move(title)), size_(size) {}

CBasePropertyPage::~CBasePropertyPage() { delete widget_.data(); }

HRESULT CBasePropertyPage::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBasePropertyPage::SetPageSite(IPropertyPageSite* pPageSite) {
  if (pPageSite && site_) return E_UNEXPECTED;
  site_ = pPageSite;
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::SetObjects(ULONG cObjects, IUnknown** ppUnk) {
  // The objects stay while the controls show them.
  if (active_) return E_UNEXPECTED;
  if (cObjects > 0 && !ppUnk) return E_POINTER;
  if (connected_) {
    OnDisconnect();
    connected_ = false;
  }
  if (cObjects == 0) return S_OK;
  for (ULONG i = 0; i < cObjects; ++i) {
    if (!ppUnk[i]) return E_POINTER;
  }
  const HRESULT hr = OnConnect(std::span<IUnknown* const>(ppUnk, cObjects));
  connected_ = SUCCEEDED(hr);
  return hr;
}

STDMETHODIMP CBasePropertyPage::Activate(HWND hWndParent, LPCRECT, BOOL) {
  if (!connected_ || active_) return E_UNEXPECTED;
  QWidget* parent = WidgetForHwnd(hWndParent);
  if (!parent) return E_INVALIDARG;

  auto* widget = new QWidget(parent);
  auto* layout = new QVBoxLayout(widget);
  auto* content = new QWidget(widget);
  content->setObjectName(QStringLiteral("pageContent"));
  layout->addWidget(content);
  layout->addStretch(1);
  auto* error = new QLabel(widget);
  error->setObjectName(QStringLiteral("labError"));
  error->setWordWrap(true);
  error->setStyleSheet(QStringLiteral("color: #b00020;"));
  error->hide();
  layout->addWidget(error);
  // The page fills the frame's page area and follows its size.
  if (!parent->layout()) {
    auto* fill = new QVBoxLayout(parent);
    fill->setContentsMargins(0, 0, 0, 0);
  }
  parent->layout()->addWidget(widget);

  widget_ = widget;
  error_ = error;
  active_ = true;
  dirty_ = false;
  const HRESULT hr = OnActivate(*content);
  if (FAILED(hr)) {
    OnDeactivate();
    active_ = false;
    delete widget;
  }
  return hr;
}

STDMETHODIMP CBasePropertyPage::Deactivate() {
  if (!active_) return E_UNEXPECTED;
  OnDeactivate();
  active_ = false;
  // Choices not applied go with the controls that held them.
  dirty_ = false;
  delete widget_.data();
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::GetPageInfo(PROPPAGEINFO* pPageInfo) {
  if (!pPageInfo) return E_POINTER;
  LPOLESTR title = CoTaskMemStrDup(title_);
  if (!title) return E_OUTOFMEMORY;
  *pPageInfo = {};
  pPageInfo->cb = sizeof(PROPPAGEINFO);
  pPageInfo->pszTitle = title;
  pPageInfo->size = size_;
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::Show(UINT nCmdShow) {
  if (!IsActive()) return E_UNEXPECTED;
  switch (nCmdShow) {
    case SW_HIDE:
      widget_->hide();
      return S_OK;
    case SW_SHOW:
    case SW_SHOWNORMAL:
      widget_->show();
      return S_OK;
    default:
      return E_INVALIDARG;
  }
}

STDMETHODIMP CBasePropertyPage::Move(LPCRECT pRect) {
  if (!pRect) return E_POINTER;
  if (!IsActive()) return E_UNEXPECTED;
  // Within the page area's layout the page already follows the area; elsewhere it goes where
  // it is told.
  QWidget* parent = widget_->parentWidget();
  if (!parent || !parent->layout() || parent->layout()->indexOf(widget_) < 0) {
    widget_->setGeometry(pRect->left, pRect->top, pRect->right - pRect->left,
                         pRect->bottom - pRect->top);
  }
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::IsPageDirty() { return dirty_ ? S_OK : S_FALSE; }

STDMETHODIMP CBasePropertyPage::Apply() {
  if (!connected_) return E_UNEXPECTED;
  if (!dirty_) return S_OK;
  if (!IsActive()) return E_UNEXPECTED;
  const HRESULT hr = OnApply();
  if (SUCCEEDED(hr)) {
    ClearError();
    SetDirty(false);
  }
  return hr;
}

STDMETHODIMP CBasePropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }

// A page has no keyboard shortcut of its own: the frame's keys stay with the frame.
STDMETHODIMP CBasePropertyPage::TranslateAccelerator(MSG*) { return S_FALSE; }

void CBasePropertyPage::SetDirty(bool dirty) {
  if (dirty == dirty_) return;
  dirty_ = dirty;
  if (site_) site_->OnStatusChange(dirty ? PROPPAGESTATUS_DIRTY : PROPPAGESTATUS_CLEAN);
}

void CBasePropertyPage::ShowError(const QString& what, HRESULT hr) {
  if (!error_) return;
  error_->setText(PropertyPageErrorText(what, hr));
  error_->show();
}

void CBasePropertyPage::ClearError() {
  if (!error_) return;
  error_->clear();
  error_->hide();
}

QString PropertyPageErrorText(const QString& what, HRESULT hr) {
  char text[MAX_ERROR_TEXT_LEN] = {};
  const QString code =
      QStringLiteral("0x") +
      QStringLiteral("%1").arg(static_cast<unsigned>(hr), 8, 16, QLatin1Char('0')).toUpper();
  if (AMGetErrorTextA(hr, text, MAX_ERROR_TEXT_LEN) == 0) {
    return QStringLiteral("%1 (erreur %2)").arg(what, code);
  }
  return QStringLiteral("%1 : %2 (%3)").arg(what, QString::fromUtf8(text), code);
}
