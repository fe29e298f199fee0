// Writing COM objects on this platform: the reference-counted base CUnknown, the interface
// lookup helpers, and the class registry behind CoCreateInstance.
//
// A class derives from CUnknown and from the interfaces it implements, puts DECLARE_IUNKNOWN
// in its body, and overrides NonDelegatingQueryInterface to answer its own IIDs before asking
// its base class:
//
//   class CThing : public CUnknown, public IPersist {
//    public:
//     DECLARE_IUNKNOWN
//     STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
//       if (riid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), ppv);
//       return CUnknown::NonDelegatingQueryInterface(riid, ppv);
//     }
//   };
//
// Objects start with a reference count of 0 and delete themselves when the count falls back
// to 0; create them with MakeComObject, which hands out the first reference. Counts are atomic.
// Aggregation is not supported.
#pragma once

#include <comptr.h>
#include <objbase.h>

#include <atomic>
#include <functional>
#include <string>
#include <utility>

class CUnknown : public IUnknown {
 public:
  CUnknown() = default;
  CUnknown(const CUnknown&) = delete;
  CUnknown& operator=(const CUnknown&) = delete;
  virtual ~CUnknown() = default;

  // Answers IID_IUnknown; derived classes answer their interfaces first.
  virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv);
  ULONG NonDelegatingAddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG NonDelegatingRelease();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return NonDelegatingAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return NonDelegatingRelease(); }

  // Current count, for tests and diagnostics only.
  ULONG RefCountForTesting() const { return refs_.load(); }

 private:
  std::atomic<ULONG> refs_{0};
};

// Implements the IUnknown methods of every interface base of a class derived from CUnknown.
#define DECLARE_IUNKNOWN                                                \
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {       \
    return NonDelegatingQueryInterface(riid, ppv);                      \
  }                                                                     \
  STDMETHODIMP_(ULONG) AddRef() override { return NonDelegatingAddRef(); } \
  STDMETHODIMP_(ULONG) Release() override { return NonDelegatingRelease(); }

// Stores p in *ppv with a new reference; E_POINTER when ppv is null.
HRESULT GetInterface(IUnknown* p, void** ppv);

// Interface-table lookup: answers riid when it is one of Interfaces (or an interface one of
// them extends); E_NOINTERFACE otherwise.
template <class Interface>
bool InterfaceChainHas(REFIID riid) {
  if (riid == Interface::kIid) return true;
  if constexpr (requires { typename Interface::BaseInterface; }) {
    return InterfaceChainHas<typename Interface::BaseInterface>(riid);
  } else {
    return false;
  }
}
template <class... Interfaces, class Object>
HRESULT QueryInterfaceTable(Object* self, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  HRESULT hr = E_NOINTERFACE;
  (void)((InterfaceChainHas<Interfaces>(riid)
              ? (hr = GetInterface(static_cast<Interfaces*>(self), ppv), true)
              : false) ||
         ...);
  if (hr == E_NOINTERFACE) *ppv = nullptr;
  return hr;
}

// Creates a COM object and hands out its first reference.
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

// ---- Class registry ------------------------------------------------------------------------

// Creates an instance of a registered class and queries it for riid.
using ClassFactoryFunction = std::function<HRESULT(REFIID riid, void** ppv)>;

// Registers (or replaces) the factory of a class; CoCreateInstance uses it.
void RegisterComClass(REFCLSID clsid, const char* name, ClassFactoryFunction factory);
void UnregisterComClass(REFCLSID clsid);
bool IsComClassRegistered(REFCLSID clsid);

// Registers a class at static-initialisation time:
//   static ComClassRegistration reg(CLSID_Foo, "Foo", &CreateFoo);
struct ComClassRegistration {
  ComClassRegistration(REFCLSID clsid, const char* name, ClassFactoryFunction factory) {
    RegisterComClass(clsid, name, std::move(factory));
  }
};

// A factory for a default-constructible CUnknown-derived class.
template <class T>
ClassFactoryFunction ComClassFactoryFor() {
  return [](REFIID riid, void** ppv) -> HRESULT {
    ComPtr<T> object = MakeComObject<T>();
    return object->QueryInterface(riid, ppv);
  };
}

// Text helpers shared by the platform: wide strings are wchar_t, files and the ANSI API are
// UTF-8 on this platform.
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
// Allocates a copy of text with CoTaskMemAlloc (for out-parameter strings).
LPWSTR CoTaskMemStrDup(const std::wstring& text);
