// Smart Tee and Infinite Pin Tee in small graphs: pins, their order and the types they offer,
// cueing, the preview branch never slowing the capture branch, untimed preview samples copied
// into the preview's own, one free output always, every output getting every sample.
#include <SmartTee.h>
#include <TestPushSource.h>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

// The outputs report no pin category (a capture graph builder knows them by the tee and their
// order: the builder's tests continue a tee so) and list no type, nor connect, until the input
// is connected; put after a live source, the tee cannot cue. A preview renderer stuck on its
// first frame for the whole run slows neither the capture branch nor the source: capture gets
// every frame in order with its times, as the input's own samples; the preview is lent those
// very samples (the bytes where capture has them, not a copy), untimed and read-only, in order,
// and every frame is either lent or counted as dropped.
TEST(SysSmartTee, PinsInOrderCannotCueAndASlowPreviewDoesNotSlowCaptureAndIsLentItsSamples) {
  ComPtr<IBaseFilter> tee = CreateFilter(CLSID_SmartTee);
  ASSERT_TRUE(tee);
  auto pins = PinsOf(tee.Get());
  ASSERT_EQ(pins.size(), 3u);
  EXPECT_EQ(PinName(pins[1].Get()), L"Capture");
  EXPECT_EQ(PinName(pins[2].Get()), L"Preview");
  for (int output : {1, 2}) {
    EXPECT_FALSE(QueryAs<IKsPropertySet>(pins[output].Get())) << "output " << output;
    ComPtr<IEnumMediaTypes> types;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pins[output]->EnumMediaTypes(types.GetAddressOf())) << output;
  }
  // Paused, it answers VFW_S_CANT_CUE: the graph runs without waiting for the renderers after it.
  FILTER_STATE state = State_Running;
  ASSERT_EQ(S_OK, tee->Pause());
  EXPECT_EQ(VFW_S_CANT_CUE, tee->GetState(0, &state));
  EXPECT_EQ(state, State_Paused);
  EXPECT_EQ(S_OK, tee->Stop());

  constexpr int kFrames = 40;
  auto graph = NewGraph();
  // 10 ms frames: the capture sink renders on the clock.
  const TestPushSourceConfig config{.frameCount = kFrames, .frameDuration = 100'000};
  auto source = MakeComObject<TestPushSource>(config);
  auto capture = MakeComObject<RecordingSink>();
  auto preview = MakeComObject<RecordingSink>();
  AddFilters(graph.Get(), {{tee.Get(), L"Smart Tee"}, {capture.Get(), L"Capture"}});
  EXPECT_TRUE(FAILED(Link(graph.Get(), tee.Get(), 1, capture.Get(), 0))) << "before the input";
  ASSERT_EQ(S_OK, Chain(graph.Get(), {source.Get(), tee.Get(), capture.Get()}));
  ASSERT_EQ(S_OK, Chain(graph.Get(), {tee.Get(), preview.Get()}));
  auto* smartTee = static_cast<vidorra::filters::CSmartTee*>(tee.Get());
  preview->Hold(true);
  ASSERT_TRUE(SUCCEEDED(RunGraph(graph.Get())));
  EXPECT_TRUE(WaitUntil([&] { return capture->Count() == kFrames; }))
      << "capture got " << capture->Count() << " of " << kFrames;
  EXPECT_LE(preview->Count(), 1) << "a stuck preview takes at most the frame it holds";
  EXPECT_GE(smartTee->PreviewPin()->DroppedCount(), kFrames - 2);
  preview->Hold(false);
  EXPECT_TRUE(WaitUntil(
      [&] { return preview->Count() + smartTee->PreviewPin()->DroppedCount() == kFrames; }));
  StopGraph(graph.Get());

  IMemAllocator* input = smartTee->InputPin()->Allocator();
  EXPECT_TRUE(static_cast<CBaseInputPin*>(preview->Input())->IsReadOnly());
  const auto captured = capture->Samples();
  ASSERT_EQ(captured.size(), static_cast<size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(std::tuple(captured[i].frame, captured[i].start, captured[i].allocator),
              std::tuple(uint32_t(i), i * config.frameDuration, input));
  }
  const auto previewed = preview->Samples();
  ASSERT_FALSE(previewed.empty());
  for (size_t i = 0; i < previewed.size(); ++i) {
    EXPECT_EQ(previewed[i].start, REFERENCE_TIME{-1});
    EXPECT_EQ(previewed[i].data, captured[previewed[i].frame].data) << "the captured bytes";
    EXPECT_TRUE(i == 0 || previewed[i].frame > previewed[i - 1].frame) << "in order";
  }
}

// Every output gets every sample, read-only: the receivers share them.
TEST(SysInfTee, AlwaysExactlyOneFreeOutputAndEveryOutputGetsEverySample) {
  constexpr int kFrames = 6;
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>(TestPushSourceConfig{.frameCount = kFrames});
  ComPtr<IBaseFilter> tee = CreateFilter(CLSID_InfTee);
  ASSERT_EQ(S_OK, Chain(graph.Get(), {source.Get(), tee.Get()}));

  // The outputs, connected and free (the pins after the input, pin 0).
  const auto outputs = [&] {
    std::pair<int, int> counts;
    const auto pins = PinsOf(tee.Get());
    for (size_t i = 1; i < pins.size(); ++i) ++(Peer(pins[i].Get()) ? counts.first : counts.second);
    return counts;
  };
  std::vector<ComPtr<RecordingSink>> sinks;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(outputs(), std::pair(i, 1));
    sinks.push_back(MakeComObject<RecordingSink>());
    graph->AddFilter(sinks.back().Get(), nullptr);
    ASSERT_EQ(S_OK,
              graph->ConnectDirect(PinsOf(tee.Get()).back().Get(), sinks.back()->Input(), nullptr));
  }
  EXPECT_EQ(outputs(), std::pair(3, 1));
  auto pins = PinsOf(tee.Get());
  EXPECT_EQ(std::pair(PinName(pins[1].Get()), PinName(pins[4].Get())),
            std::pair(std::wstring(L"Output1"), std::wstring(L"Output4")));

  // Each output delivers from a thread of its own: a paused renderer holding the first sample
  // does not keep it from the others, so every renderer cues and the graph runs.
  ASSERT_TRUE(SUCCEEDED(RunGraph(graph.Get())));
  EXPECT_TRUE(WaitUntil([&] {
    return std::all_of(sinks.begin(), sinks.end(),
                       [](auto& sink) { return sink->Count() == kFrames; });
  }));
  StopGraph(graph.Get());
  for (auto& sink : sinks) {
    EXPECT_TRUE(static_cast<CBaseInputPin*>(sink->InputPin())->IsReadOnly());
    std::vector<uint32_t> frames;
    for (const auto& sample : sink->Samples()) frames.push_back(sample.frame);
    EXPECT_EQ(frames, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
  }

  // Disconnecting an output leaves exactly one free output listed.
  ASSERT_EQ(S_OK, graph->Disconnect(pins[2].Get()));
  ASSERT_EQ(S_OK, graph->Disconnect(sinks[1]->Input()));
  EXPECT_EQ(outputs(), std::pair(2, 1));
}

}  // namespace
}  // namespace vidorra::test
