// Unit CrossBar: TCrossbar, the explorer of the crossbar routes of an analogue capture source.
//
// Analogue cards put one or more crossbar filters in front of the capture filter's analogue
// video input; each crossbar switches which physical connector (tuner, composite, S-Video, ...)
// feeds its output, and carries the matching sound input along. A TCrossbar searches every
// chain of crossbars upstream of one input pin once, when it is created, and keeps each
// complete route from a physical video connector down to that pin. The routes are offered as
// numbered inputs (in the order the search found them), each with the connector type at its
// far end; SelectInput switches the whole chain, video and related sound together.
//
// Errors are HRESULTs, never exceptions. The stored routes hold counted references to their
// crossbars, released by the destructor. UI thread only, while the graph is stopped or running
// (routing a crossbar is allowed in both).
#pragma once

#include <comptr.h>
#include <strmif.h>

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

// One step of a route: the setting of one crossbar.
struct TCrRouting {
  // During the search only: the step of the next crossbar towards the connector, and towards
  // the capture filter. Stored copies carry null links.
  TCrRouting* UpstreamLink = nullptr;
  TCrRouting* DownstreamLink = nullptr;
  int32_t VideoInIndex = 0;    // among the crossbar's input pins
  int32_t VideoOutIndex = 0;   // among its output pins, towards the capture filter
  int32_t AudioInIndex = -1;   // the sound input related to the video input; -1 when none
  int32_t AudioOutIndex = -1;  // the sound output related to the video output; -1 when none
  ComPtr<IAMCrossbar> XBar;    // the only owned member: a copy takes its own reference
  int32_t VideoInType = 0;     // PhysicalConnectorType of the video input
  int32_t VideoOutType = 0;    // PhysicalConnectorType of the video output
  int32_t Depth = 0;           // 0 next to the capture filter, 1 for the one feeding it, ...
};

// One stored route: element 0 is the crossbar farthest upstream (its selected input is the
// route's connector), the last element (index element 0's Depth) feeds the capture filter.
using TRouteArray = std::vector<TCrRouting>;

class TCrossbar {
 public:
  // Searches the routes upstream of `startPin` (an input pin of the capture filter), or none
  // for a null pin. Never fails: a failed search leaves zero inputs.
  explicit TCrossbar(IPin* startPin);
  TCrossbar(const TCrossbar&) = delete;
  TCrossbar& operator=(const TCrossbar&) = delete;
  // Releases every crossbar reference of the routes and of the root step.
  ~TCrossbar();

  // The number of routes; always S_OK.
  HRESULT InputCount(int32_t& count) const;
  // The connector type at the far end of route `index`; E_FAIL outside the routes (type
  // unchanged).
  HRESULT InputConnectorType(int32_t index, int32_t& type) const;
  // The display name of that connector; E_FAIL outside the routes (name unchanged).
  HRESULT InputConnectorName(int32_t index, QString& name) const;
  // Routes every crossbar of route `index`, farthest upstream first, video and then (when both
  // sides report one) the related sound; a failed step does not stop the others. The result
  // of the last Route call; E_FAIL outside the routes, with nothing switched.
  HRESULT SelectInput(int32_t index);
  // The display name of a PhysicalConnectorType ("Unknown" for a value not in the table);
  // always S_OK.
  static HRESULT ConnectorName(int32_t type, QString& name);

  // The stored routes, in input-number order.
  const std::vector<TRouteArray>& Routes() const { return FRoutes; }

 private:
  HRESULT SearchRoutes(IPin* inPin, TCrRouting* step, int32_t depth);
  HRESULT StoreRoute(const TCrRouting* step);
  HRESULT FreeRoutes();
  const TRouteArray* RouteAt(int32_t index) const;
  static HRESULT CrossbarPinAt(IAMCrossbar* xbar, int32_t index, bool isInput, ComPtr<IPin>& pin);
  static HRESULT CrossbarPinIndex(IAMCrossbar* xbar, IPin* pin, bool isInput, int32_t& index);

  std::unique_ptr<TCrRouting> FRootStep;
  std::vector<TRouteArray> FRoutes;
};
