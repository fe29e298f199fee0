// ListPages; see PropertyPages.h.
#include "PropertyPages.h"

#include <objbase.h>

namespace vidorra::devices {

HRESULT ListPages(CAUUID* pages, std::initializer_list<const GUID*> classIds) {
  return ListPages(pages, std::vector<const GUID*>(classIds));
}

HRESULT ListPages(CAUUID* pages, const std::vector<const GUID*>& classIds) {
  if (!pages) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  if (classIds.size() == 0) return S_OK;
  auto* elements = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID) * classIds.size()));
  if (!elements) return E_OUTOFMEMORY;
  ULONG count = 0;
  for (const GUID* id : classIds) elements[count++] = *id;
  pages->cElems = count;
  pages->pElems = elements;
  return S_OK;
}

}  // namespace vidorra::devices
