// The preview graph's choices on the simulated machine: every kind of source classified by its
// pins and given the DV decoder's resolution for the video area; a deinterlacer the machine no
// longer has; listening; the reset; DV type 2 refused to another source. The previews
// themselves (each kind's picture in the window, the deinterlacer, listening to each sound)
// are built and watched by the window's tests, as a user makes them.
#include <avi/AviReader.h>

#include "EngineTestSupport.h"

using namespace engine_test;

// The resolution is the smallest picture that covers the area shown at 4:3 (PAL's half is
// 384x288, NTSC's 320x240), whole for full screen and for a source that is not DV.
TEST_F(EngineTest, EveryKindOfSourceIsClassifiedAndGivenItsPreviewResolution) {
  TdmCam& dm = Prepare(kEveryKindMachine);
  ASSERT_TRUE(dm.BindFilterByName(QStringLiteral("DirectShow Filters"),
                                  QStringLiteral("Pinnacle Video Deinterlacer"), dm.Deinterlacer));
  constexpr int kFull = DVRESOLUTION_FULL, kHalf = DVRESOLUTION_HALF,
                kQuarter = DVRESOLUTION_QUARTER;
  const struct {
    const char* name;
    std::uint8_t kind;  // the classification by the source's pins
    bool dv;
    // For the window's 384x288 area, a 192x144 one, and a 200x144 one wider than the quarter
    // picture.
    int resolution, smallAreaResolution, wideAreaResolution;
  } kCases[] = {
      {"Caméscope DV", vskInterleaved, true, kHalf, kQuarter, kHalf},
      {"Caméscope NTSC", vskInterleaved, true, kFull, kHalf, kHalf},
      {"Webcam", vskPreview, false, kFull, kFull, kFull},
      // A TV card's outputs are the capture card's.
      {"Carte d'acquisition", vskCapture, false, kFull, kFull, kFull},
      {"Port vidéo", vskVideoPort, false, kFull, kFull, kFull},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Select(c.name));
    EXPECT_EQ(dm.VideoSourceKind, c.kind);
    EXPECT_EQ(dm.IsDVSource, c.dv);
    EXPECT_TRUE(dm.SourcePin);
    for (const auto& [area, resolution] :
         {std::pair{QSize(384, 288), c.resolution},
          std::pair{QSize(192, 144), c.smallAreaResolution},
          std::pair{QSize(200, 144), c.wideAreaResolution}, std::pair{QSize(), kFull}}) {
      dm.PreviewArea = area;
      EXPECT_EQ(dm.ChoosePreviewResolution(), resolution) << area.width();
    }
  }
  // The deinterlacer joins a whole picture's preview: one the machine hides fails the build.
  Simulate(std::string(kEveryKindMachine) + "hide-filter Pinnacle Video Deinterlacer\n");
  ASSERT_TRUE(Select("Webcam"));
  dm.UseDeinterlacer = true;
  EXPECT_FALSE(dm.BuildPreviewGraph(window_->MemberFilter()));
  dm.UseDeinterlacer = false;
  Simulate(kEveryKindMachine);

  // A source that is not DV refuses a DV type 2 graph and writes nothing.
  ASSERT_TRUE(Select("Webcam"));
  ASSERT_TRUE(dm.BuildPreviewGraph(window_->MemberFilter()));
  const QString path = dir_.filePath(QStringLiteral("refused.avi"));
  EXPECT_FALSE(dm.BuildDVType2CaptureGraph(path));
  EXPECT_FALSE(dm.AviMux);
  EXPECT_FALSE(dm.SwitchOutputFile(path)) << "no file writer to name";
  ASSERT_TRUE(dm.fg->RunGraph());
  ASSERT_TRUE(dm.fg->StopGraph());
  EXPECT_FALSE(QFileInfo::exists(path));

  // Listening asked for what is already so changes nothing; a reset leaves only the sources,
  // the grabber and the window.
  ASSERT_TRUE(Select("Caméscope DV", "Micro"));
  dm.ListenDVAudio = true;
  dm.RecordDVAudio = true;
  ASSERT_TRUE(dm.BuildPreviewGraph(window_->MemberFilter()));
  const auto listeners = [&] {
    return FiltersInGraph().filter(QStringLiteral("Default DirectSound Device")).size();
  };
  EXPECT_TRUE(dm.MonitorDVAudio(true) && dm.MonitorAudioSource(false));
  EXPECT_EQ(listeners(), 1);
  // During a DV type 2 recording the DV sound is heard through the tee, whose output a listener
  // left is taken again.
  ASSERT_TRUE(dm.BuildDVType2CaptureGraph(dir_.filePath(QStringLiteral("heard.avi"))));
  EXPECT_EQ(listeners(), 1) << "the preview's renderer went, the tee's came";
  for (const bool on : {false, true}) {
    EXPECT_TRUE(dm.MonitorDVAudio(on));
    EXPECT_EQ(listeners(), on ? 1 : 0);
  }
  ASSERT_TRUE(dm.fg->RunGraph());
  ASSERT_TRUE(dm.ResetGraph());
  QStringList names = FiltersInGraph();
  names.sort();
  EXPECT_EQ(names, (QStringList{QStringLiteral("AudioSource"), QStringLiteral("VideoSource"),
                                QStringLiteral("sg"), QStringLiteral("vwEcran")}));
  // The reset ended that recording as a whole file: both readers find the same DV frames.
  const std::string heard = dir_.filePath(QStringLiteral("heard.avi")).toStdString();
  const std::vector<vt::ProbedStream> probed = vt::Probe(heard);
  const std::optional<vidorra::avi::AviFileInfo> read = vidorra::avi::AviReader::Read(heard);
  ASSERT_TRUE(!probed.empty() && read && !read->streams.empty());
  EXPECT_EQ(probed.front().codec, "dvvideo");
  EXPECT_EQ(static_cast<long>(read->streams[0].odmlChunks.size()), probed.front().frames);
  ASSERT_TRUE(dm.ReleaseSourceInterfaces());
  EXPECT_EQ(dm.VideoSource->FilterGraph(), nullptr);
  EXPECT_EQ(dm.AudioSource->FilterGraph(), nullptr);
}
