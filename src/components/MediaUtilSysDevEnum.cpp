// TSysDevEnum: categories and devices of the system device enumerator.
#include <oleauto.h>

#include <QTextBoundaryFinder>
#include <algorithm>

#include "MediaUtil.h"

namespace {

[[noreturn]] void RaiseIndexError(int index) {
  throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

// Owns a VARIANT for one property-bag read.
class Variant {
 public:
  Variant() { VariantInit(&value); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value); }
  VARIANT value;
};

bool ReadText(IPropertyBag* bag, const wchar_t* name, std::wstring* text) {
  Variant v;
  v.value.vt = VT_BSTR;
  if (bag->Read(name, &v.value, nullptr) != S_OK || v.value.vt != VT_BSTR) return false;
  *text = v.value.bstrVal != nullptr ? std::wstring(v.value.bstrVal) : std::wstring();
  return true;
}

ComPtr<IEnumMoniker> CreateEnumerator(const GUID& category) {
  ComPtr<ICreateDevEnum> devEnum;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr,
                              CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                              IID_PPV_ARGS(devEnum.GetAddressOf()))) ||
      !devEnum) {
    return nullptr;
  }
  ComPtr<IEnumMoniker> monikers;
  // S_FALSE: an empty or unknown category.
  if (devEnum->CreateClassEnumerator(category, monikers.GetAddressOf(), 0) != S_OK) return nullptr;
  return monikers;
}

TDeviceEntry ReadEntry(IMoniker* moniker) {
  TDeviceEntry entry;
  ComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                    bag.ReleaseAndGetVoidAddressOf())) ||
      !bag) {
    return entry;
  }
  std::wstring text;
  if (ReadText(bag.Get(), L"FriendlyName", &text)) {
    entry.FriendlyName = CutToCharacters(QString::fromStdWString(text), kFriendlyNameMaxLength);
  }
  if (ReadText(bag.Get(), L"CLSID", &text)) {
    if (FAILED(CLSIDFromString(text.c_str(), &entry.CLSID))) {
      throw EConvertError(QStringLiteral("'%1' is not a valid class identifier")
                              .arg(QString::fromStdWString(text)));
    }
  }
  return entry;
}

}  // namespace

QString CutToCharacters(const QString& text, int maxCharacters) {
  if (maxCharacters <= 0) return QString();
  // The position (in UTF-16 units) after `maxCharacters` code points.
  qsizetype cut = 0;
  for (int count = 0; cut < text.size() && count < maxCharacters; ++count) {
    const bool pair = text.at(cut).isHighSurrogate() && cut + 1 < text.size() &&
                      text.at(cut + 1).isLowSurrogate();
    cut += pair ? 2 : 1;
  }
  if (cut >= text.size()) return text;
  // Back to the start of the user-perceived character the cut would split.
  QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
  graphemes.setPosition(cut);
  if (!graphemes.isAtBoundary()) cut = graphemes.toPreviousBoundary();
  return text.left(std::max<qsizetype>(cut, 0));
}

TSysDevEnum::TSysDevEnum() { Enumerate(categories_, CLSID_ActiveMovieCategories); }

TSysDevEnum::TSysDevEnum(const GUID& category) : TSysDevEnum() { SelectCategory(category); }

void TSysDevEnum::Enumerate(std::vector<TDeviceEntry>& list, const GUID& category) {
  list.clear();
  ComPtr<IEnumMoniker> monikers = CreateEnumerator(category);
  if (!monikers) return;
  for (;;) {
    ComPtr<IMoniker> moniker;
    ULONG fetched = 0;
    if (monikers->Next(1, moniker.GetAddressOf(), &fetched) != S_OK || !moniker) break;
    list.push_back(ReadEntry(moniker.Get()));
  }
}

void TSysDevEnum::SelectCategory(const GUID& category) {
  category_ = category;
  Enumerate(devices_, category);
}

void TSysDevEnum::SelectCategoryAt(int index) { SelectCategory(CategoryAt(index).CLSID); }

TDeviceEntry TSysDevEnum::CategoryAt(int index) const {
  if (index < 0 || index >= CategoryCount()) RaiseIndexError(index);
  return categories_[static_cast<size_t>(index)];
}

TDeviceEntry TSysDevEnum::DeviceAt(int index) const {
  if (index < 0 || index >= DeviceCount()) RaiseIndexError(index);
  return devices_[static_cast<size_t>(index)];
}

ComPtr<IMoniker> TSysDevEnum::DeviceMoniker(int index) const {
  if (index < 0 || index >= DeviceCount()) return nullptr;
  ComPtr<IEnumMoniker> monikers = CreateEnumerator(category_);
  if (!monikers) return nullptr;
  (void)monikers->Skip(static_cast<ULONG>(index));
  ComPtr<IMoniker> moniker;
  ULONG fetched = 0;
  (void)monikers->Next(1, moniker.GetAddressOf(), &fetched);
  (void)monikers->Reset();
  return moniker;
}
