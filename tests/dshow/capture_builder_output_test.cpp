// The capture graph builder's graph and its recording set-up (SetOutputFileName).
#include <filesystem>

#include "capture_builder_test_filters.h"
#include "temp_dir.h"

namespace vidorra::test::capture_builder {
namespace {

using CaptureBuilderObject = CaptureBuilderTest;

TEST_F(CaptureBuilderObject, SetFiltergraphKeepsTheFirstGraph) {
  ComPtr<IGraphBuilder> first = NewGraph();
  EXPECT_EQ(E_POINTER, builder_->SetFiltergraph(nullptr));
  ASSERT_EQ(S_OK, builder_->SetFiltergraph(first.Get()));
  EXPECT_EQ(S_OK, builder_->SetFiltergraph(first.Get()));
  EXPECT_EQ(E_UNEXPECTED, builder_->SetFiltergraph(NewGraph().Get()));
  ComPtr<IGraphBuilder> current;
  ASSERT_EQ(S_OK, builder_->GetFiltergraph(current.GetAddressOf()));
  EXPECT_TRUE(IsSameObject(current.Get(), first.Get()));
  EXPECT_EQ(E_POINTER, builder_->GetFiltergraph(nullptr));
}

TEST_F(CaptureBuilderObject, WithoutAGraphItMakesItsOwnOnFirstNeed) {
  ComPtr<IGraphBuilder> made;
  ASSERT_EQ(S_OK, builder_->GetFiltergraph(made.GetAddressOf()));
  ASSERT_TRUE(made);
  ComPtr<IGraphBuilder> again;
  ASSERT_EQ(S_OK, builder_->GetFiltergraph(again.GetAddressOf()));
  EXPECT_TRUE(IsSameObject(made.Get(), again.Get()));
}

// ---- SetOutputFileName ---------------------------------------------------------------------

class CaptureBuilderOutput : public CaptureBuilderGraphTest {
 protected:
  std::wstring PathOf(const char* name) { return Utf8ToWide(folder_.File(name)); }
  TempDir folder_;
};

TEST_F(CaptureBuilderOutput, RefusesOtherSubtypesAndNullArgumentsAndAddsNothing) {
  ComPtr<IBaseFilter> mux;
  ComPtr<IFileSinkFilter> sink;
  const std::wstring path = PathOf("refused.avi");
  EXPECT_EQ(E_INVALIDARG, builder_->SetOutputFileName(&MEDIASUBTYPE_RGB24, path.c_str(),
                                                      mux.GetAddressOf(), sink.GetAddressOf()));
  EXPECT_EQ(E_INVALIDARG, builder_->SetOutputFileName(&MEDIASUBTYPE_Avi, L"", mux.GetAddressOf(),
                                                      sink.GetAddressOf()));
  EXPECT_EQ(E_POINTER, builder_->SetOutputFileName(nullptr, path.c_str(), mux.GetAddressOf(),
                                                   sink.GetAddressOf()));
  EXPECT_EQ(E_POINTER, builder_->SetOutputFileName(&MEDIASUBTYPE_Avi, nullptr, mux.GetAddressOf(),
                                                   sink.GetAddressOf()));
  EXPECT_EQ(E_POINTER, builder_->SetOutputFileName(&MEDIASUBTYPE_Avi, path.c_str(), nullptr,
                                                   sink.GetAddressOf()));
  EXPECT_FALSE(mux);
  EXPECT_FALSE(sink);
  EXPECT_EQ(0, FilterCount());
}

// The mux and the writer, named, the writer fed by the mux; nothing is written before the
// graph runs. (The capture rendered into them, recorded and read back: the device recording
// tests.)
TEST_F(CaptureBuilderOutput, AddsAConnectedAviMuxAndFileWriter) {
  ComPtr<IBaseFilter> mux;
  ComPtr<IFileSinkFilter> sink;
  ASSERT_EQ(S_OK, builder_->SetOutputFileName(&MEDIASUBTYPE_Avi, PathOf("capture.avi").c_str(),
                                              mux.GetAddressOf(), sink.GetAddressOf()));
  ASSERT_TRUE(mux);
  ASSERT_TRUE(sink);
  EXPECT_EQ(CLSID_AviDest, ClassOf(mux.Get()));
  ComPtr<IBaseFilter> writer = sink.As<IBaseFilter>();
  ASSERT_TRUE(writer);
  EXPECT_EQ(CLSID_FileWriter, ClassOf(writer.Get()));
  EXPECT_TRUE(IsSameObject(FindByName(L"AVI Mux").Get(), mux.Get()));
  EXPECT_TRUE(IsSameObject(FindByName(L"File writer").Get(), writer.Get()));
  ComPtr<IPin> muxOut = PeerOf(PinAt(writer.Get(), 0).Get());
  ASSERT_TRUE(muxOut);
  EXPECT_TRUE(IsSameObject(OwnerOf(muxOut.Get()).Get(), mux.Get()));
  EXPECT_FALSE(std::filesystem::exists(folder_.File("capture.avi")));
}

// The program's audio stream of a recording: the audio source through an Infinite Pin Tee into
// the mux, then listening on the tee's spare output through the default audio renderer.
TEST_F(CaptureBuilderOutput, TheAudioSourceGoesThroughAnInfiniteTeeIntoTheMux) {
  ComPtr<IBaseFilter> mux;
  ASSERT_EQ(S_OK, builder_->SetOutputFileName(&MEDIASUBTYPE_Avi, PathOf("audio.avi").c_str(),
                                              mux.GetAddressOf(), nullptr));
  ComPtr<TableFilter> audio = MakeAudioSource();
  Add(audio->Base(), L"AudioSource");
  ComPtr<IBaseFilter> tee = CreateFilter(CLSID_InfTee);
  ASSERT_TRUE(tee);
  Add(tee.Get(), L"Infinite2");
  ASSERT_EQ(S_OK,
            builder_->RenderStream(nullptr, &MEDIATYPE_Audio, audio->Base(), tee.Get(), mux.Get()));
  EXPECT_TRUE(AreConnected(audio->Pin(L"Capture"), PinAt(tee.Get(), 0).Get()));
  ComPtr<IPin> muxIn = PeerOf(PinAt(tee.Get(), 1).Get());
  ASSERT_TRUE(muxIn);
  EXPECT_TRUE(IsSameObject(OwnerOf(muxIn.Get()).Get(), mux.Get()));

  ComPtr<IPin> spare;
  ASSERT_EQ(S_OK, builder_->FindPin(tee.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, TRUE, 0,
                                    spare.GetAddressOf()));
  // Without a sink the spare output goes to the default audio renderer.
  ASSERT_TRUE(
      SUCCEEDED(builder_->RenderStream(nullptr, &MEDIATYPE_Audio, spare.Get(), nullptr, nullptr)));
  ComPtr<IPin> rendererIn = PeerOf(spare.Get());
  ASSERT_TRUE(rendererIn);
  EXPECT_EQ(CLSID_DSoundRender, ClassOf(OwnerOf(rendererIn.Get()).Get()));
}

}  // namespace
}  // namespace vidorra::test::capture_builder
