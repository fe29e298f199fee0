// The property pages a device object lists through ISpecifyPropertyPages::GetPages.
#pragma once

#include <ocidl.h>
#include <strmif.h>
#include <vidorra_pages.h>

#include <initializer_list>
#include <vector>

namespace vidorra::devices {

// Fills *pages with the class ids, in order (pElems from CoTaskMemAlloc, the caller frees it).
HRESULT ListPages(CAUUID* pages, std::initializer_list<const GUID*> classIds);
HRESULT ListPages(CAUUID* pages, const std::vector<const GUID*>& classIds);

}  // namespace vidorra::devices
