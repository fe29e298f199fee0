// TCrossbar on the simulated TV cards, through the data module's video source: the inputs of
// one crossbar and of two in a chain, and switching an input, which the capture filter's
// pictures show and the sound follows; no route without a start pin or past the last input.
#include <uuids.h>
#include <wait_until.h>

#include <vector>

#include "CrossBar.h"
#include "EngineTestSupport.h"

using namespace engine_test;

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
  // Waits until the window shows `source`; the frames already under way when the input was
  // switched still show the one before.
  bool WaitForPicture(sim::PatternSource source) {
    auto* renderer = static_cast<vidorra::filters::CVideoRenderer*>(Renderer());
    return vt::WaitUntil([&] {
      return vt::ShownInput(renderer->WindowForTesting()->LatestFrame(), kChannel) == source;
    });
  }
};

}  // namespace

// The crossbar the preview of each card finds, its picture on a channel no other input shows.
TEST_F(CrossbarDevicesTest, TheCardsInputsAreFoundAndSwitchedVideoAndSoundTogether) {
  TdmCam& dm = Prepare("video tv Carte TV\nvideo tv2 Carte double\n");
  const Card kCards[] = {
      {"Carte TV", {"Video Tuner", "Video Composite", "Video SVideo"}, {1, 1, 1}},
      // The second crossbar (tuner, composite) feeds the first one, which has its own S-Video.
      {"Carte double", {"Video SVideo", "Video Tuner", "Video Composite"}, {1, 2, 2}},
  };
  for (const Card& card : kCards) {
    SCOPED_TRACE(card.name);
    ASSERT_TRUE(Select(card.name));
    ASSERT_TRUE(dm.BuildPreviewGraph(Renderer()));
    ASSERT_EQ(vt::TuneTo(dm.fg, dm.VideoSource, kChannel), S_OK);
    ASSERT_TRUE(dm.Crossbar);
    TCrossbar& crossbar = *dm.Crossbar;
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

    WatchGrabber();
    ASSERT_TRUE(dm.fg->RunGraph());
    // Every input in turn, from the last: each differs from the one shown before.
    for (int32_t i = count - 1; i >= 0; --i) {
      QString name;
      crossbar.InputConnectorName(i, name);
      SCOPED_TRACE(name.toStdString());
      ASSERT_EQ(crossbar.SelectInput(i), S_OK);
      EXPECT_TRUE(WaitForPicture(SourceOf(name))) << "the window shows the input";
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
    EXPECT_EQ(crossbar.SelectInput(count), E_FAIL);
    EXPECT_EQ(crossbar.SelectInput(-1), E_FAIL);
    EXPECT_TRUE(dm.fg->StopGraph());
  }
  int32_t none = -1;
  EXPECT_EQ(TCrossbar(nullptr).InputCount(none), S_OK);
  EXPECT_EQ(none, 0);
}
