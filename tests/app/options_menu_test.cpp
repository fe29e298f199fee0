// The menu "Réglages": the entries each kind of device gets, their dialogs driven without a
// person, and the submenu "Video Input" routing the card's crossbar while the preview runs.
#include <modal_dialog_driver.h>
#include <uuids.h>

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QMenu>
#include <QTabWidget>

#include "../engine/ShownInput.h"
#include "AppTestSupport.h"

namespace vidorra {
namespace {

namespace sim = devices::sim;

// A channel whose picture no other input of the card shows.
constexpr long kChannel = 6;

class OptionsMenuTest : public test::WindowTest {
 protected:
  // The entries' captions, a separator as "-"; a separator has no text of its own (a style
  // would draw it beside the line).
  static QStringList Captions(const QMenu* menu) {
    QStringList captions;
    if (menu == nullptr) return captions;
    for (const QAction* action : menu->actions()) {
      if (action->isSeparator()) {
        EXPECT_TRUE(action->text().isEmpty());
      }
      captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return captions;
  }
  // The submenu of the menu's current build.
  QMenu* VideoInputs() {
    QAction* item = Entry(form_->MENU_OPTIONS, QStringLiteral("Video Input"));
    return item != nullptr ? item->menu() : nullptr;
  }
  QAction* Entry(const QMenu* menu, const QString& caption) {
    for (QAction* action : menu->actions()) {
      if (action->text() == caption) return action;
    }
    return nullptr;
  }
  QString CheckedInput() {
    for (const QAction* action : VideoInputs()->actions()) {
      if (action->isChecked()) return action->text();
    }
    return {};
  }
};

TEST_F(OptionsMenuTest, EachKindOfDeviceGetsTheEntriesOfItsDialogs) {
  const QString kAudioFilter = QStringLiteral("Audio Capture Filter...");
  const QString kVideoFilter = QStringLiteral("Video Capture Filter...");
  const QString kCapturePin = QStringLiteral("Video Capture Pin...");
  const QString kAudioPin = QStringLiteral("Audio Capture Pin...");
  const QStringList kTvInputs = {QStringLiteral("Video Tuner"), QStringLiteral("Video Composite"),
                                 QStringLiteral("Video SVideo")};
  const struct {
    const char* machine;
    QStringList entries;
    QStringList inputs;  // the submenu "Video Input", the tuner checked
  } kCases[] = {
      {"video vfw Old Driver\naudio tone Micro\n",
       {QStringLiteral("Video Format..."), QStringLiteral("Video Source..."), kAudioFilter},
       {}},
      {"video webcam Webcam\naudio tone Micro\n",
       {kAudioFilter, kVideoFilter, kCapturePin, QStringLiteral("Video Preview Pin..."), kAudioPin},
       {}},
      // The camcorder's interleaved pin answers the look-ups: no pin entries.
      {"video dv Caméscope DV\naudio tone Micro\n", {kAudioFilter, kVideoFilter, kAudioPin}, {}},
      {"video tv Carte TV\naudio tv-audio Son TV\n",
       {kAudioFilter, kVideoFilter, kCapturePin, QStringLiteral("Video Crossbar..."),
        QStringLiteral("TV Tuner..."), kAudioPin, QStringLiteral("TV Audio..."),
        QStringLiteral("-"), QStringLiteral("Video Input")},
       kTvInputs},
      {"video tv2 Carte double\naudio tv-audio Son TV\n",
       {kAudioFilter, kVideoFilter, kCapturePin, QStringLiteral("Video Crossbar..."),
        QStringLiteral("Second Crossbar..."), QStringLiteral("TV Tuner..."), kAudioPin,
        QStringLiteral("TV Audio..."), QStringLiteral("-"), QStringLiteral("Video Input")},
       {QStringLiteral("Video SVideo"), QStringLiteral("Video Tuner"),
        QStringLiteral("Video Composite")}},
      // Without an audio device the card's inputs are not offered.
      {"video tv Carte TV\n",
       {kVideoFilter, kCapturePin, QStringLiteral("Video Crossbar..."),
        QStringLiteral("TV Tuner...")},
       {}},
      {"", {}, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.machine);
    Start(c.machine);
    EXPECT_EQ(Captions(form_->MENU_OPTIONS), c.entries);
    EXPECT_EQ(Captions(VideoInputs()), c.inputs);
    if (!c.inputs.isEmpty()) {
      EXPECT_EQ(CheckedInput(), QStringLiteral("Video Tuner"));
    }
  }
}

// Every entry opens its dialog (a property frame with at least one page), and the preview runs
// again once it is closed; a dialog's entry rebuilds the menu, which still offers it. The
// driver's format dialog changes the picture size: the preview is built again in it.
TEST_F(OptionsMenuTest, EveryEntryOpensItsDialogAndThePreviewComesBack) {
  for (const char* machine : {"video webcam Webcam\naudio tone Micro\n",
                              "video tv2 Carte double\naudio tv-audio Son TV\n",
                              "video vfw Old Driver\naudio tone Micro\n"}) {
    SCOPED_TRACE(machine);
    Start(machine);
    QStringList entries = Captions(form_->MENU_OPTIONS);
    entries.removeAll(QStringLiteral("-"));
    entries.removeAll(QStringLiteral("Video Input"));
    ASSERT_FALSE(entries.isEmpty());
    for (const QString& caption : entries) {
      SCOPED_TRACE(caption.toStdString());
      test::ModalDialogDriver driver([](QWidget& frame) {
        EXPECT_EQ(frame.objectName(), QStringLiteral("PropertyFrame"));
        const auto* tabs = frame.findChild<QTabWidget*>();
        ASSERT_NE(tabs, nullptr);
        EXPECT_GE(tabs->count(), 1);
        test::ClickButton(frame, QStringLiteral("Annuler"));
      });
      Entry(form_->MENU_OPTIONS, caption)->trigger();
      EXPECT_EQ(driver.DialogsDriven(), 1);
      EXPECT_EQ(form_->CaptureState, stPreview);
      EXPECT_TRUE(PictureMoves());
      EXPECT_EQ(Captions(form_->MENU_OPTIONS).count(caption), 1);
    }
  }
  test::ModalDialogDriver driver([](QWidget& frame) {
    ASSERT_TRUE(test::ChooseItem(frame.findChild<QComboBox*>(QStringLiteral("cboxSize")),
                                 QStringLiteral("320 x 240")));
    test::ClickButton(frame, QStringLiteral("OK"));
  });
  Entry(form_->MENU_OPTIONS, QStringLiteral("Video Format..."))->trigger();
  EXPECT_EQ(driver.DialogsDriven(), 1);
  EXPECT_TRUE(test::WaitUntil([&] { return test::ShownImage(*form_).size() == QSize(320, 240); }));
  EXPECT_TRUE(PictureMoves());
}

// The card's input the picture shows now, judged on a numbered frame.
std::optional<sim::PatternSource> ShownSource(TCaptureForm& form) {
  const QImage image = test::ShownImage(form);
  const std::optional<uint32_t> number = test::FrameNumberOf(image);
  if (!number) return std::nullopt;
  return test::ShownInput([&](int x, int y) { return image.pixel(x, y); }, image.width(),
                          image.height(), *number, kChannel);
}

TEST_F(OptionsMenuTest, AVideoInputRoutesTheCardWhileThePreviewRuns) {
  Start("video tv Carte TV\naudio tv-audio Son TV\n");
  ASSERT_NE(VideoInputs(), nullptr);
  ComPtr<IAMTVTuner> tuner;
  ASSERT_EQ(QueryAs<ICaptureGraphBuilder2>(dmCam->fg)->FindInterface(
                &LOOK_UPSTREAM_ONLY, nullptr, QueryAs<IBaseFilter>(dmCam->VideoSource).Get(),
                IID_IAMTVTuner, tuner.ReleaseAndGetVoidAddressOf()),
            S_OK);
  ASSERT_EQ(tuner->put_Channel(kChannel, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT), S_OK);
  EXPECT_TRUE(test::WaitUntil([&] { return ShownSource(*form_) == sim::PatternSource::kTuner; }));
  const IBaseFilter* renderer = form_->vwEcran->MemberFilter();
  const struct {
    const char* input;
    sim::PatternSource shown;
  } kInputs[] = {{"Video Composite", sim::PatternSource::kComposite},
                 {"Video SVideo", sim::PatternSource::kSVideo},
                 {"Video Tuner", sim::PatternSource::kTuner}};
  for (const auto& c : kInputs) {
    SCOPED_TRACE(c.input);
    Entry(VideoInputs(), QString::fromUtf8(c.input))->trigger();
    EXPECT_EQ(CheckedInput(), QString::fromUtf8(c.input));
    EXPECT_TRUE(test::WaitUntil([&] { return ShownSource(*form_) == c.shown; }));
    EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);
    EXPECT_EQ(form_->vwEcran->MemberFilter(), renderer) << "the preview is not rebuilt";
  }
  // A rebuild routes the tuner again.
  Entry(VideoInputs(), QStringLiteral("Video Composite"))->trigger();
  form_->BuildOptionsMenu();
  EXPECT_EQ(CheckedInput(), QStringLiteral("Video Tuner"));
  EXPECT_TRUE(test::WaitUntil([&] { return ShownSource(*form_) == sim::PatternSource::kTuner; }));
}

// A dialog opened during a recording: the audio filter's page, after which the graph runs
// again, lets the recording go on in the next file; the video filter's page, after which the
// preview is built anew, ends it. Either way the finished file is whole and is not written
// over. A programme in force stays armed after a dialog.
TEST_F(OptionsMenuTest, ADialogDuringARecordingKeepsTheFileWholeAndAProgrammeArmed) {
  Start("video dv Caméscope DV\naudio tone Micro\n");
  const auto cancelled = [&](const char* entry) {
    test::ModalDialogDriver driver(
        [](QWidget& frame) { test::ClickButton(frame, QStringLiteral("Annuler")); });
    Entry(form_->MENU_OPTIONS, QString::fromLatin1(entry))->trigger();
    EXPECT_EQ(driver.DialogsDriven(), 1);
  };
  const struct {
    const char* entry;
    std::uint8_t after;
  } kCases[] = {{"Audio Capture Filter...", stRecording}, {"Video Capture Filter...", stPreview}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.entry);
    const QString first = Capture();
    cancelled(c.entry);
    EXPECT_EQ(form_->CaptureState, c.after);
    EXPECT_NE(form_->VideoFileName, first);
    if (c.after == stRecording) {
      const QString second = form_->VideoFileName;
      ASSERT_TRUE(Written(second));
      form_->StopBtn->click();
      test::ExpectWholeRecording(second);
    }
    test::ExpectWholeRecording(first);
    EXPECT_TRUE(PictureMoves());
  }
  form_->PageControl1->setCurrentWidget(form_->TabSheet2);  // proposes a start in 10 s
  form_->ProgBtn->click();
  ASSERT_EQ(form_->CaptureState, stProgrammed);
  cancelled("Video Capture Filter...");
  EXPECT_EQ(form_->CaptureState, stProgrammed);
  EXPECT_TRUE(PictureMoves());
}

}  // namespace
}  // namespace vidorra
