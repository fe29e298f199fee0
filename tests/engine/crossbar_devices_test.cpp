// TCrossbar on the simulated TV cards, through the data module's video source: the inputs of
// one crossbar and of two in a chain, and switching an input, which the capture filter's
// pictures show and the sound follows.
#include <uuids.h>
#include <wait_until.h>

#include <vector>

#include "CrossBar.h"
#include "GraphTestSupport.h"
#include "ShownInput.h"

using namespace engine_test;
namespace sim = vidorra::devices::sim;

namespace {

constexpr long kChannel = 6;

struct Card {
  const char* name;
  std::vector<const char*> inputs;  // the connectors, in input-number order
  std::vector<size_t> lengths;      // crossbars each route sets
};

// The source the simulated card draws for a connector.
sim::PatternSource SourceOf(const QString& connector) {
  if (connector == QStringLiteral("Video Tuner")) return sim::PatternSource::kTuner;
  if (connector == QStringLiteral("Video Composite")) return sim::PatternSource::kComposite;
  return sim::PatternSource::kSVideo;
}

class CrossbarDevicesTest : public GraphTest {
 protected:
  // Binds the card and connects its front end as the capture graph builder does when asked
  // for an interface upstream; the capture pin feeds sg and the Null Renderer.
  void Build(const char* card) {
    TdmCam& dm = Module();
    ASSERT_TRUE(dm.SelectVideoDevice(QString::fromUtf8(card)));
    ASSERT_EQ(
        dm.fg->QueryInterface(IID_ICaptureGraphBuilder2, builder_.ReleaseAndGetVoidAddressOf()),
        S_OK);
    ASSERT_EQ(dm.VideoSource->QueryInterface(IID_IBaseFilter, source_.ReleaseAndGetVoidAddressOf()),
              S_OK);
    ComPtr<IAMTVTuner> tuner;
    ASSERT_EQ(builder_->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, source_.Get(), IID_IAMTVTuner,
                                      tuner.ReleaseAndGetVoidAddressOf()),
              S_OK);
    // A channel whose picture no other input shows.
    ASSERT_EQ(tuner->put_Channel(kChannel, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT), S_OK);
    ASSERT_EQ(builder_->FindPin(source_.Get(), PINDIR_INPUT, &PIN_CATEGORY_ANALOGVIDEOIN, nullptr,
                                FALSE, 0, analogIn_.ReleaseAndGetAddressOf()),
              S_OK);
  }

  void RunToGrabber() {
    TdmCam& dm = Module();
    dm.Null->SetFilterGraph(dm.fg);
    ComPtr<IBaseFilter> grabber;
    ComPtr<IBaseFilter> sink;
    ASSERT_EQ(dm.sg->QueryInterface(IID_IBaseFilter, grabber.ReleaseAndGetVoidAddressOf()), S_OK);
    ASSERT_EQ(dm.Null->QueryInterface(IID_IBaseFilter, sink.ReleaseAndGetVoidAddressOf()), S_OK);
    ASSERT_TRUE(SUCCEEDED(builder_->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                                                 source_.Get(), grabber.Get(), sink.Get())));
    ASSERT_EQ(dm.sg->QueryInterface(IID_ISampleGrabber, samples_.ReleaseAndGetVoidAddressOf()),
              S_OK);
    WatchGrabber();  // the picture's size
    ASSERT_TRUE(dm.fg->RunGraph());
  }

  // Waits until the frame the grabber keeps (RGB24, bottom-up) shows `source`; the frames
  // already under way when the input was switched still show the one before.
  bool WaitForPicture(sim::PatternSource source) {
    std::optional<uint32_t> judged;  // each frame is judged once
    return vidorra::test::WaitUntil([&] {
      long size = 0;
      if (samples_->GetCurrentBuffer(&size, nullptr) != S_OK || size <= 0) return false;
      std::vector<uint8_t> frame(static_cast<size_t>(size));
      if (samples_->GetCurrentBuffer(&size, reinterpret_cast<long*>(frame.data())) != S_OK) {
        return false;
      }
      const int stride = (width_ * 3 + 3) / 4 * 4;
      const auto rgb = [&](int x, int y) {
        const uint8_t* bgr = &frame[static_cast<size_t>((height_ - 1 - y) * stride + x * 3)];
        return qRgb(bgr[2], bgr[1], bgr[0]);
      };
      const std::optional<uint32_t> number = NumberOfRgb24(frame.data(), width_, height_);
      if (!number || number == judged) return false;
      judged = number;
      return vidorra::test::ShownInput(rgb, width_, height_, *number, kChannel) == source;
    });
  }

  ComPtr<ICaptureGraphBuilder2> builder_;
  ComPtr<IBaseFilter> source_;
  ComPtr<IPin> analogIn_;
  ComPtr<ISampleGrabber> samples_;
};

}  // namespace

TEST_F(CrossbarDevicesTest, TheCardsInputsAreFoundAndSwitchedVideoAndSoundTogether) {
  Simulate("video tv Carte TV\nvideo tv2 Carte double\n");
  const Card kCards[] = {
      {"Carte TV", {"Video Tuner", "Video Composite", "Video SVideo"}, {1, 1, 1}},
      // The second crossbar (tuner, composite) feeds the first one, which has its own S-Video.
      {"Carte double", {"Video SVideo", "Video Tuner", "Video Composite"}, {1, 2, 2}},
  };
  for (const Card& card : kCards) {
    SCOPED_TRACE(card.name);
    Build(card.name);
    TCrossbar crossbar(analogIn_.Get());
    int32_t count = 0;
    ASSERT_EQ(crossbar.InputCount(count), S_OK);
    ASSERT_EQ(count, static_cast<int32_t>(card.inputs.size()));
    for (int32_t i = 0; i < count; ++i) {
      QString name;
      ASSERT_EQ(crossbar.InputConnectorName(i, name), S_OK);
      EXPECT_EQ(name, QString::fromLatin1(card.inputs[static_cast<size_t>(i)]));
      EXPECT_EQ(crossbar.Routes()[static_cast<size_t>(i)].size(),
                card.lengths[static_cast<size_t>(i)]);
    }

    RunToGrabber();
    // Every input in turn, from the last: each differs from the one shown before.
    for (int32_t i = count - 1; i >= 0; --i) {
      QString name;
      crossbar.InputConnectorName(i, name);
      SCOPED_TRACE(name.toStdString());
      ASSERT_EQ(crossbar.SelectInput(i), S_OK);
      EXPECT_TRUE(WaitForPicture(SourceOf(name))) << "the capture filter shows the input";
      for (const TCrRouting& step : crossbar.Routes()[static_cast<size_t>(i)]) {
        long routed = -2;
        EXPECT_EQ(step.XBar->get_IsRoutedTo(step.VideoOutIndex, &routed), S_OK);
        EXPECT_EQ(routed, step.VideoInIndex);
        if (step.AudioOutIndex != -1 && step.AudioInIndex != -1) {
          EXPECT_EQ(step.XBar->get_IsRoutedTo(step.AudioOutIndex, &routed), S_OK);
          EXPECT_EQ(routed, step.AudioInIndex) << "the sound follows the picture";
        }
      }
    }
    EXPECT_TRUE(Module().fg->StopGraph());
  }
}
