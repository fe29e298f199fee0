// Small filters for the capture graph builder tests: a filter whose pins are described by a
// table (direction, category, medium, media types), capture sources shaped like the devices
// the program meets (webcam, capture-only, DV camcorder, video port, analogue TV card, audio
// source), sinks, and the analogue front end of a TV card (crossbar, TV tuner, TV audio)
// connected on pin mediums. They negotiate real connections; none of them streams.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "graph_test_support.h"

namespace vidorra::test::capture_builder {

struct PinType {
  GUID major = GUID_NULL;
  GUID subtype = GUID_NULL;
};

struct PinDesc {
  std::wstring name;
  PIN_DIRECTION direction = PINDIR_OUTPUT;
  std::optional<GUID> category;
  std::optional<KSPIN_MEDIUM> medium;
  // Types offered (output) or accepted (input); an input pin without types accepts any.
  std::vector<PinType> types;
  // The pin answers IAMStreamConfig (only looked up, never called).
  bool streamConfig = false;
};

// A complete media type for a major type and subtype, with a plausible format block (video:
// 320x240 at 25 fps, audio: 48 kHz 16-bit stereo PCM, interleaved DV: a PAL DVINFO).
CMediaType MakeMediaType(const PinType& type);

// A filter whose pins follow the table, in table order.
class TableFilter : public CBaseFilter {
 public:
  TableFilter(std::wstring name, REFCLSID clsid, const std::vector<PinDesc>& pins);
  ~TableFilter() override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;
  // The pin named `name` (no new reference), or null.
  IPin* Pin(const std::wstring& name);
  // This filter as IBaseFilter (the pointer to pass where any IUnknown is taken).
  IBaseFilter* Base() { return this; }

 private:
  std::vector<std::unique_ptr<CBasePin>> pins_;
};

// Device-shaped sources.
ComPtr<TableFilter> MakeWebcam();           // capture + preview (YUY2), IAMStreamConfig on both
ComPtr<TableFilter> MakeCaptureOnly();      // one capture pin (YUY2) with IAMStreamConfig
ComPtr<TableFilter> MakeDvCamcorder();      // one interleaved dvsd pin of category capture
ComPtr<TableFilter> MakeVideoPortSource();  // capture pin + video-port pin
ComPtr<TableFilter> MakeTvCard(const KSPIN_MEDIUM& analogIn);  // capture + analogue video in
ComPtr<TableFilter> MakeAudioSource();                         // one PCM capture pin

// A sink with one input accepting the given types (any when empty).
ComPtr<TableFilter> MakeSink(const std::wstring& name, std::vector<PinType> accepted = {});
// A filter of class CLSID_SmartTee with the tee's pin order (input, capture, preview) whose
// pins report no category, so that the builder must go by that order. It is never registered.
ComPtr<TableFilter> MakeTeeLookalike();
// An intermediate filter: a video input (any subtype) and a video output of `outSubtype`.
ComPtr<TableFilter> MakeVideoTransform(const std::wstring& name, const GUID& outSubtype);

// The analogue front end. Mediums name the wires between the filters of one card.
struct FrontEndMediums {
  KSPIN_MEDIUM crossbarToCapture;
  KSPIN_MEDIUM tunerVideoToCrossbar;
  KSPIN_MEDIUM tunerAudioToTvAudio;
  KSPIN_MEDIUM tvAudioToCrossbar;
};
FrontEndMediums MediumsOfCard(DWORD card);

extern const CLSID CLSID_TestCrossbar;
extern const CLSID CLSID_TestTvTuner;
extern const CLSID CLSID_TestTvAudio;

// A crossbar with inputs: tuner video, composite video, tuner audio; outputs: video decoder,
// audio decoder (inputs first, then outputs, as crossbars enumerate them).
ComPtr<IBaseFilter> MakeCrossbar(const FrontEndMediums& mediums);
ComPtr<IBaseFilter> MakeTvTuner(const FrontEndMediums& mediums);
ComPtr<IBaseFilter> MakeTvAudio(const FrontEndMediums& mediums);

// ---- Fixtures and graph helpers ----------------------------------------------------------

// A capture graph builder; no graph is set.
class CaptureBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  ComPtr<ICaptureGraphBuilder2> builder_;
};

// A builder working on a new filter graph manager.
class CaptureBuilderGraphTest : public CaptureBuilderTest {
 protected:
  void SetUp() override;
  // Adds the filter under `name`; fails the test when the graph refuses.
  void Add(IBaseFilter* filter, const wchar_t* name);
  int FilterCount();
  ComPtr<IBaseFilter> FindByName(const wchar_t* name);
  ComPtr<IGraphBuilder> graph_;
};

ComPtr<IPin> PeerOf(IPin* pin);
ComPtr<IBaseFilter> OwnerOf(IPin* pin);
std::wstring NameInGraph(IBaseFilter* filter);
CLSID ClassOf(IBaseFilter* filter);
bool AreConnected(IPin* output, IPin* input);

}  // namespace vidorra::test::capture_builder
