// The DV codec and filters in place: decoding and coding where the frame lies, one conversion at
// most, and the chains intelligent connect builds on the codec's own format.
#include <ColorSpaceConverter.h>
#include <PixelFormatConverter.h>
#include <SmartTee.h>
#include <TestCountingSink.h>
#include <VideoRenderer.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "avi/AviReader.h"
#include "dv/DvMediaTypes.h"
#include "dv/DvVideoEncoderFilter.h"
#include "dv_test_support.h"

namespace vidorra::dv {
namespace {

using test::DvFrameMaker;

constexpr uint32_t kPictureNumber = 2;

// The frame number DvFrameMaker's pictures carry: 32 black/white blocks across the top rows,
// read at row 8 through `luma` (0..255).
uint32_t ReadNumber(int width, const std::function<int(int x, int y)>& luma) {
  uint32_t number = 0;
  for (int bit = 0; bit < 32; ++bit) {
    const int x = bit * width / 32 + width / 64;
    number = (number << 1) | (luma(x, 8) > 128 ? 1u : 0u);
  }
  return number;
}

// A decoded picture padded as the filters' buffers are, so the codec can work in it.
struct PaddedFrame {
  std::vector<uint8_t> bytes;
  std::span<const uint8_t> frame;
  explicit PaddedFrame(const std::vector<uint8_t>& dif) : bytes(dif) {
    bytes.resize(dif.size() + kPadding, 0);
    frame = {bytes.data(), dif.size()};
  }
};

TEST(DvCodec, DecodesEachFormatInOneStepAndItsOwnWithoutAny) {
  for (DvSystem system : {DvSystem::k625_50, DvSystem::k525_60}) {
    DvFrameMaker maker(system);
    ASSERT_TRUE(maker.ok());
    const PaddedFrame frame(maker.Frame(kPictureNumber));
    const SystemFacts& facts = FactsOf(system);
    for (PictureFormat format : {PictureFormat::kI420, PictureFormat::kY41b, PictureFormat::kRgb32,
                                 PictureFormat::kRgb24, PictureFormat::kYuy2}) {
      SCOPED_TRACE(testing::Message() << "system " << static_cast<int>(system) << " format "
                                      << static_cast<int>(format));
      auto decoder = DvVideoDecoder::Create();
      ASSERT_TRUE(decoder);
      std::vector<uint8_t> picture(PictureBytes(format, facts.width, facts.height), 0);
      ASSERT_EQ(decoder->Decode(frame.frame, frame.bytes.size(), format, picture), S_OK);
      EXPECT_EQ(decoder->Copies(), 0) << "the frame is read where it lies";
      EXPECT_EQ(decoder->Conversions(), format == NativeFormat(system) ? 0 : 1);
      std::vector<uint8_t> copied;
      ASSERT_EQ(decoder->Decode(maker.Frame(kPictureNumber), format, copied), S_OK);
      EXPECT_EQ(decoder->Copies(), 1) << "no room after the frame: it is copied first";
      EXPECT_EQ(copied, picture);
      // The codec's own format shows the picture; any other, the same as the Color Space
      // Converter makes of it.
      if (format == NativeFormat(system)) {
        EXPECT_EQ(ReadNumber(facts.width, [&](int x, int y) { return picture[y * facts.width + x]; }),
                  kPictureNumber);
      } else {
        std::vector<uint8_t> planes, reference;
        ASSERT_EQ(decoder->Decode(frame.frame, NativeFormat(system), planes), S_OK);
        auto layout = [&](PictureFormat f) {
          return filters::FrameLayout::FromMediaType(PictureType(f, facts.width, facts.height, 0));
        };
        const auto from = layout(NativeFormat(system)), to = layout(format);
        filters::PixelFormatConverter converter;
        ASSERT_TRUE(from && to && converter.Configure(*from, *to));
        reference.resize(to->ImageSize());
        ASSERT_TRUE(converter.Convert(planes.data(), planes.size(), reference.data(),
                                      reference.size()));
        EXPECT_TRUE(picture == reference);
      }
    }
  }
}

TEST(DvCodec, DecoderRefusesWhatIsNotAFrame) {
  std::vector<uint8_t> junk(kFrameBytesPal, 0), picture;
  EXPECT_EQ(DvVideoDecoder::Create()->Decode(junk, PictureFormat::kI420, picture), E_INVALIDARG);
}

TEST(DvCodec, EncoderCodesItsOwnFormatWhereItLiesIntoTheOutput) {
  for (DvSystem system : {DvSystem::k625_50, DvSystem::k525_60}) {
    DvFrameMaker maker(system);
    ASSERT_TRUE(maker.ok());
    const SystemFacts& facts = FactsOf(system);
    const PictureFormat own = NativeFormat(system);
    std::vector<uint8_t> planes;
    ASSERT_EQ(DvVideoDecoder::Create()->Decode(maker.Frame(kPictureNumber), own, planes), S_OK);
    const Picture picture{own, facts.width, facts.height, false, planes, 0};
    auto encoder = DvVideoEncoder::Create(system);
    ASSERT_TRUE(encoder);
    std::vector<uint8_t> inPlace(facts.frameBytes + kPadding);
    ASSERT_EQ(encoder->Encode(picture, std::span<uint8_t>(inPlace)), S_OK);
    EXPECT_EQ(encoder->Conversions(), 0);
    EXPECT_EQ(encoder->Copies(), 0);
    std::vector<uint8_t> copied(facts.frameBytes);
    ASSERT_EQ(encoder->Encode(picture, std::span<uint8_t>(copied)), S_OK);
    EXPECT_EQ(encoder->Copies(), 1) << "no room after the output: copied out of the codec";
    inPlace.resize(facts.frameBytes);
    EXPECT_EQ(inPlace, copied);
    EXPECT_EQ(InspectFrame(inPlace)->system, system);
    // The frame decodes back to the same picture number.
    std::vector<uint8_t> back;
    ASSERT_EQ(DvVideoDecoder::Create()->Decode(inPlace, own, back), S_OK);
    EXPECT_EQ(ReadNumber(facts.width, [&](int x, int y) { return back[y * facts.width + x]; }),
              kPictureNumber);
  }
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double squares = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    squares += d * d;
  }
  const double mse = squares / static_cast<double>(a.size());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Decode and encode again, then compare what the second decode shows with what the first
// showed: in the codec's own 4:2:0 the chroma is filtered once, through YUY2 twice.
TEST(DvCodec, RoundTripInTheCodecsFormatKeepsMoreThanThroughYuy2) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  const SystemFacts& facts = kPalFacts;
  auto decoder = DvVideoDecoder::Create();
  auto encoder = DvVideoEncoder::Create(DvSystem::k625_50);
  double psnr[2] = {};
  for (int viaYuy2 = 0; viaYuy2 < 2; ++viaYuy2) {
    const PictureFormat format = viaYuy2 ? PictureFormat::kYuy2 : PictureFormat::kI420;
    std::vector<uint8_t> source, picture, recoded, back;
    const std::vector<uint8_t> dif = maker.Frame(3);
    ASSERT_EQ(decoder->Decode(dif, PictureFormat::kI420, source), S_OK);
    ASSERT_EQ(decoder->Decode(dif, format, picture), S_OK);
    const Picture p{format, facts.width, facts.height, false, picture, 0};
    ASSERT_EQ(encoder->Encode(p, recoded), S_OK);
    ASSERT_EQ(decoder->Decode(recoded, PictureFormat::kI420, back), S_OK);
    psnr[viaYuy2] = Psnr(source, back);
  }
  EXPECT_GT(psnr[0], psnr[1]) << "own format " << psnr[0] << " dB, through YUY2 " << psnr[1];
  EXPECT_GT(psnr[0], 40.0);
}

using test::Link;
using test::NewSystemFilter;
using test::TempDir;

GUID ConnectionSubtype(IPin* pin) {
  AM_MEDIA_TYPE mt{};
  EXPECT_EQ(pin->ConnectionMediaType(&mt), S_OK);
  const GUID subtype = mt.subtype;
  FreeMediaType(mt);
  return subtype;
}

// The video output delivers the input's own samples (from the source's allocator); only the
// sample carrying the interleaved type is copied, so that the video receiver never sees it.
TEST(DvChains, SplitterPassesTheInputSampleItself) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  constexpr int kFrames = 5;
  // The first frame carries the interleaved type, as a source announcing its format does.
  const CMediaType interleaved =
      InterleavedDvType(DvInfoFromFrame(maker.Frame(0), DvSystem::k625_50));
  std::vector<test::ListedSample> frames;
  for (int i = 0; i < kFrames; ++i) frames.push_back({maker.Frame(i), std::nullopt, std::nullopt});
  frames[0].type = interleaved;
  ComPtr<IGraphBuilder> graph = test::UnclockedGraph();
  auto source = MakeComObject<test::ListSource>(interleaved, std::move(frames));
  auto splitter = MakeComObject<filters::CDvSplitter>();
  auto sink = MakeComObject<test::TestCountingSink>(MEDIASUBTYPE_dvsd);
  test::AddFilters(graph.Get(),
                   {{source.Get(), L"Source"}, {splitter.Get(), L"Splitter"}, {sink.Get(), L"Sink"}});
  ASSERT_EQ(Link(graph.Get(), source.Get(), 0, splitter.Get(), 0), S_OK);
  ASSERT_EQ(Link(graph.Get(), splitter.Get(), 1, sink.Get(), 0), S_OK);
  ASSERT_TRUE(test::RunToCompletion(graph.Get(), 20'000));
  EXPECT_EQ(splitter->CopiedFrames(), 1);
  auto* input = static_cast<CBaseInputPin*>(splitter->GetPin(0));
  const auto samples = sink->Samples();
  ASSERT_EQ(samples.size(), static_cast<size_t>(kFrames));
  EXPECT_NE(samples[0].allocator, input->Allocator());
  for (int i = 1; i < kFrames; ++i) EXPECT_EQ(samples[i].allocator, input->Allocator()) << i;
  EXPECT_TRUE(static_cast<CBaseInputPin*>(sink->GetPin(0))->IsReadOnly());
}

// DV file -> splitter -> decoder -> (intelligent connect) encoder -> AVI: the decoder and the
// encoder meet on the codec's own format; nothing is copied or converted; every frame is
// recorded and decodes.
TEST(DvChains, RecompressMeetsOnTheCodecsFormat) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string dvPath = dir.File("in.dv"), aviPath = dir.File("recoded.avi");
  constexpr int kFrames = 12;
  test::WriteDvFile(dvPath, maker, kFrames);
  test::DecodingChain chain(dvPath);
  IGraphBuilder* graph = chain.graph.Get();
  auto encoder = MakeComObject<filters::CDvVideoEncoderFilter>();
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  ComPtr<IBaseFilter> writer = NewSystemFilter(CLSID_FileWriter);
  test::AddFilters(graph, {{encoder.Get(), L"DV Video Encoder"},
                           {mux.Get(), L"AVI Mux"},
                           {writer.Get(), L"File writer"}});
  ASSERT_EQ(graph->Connect(chain.decoder->OutputPin(), encoder->InputPin()), S_OK);
  EXPECT_EQ(ConnectionSubtype(encoder->InputPin()), MEDIASUBTYPE_IYUV);
  ASSERT_EQ(Link(graph, encoder.Get(), 1, mux.Get(), 1), S_OK);
  ASSERT_EQ(Link(graph, mux.Get(), 0, writer.Get(), 0), S_OK);
  QueryAs<IFileSinkFilter>(writer.Get())->SetFileName(Utf8ToWide(aviPath).c_str(), nullptr);
  ASSERT_TRUE(test::RunToCompletion(graph, 20'000));
  EXPECT_EQ(chain.splitter->CopiedFrames(), 0);
  EXPECT_EQ(chain.decoder->Copies(), 0);
  EXPECT_EQ(chain.decoder->Conversions(), 0);
  EXPECT_EQ(encoder->Conversions(), 0);
  EXPECT_EQ(encoder->Copies(), 0);
  test::ExpectProbed(aviPath, {"dvvideo"}, kFrames);
}

// DV file -> splitter -> decoder -> (intelligent connect) Smart Tee -> preview -> (intelligent
// connect) Video Renderer: the tee carries the codec's own format, one Color Space Converter
// turns it into RGB32 for the renderer; the decoder neither copies nor converts.
TEST(DvChains, PreviewConvertsOnceFromTheCodecsFormat) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string dvPath = dir.File("in.dv");
  constexpr int kFrames = 8;
  test::WriteDvFile(dvPath, maker, kFrames);
  test::DecodingChain chain(dvPath);
  IGraphBuilder* graph = chain.graph.Get();
  ComPtr<IBaseFilter> tee = NewSystemFilter(CLSID_SmartTee);
  ComPtr<IBaseFilter> renderer = NewSystemFilter(CLSID_VideoRenderer);
  test::AddFilters(graph, {{tee.Get(), L"Smart Tee"}, {renderer.Get(), L"Video Renderer"}});
  ASSERT_EQ(graph->Connect(chain.decoder->OutputPin(), test::PinAtIndex(tee.Get(), 0).Get()),
            S_OK);
  EXPECT_EQ(ConnectionSubtype(chain.decoder->OutputPin()), MEDIASUBTYPE_IYUV);
  const ComPtr<IPin> rendererIn = test::PinAtIndex(renderer.Get(), 0);
  ASSERT_EQ(graph->Connect(test::PinAtIndex(tee.Get(), 2).Get(), rendererIn.Get()), S_OK);
  ComPtr<IPin> converterOut;
  ASSERT_EQ(rendererIn->ConnectedTo(converterOut.GetAddressOf()), S_OK);
  PIN_INFO info{};
  converterOut->QueryPinInfo(&info);
  ComPtr<IBaseFilter> converter;
  converter.Attach(info.pFilter);
  CLSID clsid{};
  converter->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_Colour);
  EXPECT_EQ(ConnectionSubtype(test::PinAtIndex(converter.Get(), 0).Get()), MEDIASUBTYPE_IYUV);
  EXPECT_EQ(ConnectionSubtype(rendererIn.Get()), MEDIASUBTYPE_RGB32);
  ASSERT_TRUE(test::RunToCompletion(graph, 20'000));
  EXPECT_EQ(chain.splitter->CopiedFrames(), 0);
  EXPECT_EQ(chain.decoder->Copies(), 0);
  EXPECT_EQ(chain.decoder->Conversions(), 0);
  auto* window = static_cast<filters::CVideoRenderer*>(renderer.Get())->WindowForTesting();
  ASSERT_TRUE(window);
  auto* smartTee = static_cast<filters::CSmartTee*>(tee.Get());
  EXPECT_EQ(window->FramesPresented() + smartTee->PreviewPin()->DroppedCount(), kFrames);
  EXPECT_GT(window->FramesPresented(), 0);
}

}  // namespace
}  // namespace vidorra::dv
