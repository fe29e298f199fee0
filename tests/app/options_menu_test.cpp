// The menu "Réglages": the entries each kind of device gets, their dialogs driven without a
// person, and the submenu "Video Input" routing the card's crossbar while the preview runs.
#include "AppTestSupport.h"

namespace vidorra {
namespace {

constexpr long kChannel = 6;  // a channel whose picture no other input of the card shows

class OptionsMenuTest : public test::WindowTest {
 protected:
  QMenu* VideoInputs() {
    return test::Entry(form_->MENU_OPTIONS, QStringLiteral("Video Input"))->menu();
  }
  static void Cancel(QWidget& frame) { test::ClickButton(frame, QStringLiteral("Annuler")); }
};

// Each kind of device gets the entries of its dialogs (a camcorder's interleaved pin answers the
// look-ups: no pin entries; without an audio device a card's inputs are not offered), as
// tests/snapshots/options-menu-*.txt record them, one file per machine of the table. Every
// entry opens its dialog, a property frame with at least one page, and the preview runs again
// once it is closed, the menu rebuilt still offering it. The driver's format dialog changes the
// picture size: the preview is built again in it.
TEST_F(OptionsMenuTest,
       EachKindOfDeviceGetsItsDialogsAVideoInputRoutesTheCardAndADialogKeepsARecordingWhole) {
  const char* kMachines[] = {"",
                             "video webcam Webcam\naudio tone Micro\n",
                             "video dv Caméscope DV\naudio tone Micro\n",
                             "video tv Carte TV\naudio tv-audio Son TV\n",
                             "video tv2 Carte double\naudio tv-audio Son TV\n",
                             "video tv Carte TV\n",
                             "video vfw Old Driver\naudio tone Micro\n"};
  for (const char* const& machine : kMachines) {
    SCOPED_TRACE(machine);
    Start(machine);
    test::ExpectSnapshot(*form_->MENU_OPTIONS,
                         "options-menu-" + QString::number(&machine - kMachines));
    const QString entries =
        test::Captions(form_->MENU_OPTIONS).section(QStringLiteral(",-,"), 0, 0);
    for (const QString& entry : entries.split(u',', Qt::SkipEmptyParts)) {
      SCOPED_TRACE(entry.toStdString());
      OpenDialog(entry, [](QWidget& frame) {
        EXPECT_EQ(frame.objectName(), QStringLiteral("PropertyFrame"));
        const auto* tabs = frame.findChild<QTabWidget*>();
        EXPECT_GE(tabs != nullptr ? tabs->count() : 0, 1);
        Cancel(frame);
      });
      EXPECT_EQ(form_->CaptureState, stPreview);
      EXPECT_TRUE(PictureMoves());
      EXPECT_EQ(test::Captions(form_->MENU_OPTIONS).count(entry), 1);
    }
  }
  OpenDialog(QStringLiteral("Video Format..."), [](QWidget& frame) {
    ASSERT_TRUE(test::ChooseItem(frame.findChild<QComboBox*>(QStringLiteral("cboxSize")),
                                 QStringLiteral("320 x 240")));
    test::ClickButton(frame, QStringLiteral("OK"));
  });
  EXPECT_TRUE(test::WaitUntil([&] { return test::ShownImage(*form_).size() == QSize(320, 240); }));
  EXPECT_TRUE(PictureMoves());

  // The card of two crossbars: its S-Video on the first, its tuner and composite input on the
  // second, which feeds the first. Every crossbar of an input's route switches its picture and
  // its sound.
  Start("video tv2 Carte double\naudio tv-audio Son TV\n");
  ComPtr<IAMTVTuner> tuner;
  ASSERT_EQ(QueryAs<ICaptureGraphBuilder2>(dmCam->fg)->FindInterface(
                &LOOK_UPSTREAM_ONLY, nullptr, QueryAs<IBaseFilter>(dmCam->VideoSource).Get(),
                IID_IAMTVTuner, tuner.ReleaseAndGetVoidAddressOf()),
            S_OK);
  ASSERT_EQ(tuner->put_Channel(kChannel, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT), S_OK);
  const auto shows = [&](devices::sim::PatternSource input) {
    return test::WaitUntil(
        [&] { return test::ShownInput(test::ShownImage(*form_), kChannel) == input; });
  };
  EXPECT_TRUE(shows(devices::sim::PatternSource::kTuner));
  const IBaseFilter* renderer = form_->vwEcran->MemberFilter();
  const struct {
    const char* input;
    devices::sim::PatternSource shown;
    size_t index, crossbars;
  } kInputs[] = {{"Video Composite", devices::sim::PatternSource::kComposite, 2, 2},
                 {"Video SVideo", devices::sim::PatternSource::kSVideo, 0, 1},
                 {"Video Tuner", devices::sim::PatternSource::kTuner, 1, 2}};
  for (const auto& [input, shown, index, crossbars] : kInputs) {
    SCOPED_TRACE(input);
    test::Entry(VideoInputs(), QString::fromUtf8(input))->trigger();
    EXPECT_TRUE(test::Captions(VideoInputs()).contains(QString::fromUtf8(input) + u'*'));
    EXPECT_TRUE(shows(shown));
    ASSERT_EQ(dmCam->Crossbar->Routes().at(index).size(), crossbars);
    for (const TCrRouting& step : dmCam->Crossbar->Routes()[index]) {
      long video = -1, sound = -1;
      step.XBar->get_IsRoutedTo(step.VideoOutIndex, &video);
      step.XBar->get_IsRoutedTo(step.AudioOutIndex, &sound);
      EXPECT_EQ(video, step.VideoInIndex);
      EXPECT_TRUE(step.AudioInIndex == -1 || sound == step.AudioInIndex) << "the sound follows";
    }
    EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);
    EXPECT_EQ(form_->vwEcran->MemberFilter(), renderer) << "the preview is not rebuilt";
  }
  // A rebuild routes the tuner again.
  test::Entry(VideoInputs(), QStringLiteral("Video Composite"))->trigger();
  ASSERT_TRUE(shows(devices::sim::PatternSource::kComposite));
  form_->BuildOptionsMenu();
  EXPECT_TRUE(test::Captions(VideoInputs()).contains(QStringLiteral("Video Tuner*")));
  EXPECT_TRUE(shows(devices::sim::PatternSource::kTuner));
  // The card unplugged before the window has heard of it: its crossbar refuses the route, and
  // the mark stays on the input in use.
  Replug("audio tv-audio Son TV\n");
  win::SimulatedMachine::ReloadCurrentForTesting();
  test::Entry(VideoInputs(), QStringLiteral("Video Composite"))->trigger();
  EXPECT_TRUE(test::Captions(VideoInputs()).contains(QStringLiteral("Video Tuner*")));
  EXPECT_FALSE(test::Captions(VideoInputs()).contains(QStringLiteral("Video Composite*")));
  ASSERT_EQ(reports_.size(), 1);
  EXPECT_TRUE(
      reports_.takeFirst().startsWith(QStringLiteral("Assertion failure (mainFluxOptions.cpp")));

  // A dialog opened during a recording: the audio filter's page, after which the graph runs
  // again, lets the recording go on in the next file; the video filter's page, after which the
  // preview is built anew, ends it. Either way the finished file is whole and is not written
  // over. A programme in force stays armed after a dialog.
  Start("video dv Caméscope DV\naudio tone Micro\n");
  const QString kRecorded = QStringLiteral("dvvideo dvsd 720x576 + pcm_s16le");
  for (const bool goesOn : {true, false}) {
    SCOPED_TRACE(goesOn ? "audio filter" : "video filter");
    const QString first = Capture();
    OpenDialog(goesOn ? QStringLiteral("Audio Capture Filter...")
                      : QStringLiteral("Video Capture Filter..."),
               Cancel);
    EXPECT_EQ(form_->CaptureState, goesOn ? stRecording : stPreview);
    EXPECT_NE(form_->VideoFileName, first);
    if (goesOn) {
      const QString second = form_->VideoFileName;
      ASSERT_TRUE(Written(second));
      Click(form_->StopBtn);
      EXPECT_EQ(test::ReadBack(second), kRecorded);
    }
    EXPECT_EQ(test::ReadBack(first), kRecorded);
    EXPECT_TRUE(PictureMoves());
  }
  form_->PageControl1->setCurrentWidget(form_->TabSheet2);  // proposes a start in 10 s
  Click(form_->ProgBtn);
  ASSERT_EQ(form_->CaptureState, stProgrammed);
  OpenDialog(QStringLiteral("Video Capture Filter..."), Cancel);
  EXPECT_EQ(form_->CaptureState, stProgrammed);
  EXPECT_TRUE(PictureMoves());
  // A preview that cannot be built again after the dialog (the DV splitter gone meanwhile)
  // leaves the window without a source, and the programme dropped, said.
  OpenDialog(QStringLiteral("Video Capture Filter..."), [&](QWidget& frame) {
    Replug("video dv Caméscope DV\naudio tone Micro\nhide-filter DV Splitter\n");
    win::SimulatedMachine::ReloadCurrentForTesting();
    Cancel(frame);
  });
  EXPECT_EQ(form_->CaptureState, stNoSource);
  PanelSays(QStringLiteral("la source de capture ne donne plus d'image"));
}

}  // namespace
}  // namespace vidorra
