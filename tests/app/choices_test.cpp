// The choices of source, format and sound made as a user makes them, one after the other on one
// window from its first show: what each shows and hides, what it does to the running graph, and
// what a recording made right after it holds.
#include "AppTestSupport.h"

namespace vidorra {
namespace {

const QString kListener = QStringLiteral("Default DirectSound Device");

class ChoicesTest : public test::WindowTest {
 protected:
  // What the window shows of the choices: the capture page as recorded (tests/snapshots/,
  // `snapshot`: every control's text, place and font), and where the listening boxes stand
  // (window coordinates). Nothing under the picture overlaps.
  QString Layout(const QString& snapshot) {
    TCaptureForm& f = *form_;
    for (vidorra::RadioGroup* group : {f.rgFormat, f.rgStandard}) group->layout()->activate();
    test::ExpectSnapshot(*f.TabSheet1, snapshot, QRegularExpression("\\d{6}_\\d{6}"));
    QStringList parts;
    std::vector<QWidget*> strip = {f.tb, f.cbMute};
    for (QCheckBox* box : {f.cbEcouterAudioSource, f.cbEcouterAudioDV}) {
      if (box->isVisible()) {
        parts << QStringLiteral("%1 %2,%3").arg(box->text()).arg(box->x()).arg(box->y());
        strip.push_back(box);
      }
    }
    for (size_t i = 0; i < strip.size(); ++i) {
      for (size_t j = i + 1; j < strip.size(); ++j) {
        EXPECT_FALSE(strip[i]->geometry().intersects(strip[j]->geometry()))
            << strip[i]->objectName().toStdString() << " over " << strip[j]->objectName().toStdString();
      }
    }
    return parts.join(QStringLiteral(", "));
  }
  // The names of the filters upstream of `filter` in the graph.
  static QStringList Upstream(IBaseFilter* filter) {
    QStringList names;
    for (int i = 0; ComPtr<IPin> pin = test::PinAt(filter, i); ++i) {
      PIN_DIRECTION direction = PINDIR_OUTPUT;
      pin->QueryDirection(&direction);
      ComPtr<IPin> peer = test::Peer(pin.Get());
      if (direction != PINDIR_INPUT || !peer) continue;
      ComPtr<IBaseFilter> owner = test::OwnerOf(peer.Get());
      FILTER_INFO info{};
      owner->QueryFilterInfo(&info);
      if (info.pGraph) info.pGraph->Release();
      names << QString::fromWCharArray(info.achName) << Upstream(owner.Get());
    }
    return names;
  }
};

TEST_F(ChoicesTest, EachChoiceArrangesTheWindowActsOnTheGraphAndShowsInTheRecording) {
  // The first show, made with the separate sound ticked, lists the devices, selects the first
  // ones (the formats and sounds of a camcorder: the sound lists and boxes in choices-1) and
  // previews the camcorder at once, the deinterlacer offered.
  Make("video dv Camescope DV\nvideo webcam Webcam\naudio tone Micro\naudio tv-audio Son TV\n");
  TCaptureForm& f = *form_;
  f.cbEnregistrerAudioSource->setChecked(true);
  f.cbEnregistrerAudioDV->setChecked(false);
  f.show();
  EXPECT_EQ(test::Items(f.cboxVideo) << f.cboxVideo->currentText(),
            (QStringList{QStringLiteral("Camescope DV"), QStringLiteral("Webcam"),
                         QStringLiteral("Camescope DV")}));
  EXPECT_TRUE(f.cbDeinterlacer->isVisibleTo(f.TabSheet4) && dmCam->DeinterlacerInstalled);
  EXPECT_FALSE(dmCam->UseDeinterlacer) << "the box is unchecked";
  const auto format = [&](int item) { Click(f.rgFormat->Button(item)); };
  // Where the listening boxes stand: beside each other, or one over the other when both show.
  const QString kDVStrip = QStringLiteral("Ecouter DV 344,413");
  const QString kBothStrip = QStringLiteral("Ecouter Audio 344,400, Ecouter DV 344,420");
  const QString kAudioStrip = QStringLiteral("Ecouter Audio 344,413");
  const struct {
    const char* choice;
    std::function<void()> make;
    QString strip;
    const char* streams;
  } kSteps[] = {
      {"the camcorder, at first show", [] {}, kDVStrip, "dvvideo dvsd 720x576 + pcm_s16le"},
      // The sound travels inside the interleaved stream, where ffprobe finds it too.
      {"DV type 1", [&] { format(0); }, kDVStrip, "dvvideo 720x576 + pcm_s16le"},
      {"DV type 2 recompressé", [&] { format(2); }, kBothStrip, "dvvideo dvsd 720x576 + pcm_s16le"},
      {"NTSC", [&] { Click(f.rgStandard->Button(1)); }, kBothStrip,
       "dvvideo dvsd 720x480 + pcm_s16le"},
      {"no DV sound", [&] { Click(f.cbEnregistrerAudioDV); }, kBothStrip, "dvvideo dvsd 720x480"},
      {"the microphone added", [&] { Click(f.cbEnregistrerAudioSource); }, kBothStrip,
       "dvvideo dvsd 720x480 + pcm_s16le"},
      // The microphone stays added: only a camcorder takes it away.
      {"the webcam", [&] { ASSERT_TRUE(test::ChooseItem(f.cboxVideo, QStringLiteral("Webcam"))); },
       kAudioStrip, "mjpeg MJPG 1280x720 + pcm_s16le"},
      {"the webcam re-encoded", [&] { format(1); }, kAudioStrip,
       "dvvideo dvsd 720x480 + pcm_s16le"},
      {"the webcam's own stream without the microphone",
       [&] {
         format(0);
         Click(f.cbEnregistrerAudioSource);
       },
       kAudioStrip, "mjpeg MJPG 1280x720"},
  };
  int steps = 0;
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.choice);
    step.make();
    EXPECT_EQ(Layout(QStringLiteral("choices-%1").arg(++steps)), step.strip);
    EXPECT_EQ(f.CaptureState, stPreview);
    EXPECT_TRUE(PictureMoves());
    // The webcam's frames are numbered too, but its 1280x720 JPEG pictures cost the simulated
    // camera more than a sanitizer build keeps up with: its files are read for their streams.
    EXPECT_EQ(test::Streams(Record()), QString::fromLatin1(step.streams));
  }
  {
    // The webcam's own stream, cut by stopping and running the graph again.
    SCOPED_TRACE("a cut that stops and runs the graph again: the status line counts on");
    const QRegularExpression images(QStringLiteral("^0:00:[0-9]{2} · ([0-9]+) images"));
    const auto counted = [&] {
      return images.match(f.labStatistiques->accessibleDescription()).captured(1).toLong();
    };
    const QString first = Capture(100000);
    ASSERT_TRUE(test::WaitUntil([&] { return counted() >= 30; }));
    Click(f.CouperBtn);
    const QString second = f.VideoFileName;
    ASSERT_EQ(f.CaptureState, stRecording);
    ASSERT_TRUE(Written(second, 100000));
    Click(f.StopBtn);
    // The last count, taken as the recording stopped, holds the frames of both files.
    const auto frames = [](const QString& file) {
      return test::Probe(file.toStdString()).at(0).frames;
    };
    EXPECT_NEAR(counted(), frames(first) + frames(second), 2)
        << f.labStatistiques->accessibleDescription().toStdString();
  }
  {
    // The webcam offers no DV sound and no tape (its two formats: choices-9).
    SCOPED_TRACE("a name typed letter by letter binds nothing until it names a device");
    EXPECT_FALSE(f.PageControl1->isTabVisible(f.PageControl1->indexOf(f.TabSheet5)) ||
                 f.labTimecode->isVisible());
    EXPECT_FALSE(f.cbEnregistrerAudioDV->isChecked() || f.cbEcouterAudioDV->isChecked());
    EXPECT_EQ(test::FiltersNamed(kListener), 0);
    f.cboxVideo->lineEdit()->clear();
    QTest::keyClicks(f.cboxVideo->lineEdit(), QStringLiteral("Camescope"));
    EXPECT_EQ(f.CaptureState, stPreview) << "a failed binding changes no state";
    QTest::keyClicks(f.cboxVideo->lineEdit(), QStringLiteral(" DV"));
    EXPECT_TRUE(dmCam->IsDVSource);
    EXPECT_EQ(f.rgFormat->ItemIndex(), 1) << "the camcorder's formats come back";
    EXPECT_TRUE(f.cbEcouterAudioDV->isChecked());
    EXPECT_EQ(test::FiltersNamed(kListener), 1);
    EXPECT_TRUE(PictureMoves());
    EXPECT_EQ(f.cboxVideo->count(), 2) << "not added to the list";
  }
  {
    // Full screen: at the window's size the picture is decoded at half size, one field's rows,
    // and needs none.
    SCOPED_TRACE(
        "the deinterlacer box rebuilds the whole picture's preview through it and without it");
    f.PageControl1->setCurrentWidget(f.TabSheet4);
    for (const int deinterlacers : {1, 0}) {
      Click(f.cbDeinterlacer);
      EXPECT_EQ(dmCam->UseDeinterlacer, deinterlacers == 1);
      EXPECT_EQ(test::FiltersNamed(QStringLiteral("Deinterlacer")), 0);
      Click(f.PleinEcranBtn);
      EXPECT_EQ(test::FiltersNamed(QStringLiteral("Deinterlacer")), deinterlacers);
      EXPECT_EQ(f.CaptureState, stPreview);
      EXPECT_TRUE(PictureMoves());
      f.PLeinEcran1->trigger();
      if (deinterlacers == 0) continue;
      // Recordings take the picture before it, both fields as the camcorder gave them, from the
      // window's half-size preview. The re-encoded one is decoded whole, and the preview goes on
      // through the deinterlacer.
      for (const int item : {0, 2}) {
        SCOPED_TRACE(item == 0 ? "DV type 1" : "DV type 2 recompressé");
        f.PageControl1->setCurrentWidget(f.TabSheet1);
        format(item);
        EXPECT_EQ(test::DecoderResolution(), DVRESOLUTION_HALF);
        const QString file = Capture();
        EXPECT_EQ(test::DecoderResolution(), item == 0 ? DVRESOLUTION_HALF : DVRESOLUTION_FULL);
        EXPECT_EQ(test::FiltersNamed(QStringLiteral("Deinterlacer")), item == 0 ? 0 : 1);
        const QStringList upstream = Upstream(dmCam->AviMux.Get());
        EXPECT_TRUE(upstream.contains(QStringLiteral("VideoSource")) &&
                    !upstream.contains(QStringLiteral("Deinterlacer")))
            << upstream.join(u',').toStdString();
        EXPECT_TRUE(PictureMoves());
        Click(f.StopBtn);
        EXPECT_EQ(test::ReadBack(file), item == 0 ? QStringLiteral("dvvideo 720x576 + pcm_s16le")
                                                  : QStringLiteral("dvvideo dvsd 720x480 + pcm_s16le"));
      }
      format(1);
      f.PageControl1->setCurrentWidget(f.TabSheet4);
    }
  }
  {
    SCOPED_TRACE("the listening boxes add and take away the renderers of the running graph");
    Click(f.cbEcouterAudioDV);
    EXPECT_EQ(test::FiltersNamed(kListener), 0);
    format(2);  // the separate sound is offered with the re-encoded format
    ASSERT_FALSE(f.cbEcouterAudioSource->isEnabled());
    Click(f.cbEnregistrerAudioSource);
    ASSERT_TRUE(f.cbEcouterAudioSource->isEnabled() && f.cboxAudio->isEnabled());
    Click(f.cbEcouterAudioSource);
    EXPECT_TRUE(f.cbMute->isChecked()) << "hearing the audio device mutes the window";
    EXPECT_EQ(test::FiltersNamed(kListener), 1);
    Click(f.cbEcouterAudioDV);
    EXPECT_TRUE(f.cbEcouterAudioDV->isChecked());
    EXPECT_TRUE(f.cbMute->isChecked()) << "the DV sound leaves Mute alone";
    EXPECT_EQ(test::FiltersNamed(kListener), 2);
    EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);
    // Both still heard while recorded (the audio device through the second tee): the sound
    // server's sink receives two streams, the file carries both sounds.
    const QString heard = Capture();
    EXPECT_EQ(test::FiltersNamed(kListener), 2);
    const auto sinkInputs = [] {
      return QString::fromStdString(test::RunCommand("pactl list short sink-inputs"))
          .split(u'\n', Qt::SkipEmptyParts)
          .size();
    };
    EXPECT_TRUE(test::WaitUntil([&] { return sinkInputs() == 2; })) << sinkInputs();
    Click(f.StopBtn);
    EXPECT_EQ(test::ReadBack(heard), QStringLiteral("dvvideo dvsd 720x480 + pcm_s16le + pcm_s16le"));
    // Taking the audio device away stops hearing it and locks its boxes.
    Click(f.cbEnregistrerAudioSource);
    EXPECT_FALSE(f.cbEcouterAudioSource->isChecked() || f.cbEcouterAudioSource->isEnabled() ||
                 f.cboxAudio->isEnabled() || f.cbMute->isChecked());
    EXPECT_EQ(test::FiltersNamed(kListener), 1);
    Click(f.cbEnregistrerAudioDV);  // a sound not recorded is not heard
    EXPECT_FALSE(f.cbEcouterAudioDV->isChecked() || f.cbEcouterAudioDV->isEnabled());
    EXPECT_EQ(test::FiltersNamed(kListener), 0);
    EXPECT_TRUE(PictureMoves());
  }
}

}  // namespace
}  // namespace vidorra
