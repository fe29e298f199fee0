// TFilterList and TPinList.
#include <algorithm>

#include "MediaUtil.h"

namespace {
[[noreturn]] void RaiseIndexError(int index) {
  throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}
}  // namespace

TFilterList TFilterList::CreateFromGraph(IFilterGraph* graph) {
  TFilterList list;
  list.graph_ = graph;
  if (graph == nullptr) return list;
  ComPtr<IEnumFilters> filters;
  if (FAILED(graph->EnumFilters(filters.GetAddressOf())) || !filters) return list;
  for (;;) {
    ComPtr<IBaseFilter> filter;
    if (filters->Next(1, filter.GetAddressOf(), nullptr) != S_OK) break;
    list.items_.push_back(std::move(filter));
  }
  return list;
}

ComPtr<IBaseFilter> TFilterList::FilterAt(int index) const {
  if (index < 0 || index >= Count()) RaiseIndexError(index);
  return items_[static_cast<size_t>(index)];
}

void TFilterList::FilterInfoAt(int index, FILTER_INFO& info) const {
  info = FILTER_INFO{};
  if (ComPtr<IBaseFilter> filter = FilterAt(index)) (void)filter->QueryFilterInfo(&info);
}

QString TFilterList::FilterNameAt(int index) const {
  FILTER_INFO info{};
  FilterInfoAt(index, info);
  if (info.pGraph != nullptr) info.pGraph->Release();
  info.achName[MAX_FILTER_NAME - 1] = L'\0';
  return QString::fromWCharArray(info.achName);
}

int TFilterList::Add(IBaseFilter* filter) {
  items_.emplace_back(filter);
  return Count() - 1;
}

int TFilterList::IndexOf(IBaseFilter* filter) const {
  for (int i = 0; i < Count(); ++i) {
    if (items_[static_cast<size_t>(i)].Get() == filter ||
        (filter != nullptr && items_[static_cast<size_t>(i)] &&
         IsSameObject(items_[static_cast<size_t>(i)].Get(), filter))) {
      return i;
    }
  }
  return -1;
}

int TFilterList::Remove(IBaseFilter* filter) {
  const int index = IndexOf(filter);
  if (index >= 0) items_.erase(items_.begin() + index);
  return index;
}

TPinList TPinList::CreateFromFilter(IBaseFilter* filter) {
  TPinList list;
  list.filter_ = filter;
  list.Refresh();
  return list;
}

ComPtr<IPin> TPinList::PinAt(int index) const {
  if (index < 0 || index >= Count()) RaiseIndexError(index);
  return items_[static_cast<size_t>(index)];
}

void TPinList::Refresh() {
  items_.clear();
  if (!filter_) return;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter_->EnumPins(pins.GetAddressOf())) || !pins) return;
  for (;;) {
    ComPtr<IPin> pin;
    if (pins->Next(1, pin.GetAddressOf(), nullptr) != S_OK) break;
    items_.push_back(std::move(pin));
  }
}
