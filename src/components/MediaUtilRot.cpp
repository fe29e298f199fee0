// Registration of a graph in the running object table, for outside graph viewers.
#include <cinttypes>

#include "MediaUtil.h"

namespace {
constexpr wchar_t kItemDelimiter[] = L"!";
}  // namespace

QString GraphRotName(const void* graph) {
  // The address in full: cut to eight digits, two graphs could share a name on this 64-bit
  // platform and the second registration would hide the first.
  return QString::asprintf("FilterGraph %016" PRIXPTR " pid %" PRIX32,
                           reinterpret_cast<uintptr_t>(graph),
                           static_cast<uint32_t>(GetCurrentProcessId()));
}

HRESULT RegisterGraphInRot(IUnknown* graph, DWORD* cookie) {
  ComPtr<IRunningObjectTable> table;
  HRESULT hr = GetRunningObjectTable(0, table.GetAddressOf());
  if (FAILED(hr)) return hr;
  const std::wstring name = GraphRotName(graph).toStdWString();
  ComPtr<IMoniker> moniker;
  hr = CreateItemMoniker(kItemDelimiter, name.c_str(), moniker.GetAddressOf());
  if (FAILED(hr)) return hr;
  return table->Register(0, graph, moniker.Get(), cookie);
}

void RevokeGraphFromRot(DWORD cookie) {
  ComPtr<IRunningObjectTable> table;
  if (SUCCEEDED(GetRunningObjectTable(0, table.GetAddressOf())) && table) {
    (void)table->Revoke(cookie);
  }
}
