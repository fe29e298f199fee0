// ComPtr<T>: holds one counted reference to a COM interface. Raw interface pointers never own.
#pragma once

#include <unknwn.h>

#include <utility>

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference to p.
  ComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& o) noexcept : ComPtr(static_cast<T*>(o.Get())) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& o) noexcept {
    ComPtr(o).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).Swap(*this);
    return *this;
  }
  ComPtr& operator=(T* p) noexcept {
    ComPtr(p).Swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // For out parameters: the pointer must be empty (use ReleaseAndGetAddressOf otherwise).
  T** GetAddressOf() noexcept { return &p_; }
  T* const* GetAddressOf() const noexcept { return &p_; }
  T** ReleaseAndGetAddressOf() noexcept {
    Reset();
    return &p_;
  }
  void** ReleaseAndGetVoidAddressOf() noexcept {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }

  void Reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Adopts a reference the caller already holds.
  void Attach(T* p) noexcept {
    Reset();
    p_ = p;
  }
  // Gives up the reference without releasing it.
  T* Detach() noexcept { return std::exchange(p_, nullptr); }
  void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

  // QueryInterface for U into `out`.
  template <class U>
  HRESULT As(ComPtr<U>* out) const noexcept {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(U::kIid, out->ReleaseAndGetVoidAddressOf());
  }
  template <class U>
  ComPtr<U> As() const noexcept {
    ComPtr<U> out;
    As(&out);
    return out;
  }
  // Hands out a new reference.
  HRESULT CopyTo(T** out) const noexcept {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }
  friend bool operator==(const ComPtr& a, const T* b) { return a.p_ == b; }

 private:
  T* p_ = nullptr;
};

// QueryInterface on any interface pointer into a ComPtr.
template <class U, class T>
ComPtr<U> QueryAs(T* p) {
  ComPtr<U> out;
  if (p) p->QueryInterface(U::kIid, out.ReleaseAndGetVoidAddressOf());
  return out;
}

// Two interface pointers denote the same object when their IUnknowns are equal.
bool IsSameObject(IUnknown* a, IUnknown* b);

#define IID_PPV_ARGS(pp) \
  std::remove_pointer_t<std::remove_pointer_t<decltype(pp)>>::kIid, reinterpret_cast<void**>(pp)
