// Helpers shared by the component tests: a pinless filter, a member and a listener that write
// what they are told into one journal, and a recorder for the application's error report.
#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "ErrorReport.h"
#include "MediaGraph.h"
#include "streams.h"

namespace components_test {

DEFINE_GUID(CLSID_PinlessTestFilter, 0x5E1D0C01, 0x7A2B, 0x4C3D, 0x9E, 0x4F, 0x10, 0x21, 0x32, 0x43,
            0x54, 0x65);

// A filter without pins: enough to be added to, found in and removed from a graph.
class PinlessFilter : public CBaseFilter {
 public:
  PinlessFilter() : CBaseFilter(L"Pinless test filter", CLSID_PinlessTestFilter) {}
  int GetPinCount() override { return 0; }
  CBasePin* GetPin(int) override { return nullptr; }
};

// Whether the graph's manager holds a filter of that name (handed back through `found`).
inline bool InGraph(TFilterGraph& graph, const wchar_t* name, IBaseFilter** found = nullptr) {
  ComPtr<IFilterGraph> manager = QueryAs<IFilterGraph>(&graph);
  ComPtr<IBaseFilter> filter;
  if (!manager || FAILED(manager->FindFilterByName(name, filter.GetAddressOf()))) return false;
  if (found) *found = filter.Detach();
  return true;
}

// The display name of a moniker (empty when it has none).
inline std::wstring DisplayName(IMoniker* moniker) {
  LPOLESTR name = nullptr;
  if (moniker == nullptr || FAILED(moniker->GetDisplayName(nullptr, nullptr, &name)) ||
      name == nullptr) {
    return {};
  }
  std::wstring out(name);
  CoTaskMemFree(name);
  return out;
}

using Journal = std::vector<std::string>;

inline const char* OperationName(TMemberOperation operation) {
  static const char* const kNames[] = {"moAdding", "moAdded", "moRemoving", "moRemoved",
                                       "moRefresh"};
  return kNames[operation];
}

// A member that makes a fresh filter at moAdding (a pinless one unless a factory is given)
// and drops it at moRemoved.
class RecordingMember : public IGraphMember {
 public:
  using Factory = std::function<ComPtr<IBaseFilter>()>;
  RecordingMember(std::string name, Journal& journal, Factory factory = nullptr)
      : name_(std::move(name)), journal_(journal), factory_(std::move(factory)) {}
  IBaseFilter* MemberFilter() override { return filter_.Get(); }
  QString MemberName() override { return QString::fromStdString(name_); }
  void MemberNotify(TMemberOperation operation, int param) override {
    journal_.push_back(name_ + ":" + OperationName(operation) + ":" + std::to_string(param));
    if (operation == moAdding) {
      filter_ = factory_ ? factory_() : ComPtr<IBaseFilter>(MakeComObject<PinlessFilter>());
    }
    if (operation == moRemoved) filter_.Reset();
  }
  ComPtr<IBaseFilter> filter_;

 private:
  std::string name_;
  Journal& journal_;
  Factory factory_;
};

class RecordingListener : public IGraphListener {
 public:
  RecordingListener(std::string name, Journal& journal)
      : name_(std::move(name)), journal_(journal) {}
  void GraphEventOccurred(long event, LONG_PTR param1, LONG_PTR param2) override {
    journal_.push_back(name_ + ":event:" + std::to_string(event) + ":" + std::to_string(param1) +
                       ":" + std::to_string(param2));
  }
  void ControlEventOccurred(TGraphControlKind kind, int param) override {
    static const char* const kNames[] = {"gckStart", "gckStop", "gckActiveChanged"};
    journal_.push_back(name_ + ":" + kNames[kind] + ":" + std::to_string(param));
  }

 private:
  std::string name_;
  Journal& journal_;
};

// Replaces the application's error report with a recorder for the life of the object.
class ErrorRecorder {
 public:
  ErrorRecorder()
      : previous_(vidorra::SetErrorReporter([this](const QString& m) { messages.append(m); })) {}
  ~ErrorRecorder() { vidorra::SetErrorReporter(previous_); }
  QStringList messages;

 private:
  vidorra::ErrorReporter previous_;
};

}  // namespace components_test
