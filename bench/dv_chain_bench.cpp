// CPU per frame of two DV chains against the ffmpeg command line doing the same work on the
// same PAL DV file (see BenchCompare.h for how the figures are taken):
//
//   preview:    DV File Source -> DV Splitter -> DV Video Decoder -> Smart Tee (preview) ->
//               Video Renderer (offscreen), no clock, the links made by intelligent connect;
//               against `ffmpeg -threads 1 -i F -an -pix_fmt bgra -f null -`.
//   recompress: DV File Source -> DV Splitter -> DV Video Decoder -> DV Video Encoder -> AVI Mux
//               -> File writer, no clock; against `ffmpeg -threads 1 -i F -an -c:v dvvideo
//               -pix_fmt yuv420p -threads 1 out.avi`. The picture quality of both round trips
//               is compared as PSNR against the decoded source frames.
//
// Goals: preview at most 1.1 x ffmpeg's CPU per frame, recompress at most 1.05 x, PSNR of ours
// at least ffmpeg's.
#include <QApplication>
#include <SmartTee.h>
#include <VideoRenderer.h>
#include <streams.h>
#include <vidorra_filters.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/filters/avi_test_support.h"
#include "BenchCompare.h"
#include "FilterPins.h"
#include "avi/AviReader.h"

namespace {

using vidorra::bench::Compare;
using vidorra::bench::OutputValue;
using vidorra::bench::ProcessResult;
using vidorra::bench::SelfPath;
using vidorra::bench::Side;
using vidorra::test::CreateFilter;
using vidorra::test::PinAt;
using vidorra::test::RunToCompletion;

constexpr int kShortFrames = 100;
constexpr int kLongFrames = 500;
constexpr long kRunTimeoutMs = 600'000;

ComPtr<IGraphBuilder> UnclockedGraph() {
  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.ReleaseAndGetVoidAddressOf());
  if (graph) QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);
  return graph;
}

// Adds DV File Source -> DV Splitter -> DV Video Decoder to the graph; the decoder, or null.
ComPtr<IBaseFilter> AddDecodingChain(IGraphBuilder* graph, const std::string& dvPath) {
  ComPtr<IBaseFilter> source = CreateFilter(CLSID_DvFileSource);
  ComPtr<IBaseFilter> splitter = CreateFilter(CLSID_DVSplitter);
  ComPtr<IBaseFilter> decoder = CreateFilter(CLSID_DVVideoCodec);
  if (!source || !splitter || !decoder) return nullptr;
  if (QueryAs<IFileSourceFilter>(source.Get())->Load(Utf8ToWide(dvPath).c_str(), nullptr) != S_OK) {
    return nullptr;
  }
  graph->AddFilter(source.Get(), L"DV File Source");
  graph->AddFilter(splitter.Get(), L"DV Splitter");
  graph->AddFilter(decoder.Get(), L"DV Video Decoder");
  if (graph->ConnectDirect(PinAt(source.Get(), 0).Get(), PinAt(splitter.Get(), 0).Get(),
                           nullptr) != S_OK ||
      graph->ConnectDirect(PinAt(splitter.Get(), 1).Get(), PinAt(decoder.Get(), 0).Get(),
                           nullptr) != S_OK) {
    return nullptr;
  }
  return decoder;
}

int RunPreview(const std::string& dvPath) {
  ComPtr<IGraphBuilder> graph = UnclockedGraph();
  ComPtr<IBaseFilter> decoder = AddDecodingChain(graph.Get(), dvPath);
  ComPtr<IBaseFilter> tee = CreateFilter(CLSID_SmartTee);
  ComPtr<IBaseFilter> renderer = CreateFilter(CLSID_VideoRenderer);
  if (!decoder || !tee || !renderer) return 2;
  graph->AddFilter(tee.Get(), L"Smart Tee");
  graph->AddFilter(renderer.Get(), L"Video Renderer");
  if (graph->Connect(PinAt(decoder.Get(), 1).Get(), PinAt(tee.Get(), 0).Get()) != S_OK ||
      graph->Connect(PinAt(tee.Get(), 2).Get(), PinAt(renderer.Get(), 0).Get()) != S_OK) {
    return 3;
  }
  if (!RunToCompletion(graph.Get(), kRunTimeoutMs)) return 4;
  auto* window = static_cast<vidorra::filters::CVideoRenderer*>(renderer.Get())->WindowForTesting();
  auto* smartTee = static_cast<vidorra::filters::CSmartTee*>(tee.Get());
  std::printf("frames=%ld\ndropped=%ld\n", window ? window->FramesPresented() : -1L,
              smartTee->PreviewPin()->DroppedCount());
  return 0;
}

int RunRecompress(const std::string& dvPath, const std::string& aviPath) {
  ComPtr<IGraphBuilder> graph = UnclockedGraph();
  ComPtr<IBaseFilter> decoder = AddDecodingChain(graph.Get(), dvPath);
  ComPtr<IBaseFilter> encoder = CreateFilter(CLSID_DVVideoEnc);
  ComPtr<IBaseFilter> mux = CreateFilter(CLSID_AviDest);
  ComPtr<IBaseFilter> writer = CreateFilter(CLSID_FileWriter);
  if (!decoder || !encoder || !mux || !writer) return 2;
  QueryAs<IFileSinkFilter>(writer.Get())->SetFileName(Utf8ToWide(aviPath).c_str(), nullptr);
  graph->AddFilter(encoder.Get(), L"DV Video Encoder");
  graph->AddFilter(mux.Get(), L"AVI Mux");
  graph->AddFilter(writer.Get(), L"File writer");
  if (graph->Connect(PinAt(decoder.Get(), 1).Get(), PinAt(encoder.Get(), 0).Get()) != S_OK ||
      graph->ConnectDirect(PinAt(encoder.Get(), 1).Get(), PinAt(mux.Get(), 1).Get(), nullptr) !=
          S_OK ||
      graph->ConnectDirect(PinAt(mux.Get(), 0).Get(), PinAt(writer.Get(), 0).Get(), nullptr) !=
          S_OK) {
    return 3;
  }
  if (!RunToCompletion(graph.Get(), kRunTimeoutMs)) return 4;
  graph = nullptr;
  const auto info = vidorra::avi::AviReader::Read(aviPath);
  std::printf("frames=%ld\n", info && !info->streams.empty() ? long{info->streams[0].length} : -1L);
  return 0;
}

// Average PSNR (all planes, dB) of a recompressed file against the source it came from.
double Psnr(const std::string& recompressed, const std::string& source) {
  const std::string out = vidorra::test::RunCommand(
      "ffmpeg -nostdin -hide_banner -i " + vidorra::test::Quote(recompressed) + " -i " +
      vidorra::test::Quote(source) + " -lavfi '[0:v][1:v]psnr' -f null - 2>&1");
  const size_t at = out.rfind("average:");
  return at == std::string::npos ? -1 : std::atof(out.c_str() + at + 8);
}

std::string CheckFrames(const ProcessResult& run, long expected) {
  const long frames = OutputValue(run.output, "frames");
  if (frames != expected) return "delivered " + std::to_string(frames) + " frames";
  return {};
}

std::string CheckAvi(const std::string& path, long expected) {
  const auto info = vidorra::avi::AviReader::Read(path);
  const long frames = info && !info->streams.empty() ? info->streams[0].length : -1;
  return frames == expected ? std::string() : "file holds " + std::to_string(frames) + " frames";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--run") {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::string mode = argv[2];
    if (mode == "preview") return RunPreview(argv[3]);
    if (mode == "recompress" && argc >= 5) return RunRecompress(argv[3], argv[4]);
    return 1;
  }
  vidorra::test::TempDir dir;
  const std::string longDv = dir.File("long.dv"), shortDv = dir.File("short.dv");
  if (!vidorra::bench::MakeDvFiles(longDv, kLongFrames, shortDv, kShortFrames)) {
    std::printf("cannot make the DV file with ffmpeg\n");
    return 1;
  }
  const auto input = [&](bool longRun) { return longRun ? longDv : shortDv; };
  const auto frames = [](bool longRun) { return longRun ? kLongFrames : kShortFrames; };
  const std::string self = SelfPath();

  const Side previewOurs{"ours", [&](bool l) {
                           return std::vector<std::string>{self, "--run", "preview", input(l)};
                         },
                         [&](const ProcessResult& run, bool l) {
                           const long dropped = OutputValue(run.output, "dropped");
                           if (dropped != 0) return "preview dropped " + std::to_string(dropped);
                           return CheckFrames(run, frames(l));
                         }};
  const Side previewFfmpeg{"ffmpeg",
                           [&](bool l) {
                             return std::vector<std::string>{
                                 "ffmpeg", "-nostdin", "-v", "error", "-threads", "1",
                                 "-filter_threads", "1", "-i", input(l), "-an", "-pix_fmt",
                                 "bgra", "-f", "null", "-"};
                           },
                           [](const ProcessResult&, bool) { return std::string(); }};
  Compare("DV preview chain", previewOurs, previewFfmpeg, kShortFrames, kLongFrames);

  const std::string oursAvi = dir.File("ours.avi"), ffmpegAvi = dir.File("ffmpeg.avi");
  const Side recompressOurs{
      "ours",
      [&](bool l) {
        std::filesystem::remove(oursAvi);
        return std::vector<std::string>{self, "--run", "recompress", input(l), oursAvi};
      },
      [&](const ProcessResult& run, bool l) {
        const std::string problem = CheckFrames(run, frames(l));
        return problem.empty() ? CheckAvi(oursAvi, frames(l)) : problem;
      }};
  const Side recompressFfmpeg{
      "ffmpeg",
      [&](bool l) {
        return std::vector<std::string>{
            "ffmpeg", "-nostdin", "-v",   "error",     "-y",      "-threads", "1",
            "-filter_threads", "1", "-i", input(l),    "-an",     "-c:v",     "dvvideo",
            "-pix_fmt", "yuv420p", "-threads", "1", ffmpegAvi};
      },
      [&](const ProcessResult&, bool l) { return CheckAvi(ffmpegAvi, frames(l)); }};
  Compare("DV decode + encode", recompressOurs, recompressFfmpeg, kShortFrames, kLongFrames);
  std::printf("DV decode + encode round trip PSNR against the source: ours %.2f dB, ffmpeg %.2f dB\n",
              Psnr(oursAvi, longDv), Psnr(ffmpegAvi, longDv));
  return 0;
}
