// Smart Tee and Infinite Pin Tee in small graphs: pins, their order and the types they offer,
// cueing, the preview branch never slowing the capture branch, untimed preview samples copied
// into the preview's own, one free output always, every output getting every sample.
#include <CaptureGraphBuilder.h>
#include <SmartTee.h>
#include <TestPushSource.h>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

// Adds the source, a Smart Tee and the sinks to the graph, and connects the source to the tee
// and the tee's capture and preview outputs to the sinks (a null sink: left unconnected).
ComPtr<IBaseFilter> TeeBetween(IGraphBuilder* graph, TestPushSource* source, IBaseFilter* capture,
                               IBaseFilter* preview) {
  ComPtr<IBaseFilter> tee = CreateFilter(CLSID_SmartTee);
  AddFilters(graph, {{source, L"Source"}, {tee.Get(), L"Smart Tee"}});
  EXPECT_EQ(S_OK, Link(graph, source, 0, tee.Get(), 0));
  if (capture) {
    graph->AddFilter(capture, L"Capture");
    EXPECT_EQ(S_OK, Link(graph, tee.Get(), 1, capture, 0));
  }
  if (preview) {
    graph->AddFilter(preview, L"Preview");
    EXPECT_EQ(S_OK, Link(graph, tee.Get(), 2, preview, 0));
  }
  return tee;
}

// The outputs report no pin category (a capture graph builder knows them by the tee and their
// order) and offer no type, nor connect, until the input is connected.
TEST(SysSmartTee, PinsInputCapturePreviewInThatOrderAndItCannotCue) {
  ComPtr<IBaseFilter> tee = CreateFilter(CLSID_SmartTee);
  ASSERT_TRUE(tee);
  auto pins = PinsOf(tee.Get());
  ASSERT_EQ(pins.size(), 3u);
  EXPECT_EQ(PinName(pins[1].Get()), L"Capture");
  EXPECT_EQ(PinName(pins[2].Get()), L"Preview");
  for (int output : {1, 2}) {
    EXPECT_FALSE(QueryAs<IKsPropertySet>(pins[output].Get())) << "output " << output;
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, pins[output]->EnumMediaTypes(types.GetAddressOf()));
    AM_MEDIA_TYPE* mt = nullptr;
    ULONG fetched = 7;
    EXPECT_EQ(S_FALSE, types->Next(1, &mt, &fetched)) << "output " << output;
    EXPECT_EQ(fetched, 0u);
  }
  vidorra::dshow::EnsureCaptureGraphBuilderRegistered();
  ComPtr<ICaptureGraphBuilder2> builder;
  ASSERT_EQ(S_OK,
            CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                             IID_ICaptureGraphBuilder2, builder.ReleaseAndGetVoidAddressOf()));
  for (auto [index, category] : {std::pair{1, PIN_CATEGORY_CAPTURE}, {2, PIN_CATEGORY_PREVIEW}}) {
    ComPtr<IPin> found;
    ASSERT_EQ(S_OK, builder->FindPin(tee.Get(), PINDIR_OUTPUT, &category, nullptr, FALSE, 0,
                                     found.GetAddressOf()));
    EXPECT_EQ(found.Get(), pins[index].Get());
  }
  // An output cannot connect before the input.
  auto graph = NewGraph();
  auto sink = MakeComObject<RecordingSink>();
  AddFilters(graph.Get(), {{tee.Get(), L"Smart Tee"}, {sink.Get(), L"Sink"}});
  EXPECT_TRUE(FAILED(Link(graph.Get(), tee.Get(), 1, sink.Get(), 0)));
  // Put after a live source, the tee cannot cue either: paused, it answers VFW_S_CANT_CUE, and
  // the graph runs without waiting for the renderers after it.
  FILTER_STATE state = State_Running;
  ASSERT_EQ(S_OK, tee->Pause());
  EXPECT_EQ(VFW_S_CANT_CUE, tee->GetState(0, &state));
  EXPECT_EQ(state, State_Paused);
  EXPECT_EQ(S_OK, tee->Stop());
}

TEST(SysSmartTee, SlowPreviewDoesNotSlowCaptureAndCarriesNoTimes) {
  constexpr int kFrames = 40;
  auto graph = NewGraph();
  // 10 ms frames: the capture sink renders on the clock.
  const TestPushSourceConfig config{.frameCount = kFrames, .frameDuration = 100'000};
  auto source = MakeComObject<TestPushSource>(config);
  auto capture = MakeComObject<RecordingSink>();
  auto preview = MakeComObject<RecordingSink>();
  ComPtr<IBaseFilter> tee = TeeBetween(graph.Get(), source.Get(), capture.Get(), preview.Get());
  // The preview renderer is stuck on its first frame for the whole run.
  preview->Hold(true);
  ASSERT_TRUE(SUCCEEDED(RunGraph(graph.Get())));
  EXPECT_TRUE(WaitUntil([&] { return capture->Count() == kFrames; }))
      << "capture got " << capture->Count() << " of " << kFrames;
  EXPECT_LE(preview->Count(), 1) << "a stuck preview takes at most the frame it holds";
  preview->Hold(false);
  StopGraph(graph.Get());

  const auto captured = capture->Samples();
  ASSERT_EQ(captured.size(), static_cast<size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(captured[i].frame, static_cast<uint32_t>(i));
    EXPECT_EQ(captured[i].start, i * config.frameDuration) << "capture keeps its times";
  }
  auto* smartTee = static_cast<vidorra::filters::CSmartTee*>(tee.Get());
  EXPECT_GE(smartTee->PreviewPin()->DroppedCount(), kFrames - 2);
  for (const auto& sample : preview->Samples())
    EXPECT_EQ(sample.start, -1) << "preview samples carry no times";
}

// The capture output passes on the input's own samples; the preview gets copies in samples of
// its own allocator, and every frame is either copied for it or counted as dropped.
TEST(SysSmartTee, CapturePassesSamplesOnPreviewCopiesIntoItsOwn) {
  constexpr int kFrames = 20;
  auto graph = NewGraph(false);
  auto source = MakeComObject<TestPushSource>(TestPushSourceConfig{.frameCount = kFrames});
  auto capture = MakeComObject<RecordingSink>();
  auto preview = MakeComObject<RecordingSink>();
  ComPtr<IBaseFilter> tee = TeeBetween(graph.Get(), source.Get(), capture.Get(), preview.Get());
  ASSERT_TRUE(SUCCEEDED(RunGraph(graph.Get())));
  auto* smartTee = static_cast<vidorra::filters::CSmartTee*>(tee.Get());
  EXPECT_TRUE(WaitUntil([&] {
    return capture->Count() == kFrames &&
           preview->Count() + smartTee->PreviewPin()->DroppedCount() == kFrames;
  }));
  StopGraph(graph.Get());
  IMemAllocator* input = smartTee->InputPin()->Allocator();
  IMemAllocator* own = smartTee->PreviewPin()->Allocator();
  ASSERT_NE(input, own);
  for (const auto& sample : capture->Samples()) EXPECT_EQ(sample.allocator, input);
  const auto previewed = preview->Samples();
  ASSERT_FALSE(previewed.empty());
  for (size_t i = 0; i < previewed.size(); ++i) {
    EXPECT_EQ(previewed[i].allocator, own);
    if (i > 0) {
      EXPECT_GT(previewed[i].frame, previewed[i - 1].frame) << "in order";
    }
  }
}

// Every output gets every sample, read-only: the receivers share them.
TEST(SysInfTee, AlwaysExactlyOneFreeOutputAndEveryOutputGetsEverySample) {
  constexpr int kFrames = 6;
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>(TestPushSourceConfig{.frameCount = kFrames});
  ComPtr<IBaseFilter> tee = CreateFilter(CLSID_InfTee);
  ASSERT_TRUE(tee);
  AddFilters(graph.Get(), {{source.Get(), L"Source"}, {tee.Get(), L"Infinite"}});
  ASSERT_EQ(S_OK, Link(graph.Get(), source.Get(), 0, tee.Get(), 0));

  std::vector<ComPtr<RecordingSink>> sinks;
  for (int i = 0; i < 3; ++i) {
    sinks.push_back(MakeComObject<RecordingSink>());
    graph->AddFilter(sinks.back().Get(), nullptr);
    auto pins = PinsOf(tee.Get());
    ASSERT_EQ(pins.size(), static_cast<size_t>(2 + i));
    ComPtr<IPin> free = pins.back();
    ComPtr<IPin> peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, free->ConnectedTo(peer.GetAddressOf())) << "last pin is free";
    ASSERT_EQ(S_OK, graph->ConnectDirect(free.Get(), sinks.back()->Input(), nullptr));
  }
  auto pins = PinsOf(tee.Get());
  ASSERT_EQ(pins.size(), 5u) << "three connected outputs and one free";
  EXPECT_EQ(PinName(pins[1].Get()), L"Output1");
  EXPECT_EQ(PinName(pins[4].Get()), L"Output4");

  // Each output delivers from a thread of its own: a paused renderer holding the first sample
  // does not keep it from the others, so every renderer cues and the graph runs.
  ASSERT_TRUE(SUCCEEDED(RunGraph(graph.Get())));
  EXPECT_TRUE(WaitUntil([&] {
    for (auto& sink : sinks) {
      if (sink->Count() != kFrames) return false;
    }
    return true;
  }));
  StopGraph(graph.Get());
  for (auto& sink : sinks) {
    EXPECT_TRUE(static_cast<CBaseInputPin*>(sink->InputPin())->IsReadOnly());
    const auto samples = sink->Samples();
    ASSERT_EQ(samples.size(), static_cast<size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) EXPECT_EQ(samples[i].frame, static_cast<uint32_t>(i));
  }

  // Disconnecting an output leaves exactly one free output listed.
  ComPtr<IPin> second = pins[2];
  ASSERT_EQ(S_OK, graph->Disconnect(second.Get()));
  ASSERT_EQ(S_OK, graph->Disconnect(sinks[1]->Input()));
  pins = PinsOf(tee.Get());
  EXPECT_EQ(pins.size(), 4u);
  int free = 0;
  for (size_t i = 1; i < pins.size(); ++i) {
    ComPtr<IPin> peer;
    if (pins[i]->ConnectedTo(peer.GetAddressOf()) == VFW_E_NOT_CONNECTED) ++free;
  }
  EXPECT_EQ(free, 1);
}

}  // namespace
}  // namespace vidorra::test
