// Helpers shared by the component tests (and the engine's): a pinless filter, a graph's filter
// by name, a moniker's display name, the encoder's moniker and a recorder for the application's
// error report.
#pragma once

#include <DeviceList.h>
#include <devmoniker.h>
#include <gtest/gtest.h>

#include <QStringList>

#include "ErrorReport.h"
#include "MediaGraph.h"
#include "streams.h"

namespace components_test {

// A filter without pins: enough to be added to, found in and removed from a graph.
class PinlessFilter : public CBaseFilter {
 public:
  PinlessFilter() : CBaseFilter(L"Pinless test filter", GUID_NULL) {}
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

using vidorra::test::DisplayName;

// A moniker of the DV Video Encoder, as the platform registers it.
inline ComPtr<IMoniker> EncoderMoniker() {
  ComPtr<IMoniker> moniker;
  EXPECT_EQ(
      CreateDeviceMoniker(L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\DV Video Encoder",
                          moniker.GetAddressOf()),
      S_OK);
  return moniker;
}

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
