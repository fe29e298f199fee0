// TV cards: the crossbar routing rules and related pins; the tuner and TV sound; and what routes,
// channels and picture controls do to the pictures.
#include <vidorra_pages.h>

#include "device_test_support.h"

namespace vidorra::test {
namespace {

constexpr REFERENCE_TIME k25Fps = 400000;

class Cards : public ::testing::Test {
 protected:
  template <class I>
  ComPtr<I> Find(IBaseFilter* card, const GUID* category = &PIN_CATEGORY_CAPTURE) {
    ComPtr<I> found;
    g_.builder->FindInterface(category, &MEDIATYPE_Video, card, I::kIid,
                              found.ReleaseAndGetVoidAddressOf());
    return found;
  }
  // Runs up to frame n and returns the mean Y, Cb, Cr of 16 columns at the top of the second
  // bar (46 columns wide): the bars scroll 4 pixels a frame of the device's clock, which runs
  // from its plug-in, so where the bar is follows from the picture's own number.
  std::vector<double> SecondBarAt(long n) {
    EXPECT_TRUE(StepFrames(g_, capture_.Get(), n + 1, k25Fps));
    EXPECT_TRUE(WaitUntil([&] { return sink_->Count() == static_cast<size_t>(n + 1); }));
    const int start = (320 / 7 + 4 * static_cast<int>(sink_->Numbers().back().value_or(0) % 80)) % 320;
    const int x = (start + 15) % 320;
    return sink_->MeanYuv(x > 304 ? 0 : x, 20, 16, 30);
  }
  // The mean luma of the grey ramp below the bars.
  double Ramp() { return sink_->MeanYuv(0, 155, 320, 30)[0]; }

  ScopedMachine machine_{
      "video tv Carte TV\n"
      "video tv2 Double\n"};
  ClockedGraph g_;
  ComPtr<PatternSink> sink_ = MakeComObject<PatternSink>();
  ComPtr<IPin> capture_;
};

// The crossbars listed; the crossbar: routing rules and related pins; then the tuner and the TV
// sound of the card.
TEST_F(Cards, CrossbarRoutesVideoToVideoAndSoundToSoundAndTheTunerKeepsItsChannel) {
  EXPECT_EQ(FriendlyNames(AM_KSCATEGORY_CROSSBAR).size(), 3u) << "the card's one, the double's two";
  ComPtr<IBaseFilter> card;  // its capture pin (320x240) into sink_
  capture_ = g_.Capture(L"Carte TV", sink_.Get(), 2, &card);
  ComPtr<IAMCrossbar> crossbar = Find<IAMCrossbar>(card.Get());
  ASSERT_TRUE(crossbar);
  // Inputs: tuner, composite, S-Video, tuner sound, line; outputs: video, sound.
  EXPECT_EQ(CrossbarPins(crossbar.Get()),
            (std::vector<std::pair<long, long>>{{3, PhysConn_Video_Tuner},
                                                {4, PhysConn_Video_Composite},
                                                {4, PhysConn_Video_SVideo},
                                                {0, PhysConn_Audio_Tuner},
                                                {1, PhysConn_Audio_Line},
                                                {1, PhysConn_Video_VideoDecoder},
                                                {0, PhysConn_Audio_AudioDecoder}}));

  EXPECT_EQ(E_INVALIDARG, crossbar->CanRoute(2, 0));
  EXPECT_EQ(E_INVALIDARG, crossbar->Route(0, 3));
  long routed = -2;
  crossbar->get_IsRoutedTo(0, &routed);
  EXPECT_EQ(routed, 0) << "the tuner by default";
  // The video moves alone; the sound follows when the caller routes the related pins.
  const struct {
    long output, input, video, sound;  // the route made, then what each output is routed to
  } routes[] = {{0, 1, 1, 3}, {1, 4, 1, 4}, {0, -1, -1, 4}};
  for (const auto& r : routes) {
    ASSERT_EQ(S_OK, crossbar->Route(r.output, r.input));
    long video = -2, sound = -2;
    crossbar->get_IsRoutedTo(0, &video);
    crossbar->get_IsRoutedTo(1, &sound);
    EXPECT_EQ(std::make_pair(video, sound), std::make_pair(r.video, r.sound)) << r.input;
  }

  // The tuner tunes a channel; refusals. (Its range, countries and input type: the tuner page.)
  ComPtr<IAMTVTuner> tuner = Find<IAMTVTuner>(card.Get());
  ASSERT_TRUE(tuner);
  long found = 0, channel = 0, video = 0, audio = 0, standard = 0;
  EXPECT_EQ(E_INVALIDARG, tuner->put_Channel(70, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT));
  ASSERT_EQ(S_OK, tuner->AutoTune(21, &found));
  EXPECT_EQ(found, 1);
  tuner->get_Channel(&channel, &video, &audio);
  tuner->get_VideoFrequency(&video);
  tuner->get_AudioFrequency(&audio);
  tuner->get_TVFormat(&standard);  // France by default
  EXPECT_EQ(std::vector<long>({channel, video, audio, standard}),
            std::vector<long>({21, 471'250'000, 476'750'000, AnalogVideo_SECAM_L}));
  EXPECT_EQ(E_INVALIDARG, tuner->put_InputType(1, TunerInputCable));
  EXPECT_EQ(E_INVALIDARG, tuner->put_Mode(AMTUNER_MODE_FM_RADIO));
  // The TV audio filter of the same card, and its page.
  ComPtr<IAMTVAudio> sound;
  ASSERT_EQ(S_OK, g_.builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, card.Get(),
                                            IID_IAMTVAudio, sound.ReleaseAndGetVoidAddressOf()));
  CAUUID pages{};
  ASSERT_EQ(S_OK, QueryAs<ISpecifyPropertyPages>(sound.Get())->GetPages(&pages));
  EXPECT_TRUE(pages.cElems == 1 && pages.pElems[0] == CLSID_TVAudioPropertyPage);
  CoTaskMemFree(pages.pElems);
}

// The pictures show what the routes and the channel select, on a card whose second crossbar
// feeds the first one's input 1; the picture controls act on the picture but not on the frame
// number. (The builder's connection of the front end: the capture builder's tests; the chained
// crossbars' routes and their pictures: the engine's crossbar test.)
TEST_F(Cards, ThePictureShowsTheRoutedInputAndChannelAndWhatThePictureControlsDo) {
  ComPtr<IBaseFilter> card;
  capture_ = g_.Capture(L"Double", sink_.Get(), 2, &card);
  ComPtr<IAMCrossbar> first = Find<IAMCrossbar>(card.Get());
  ASSERT_TRUE(first);
  ComPtr<IAMCrossbar> second;
  ASSERT_EQ(S_OK, g_.builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr,
                                            QueryAs<IBaseFilter>(first.Get()).Get(),
                                            IID_IAMCrossbar, second.ReleaseAndGetVoidAddressOf()));
  ComPtr<IAMTVTuner> tuner = Find<IAMTVTuner>(card.Get());
  ASSERT_TRUE(tuner);
  ComPtr<IAMVideoProcAmp> amp = QueryAs<IAMVideoProcAmp>(card.Get());
  ASSERT_TRUE(amp);
  ASSERT_EQ(S_OK, g_.Run());
  const auto tuner4 = SecondBarAt(0);
  ASSERT_EQ(S_OK, tuner->put_Channel(6, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT));
  const auto tuner6 = SecondBarAt(1);
  ASSERT_EQ(S_OK, tuner->put_Channel(5, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT));
  const auto empty = SecondBarAt(2);
  ASSERT_EQ(S_OK, second->Route(0, 1));  // the second crossbar's composite
  const auto composite = SecondBarAt(3);
  ASSERT_EQ(S_OK, first->Route(0, 0));  // the first crossbar's own S-Video
  const auto svideo = SecondBarAt(4);
  const double plainRamp = Ramp();
  amp->Set(VideoProcAmp_Brightness, 200, VideoProcAmp_Flags_Manual);
  SecondBarAt(5);
  EXPECT_GT(Ramp(), plainRamp + 40) << "brighter";
  amp->Set(VideoProcAmp_Brightness, 128, VideoProcAmp_Flags_Manual);
  amp->Set(VideoProcAmp_Contrast, 0, VideoProcAmp_Flags_Manual);
  SecondBarAt(6);
  EXPECT_NEAR(Ramp(), 16, 3) << "no contrast: black";
  amp->Set(VideoProcAmp_Contrast, 100, VideoProcAmp_Flags_Manual);
  amp->Set(VideoProcAmp_Saturation, 0, VideoProcAmp_Flags_Manual);
  const auto grey = SecondBarAt(7);
  EXPECT_LT(std::abs(grey[1] - 128) + std::abs(grey[2] - 128), 6) << "no saturation: grey";
  amp->Set(VideoProcAmp_Saturation, 100, VideoProcAmp_Flags_Manual);
  amp->Set(VideoProcAmp_Hue, 180, VideoProcAmp_Flags_Manual);
  const auto turned = SecondBarAt(8);
  g_.Stop();
  // Each input and channel shows other bars; an empty channel shows no bars at all.
  EXPECT_GT(std::abs(tuner4[2] - tuner6[2]) + std::abs(tuner4[1] - tuner6[1]), 40);
  EXPECT_GT(std::abs(composite[1] - svideo[1]) + std::abs(composite[2] - svideo[2]), 40);
  EXPECT_LT(empty[0], 40) << "dark";
  EXPECT_GT(empty[1], 150) << "blue";
  long signal = -1;
  tuner->SignalPresent(&signal);
  EXPECT_EQ(signal, AMTUNER_NOSIGNAL);
  EXPECT_NEAR(turned[1] - 128, 128 - svideo[1], 3) << "colours turned half a circle";
  EXPECT_NEAR(turned[2] - 128, 128 - svideo[2], 3);
  // The frame numbers stay readable whatever is shown.
  EXPECT_EQ(FromFirst(sink_->Numbers()),
            (std::vector<std::optional<uint32_t>>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

}  // namespace
}  // namespace vidorra::test
