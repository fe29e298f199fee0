// CPU per frame of two DV chains against the ffmpeg command line doing the same work on the
// same PAL DV file (see BenchCompare.h for how the figures are taken):
//
//   preview:    DV File Source -> DV Splitter -> DV Video Decoder -> Smart Tee (preview) ->
//               Video Renderer (offscreen), no clock, the links made by intelligent connect;
//               against `ffmpeg -threads 1 -i F -an -pix_fmt bgra -f null -`. A run whose
//               preview dropped frames (its thread starved on a busy machine) did less work and
//               is run again. Also paced at 25 frames/s on the graph's clock, against ffmpeg
//               with -re, where the preview keeps up with every frame even on a busy machine.
//               And decoded at half size (IIPDVDec), paced, against ffmpeg's whole decode
//               scaled to the same 360x288 (`-re ... -vf scale=360:288`); unclocked, the
//               source gets ahead of the quicker decode and the tee drops preview frames. Goal:
//               at least 1.8 times cheaper.
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

// A graph without clock (as fast as it goes), or with its default clock (paced).
ComPtr<IGraphBuilder> NewGraph(bool paced = false) {
  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.ReleaseAndGetVoidAddressOf());
  if (graph && !paced) QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);
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

int RunPreview(const std::string& dvPath, bool paced, int resolution = DVRESOLUTION_FULL) {
  ComPtr<IGraphBuilder> graph = NewGraph(paced);
  ComPtr<IBaseFilter> decoder = AddDecodingChain(graph.Get(), dvPath);
  ComPtr<IBaseFilter> tee = CreateFilter(CLSID_SmartTee);
  ComPtr<IBaseFilter> renderer = CreateFilter(CLSID_VideoRenderer);
  if (!decoder || !tee || !renderer) return 2;
  if (QueryAs<IIPDVDec>(decoder.Get())->put_IPDisplay(resolution) != S_OK) return 2;
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
  ComPtr<IGraphBuilder> graph = NewGraph();
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
    if (mode == "preview" || mode == "paced") return RunPreview(argv[3], mode == "paced");
    if (mode == "half") return RunPreview(argv[3], true, DVRESOLUTION_HALF);
    if (mode == "recompress" && argc >= 5) return RunRecompress(argv[3], argv[4]);
    return 1;
  }
  const vidorra::bench::DvInputs dv(kShortFrames, kLongFrames);
  if (!dv.ok()) return 1;
  const auto input = [&](bool longRun) { return dv.Path(longRun); };
  const auto frames = [&](bool longRun) { return dv.Frames(longRun); };
  const std::string self = SelfPath();

  // Unclocked and paced, counting only runs whose preview showed every frame; then unclocked
  // with the runs that dropped preview frames counted too (less work than ffmpeg's, so a
  // flattering figure), for a machine too busy to give a complete run; then decoded at half
  // size. "half" as the only argument runs that one alone.
  struct Variant {
    const char* title;
    bool paced;
    bool dropsAllowed;
    bool half = false;
  };
  const bool halfOnly = argc == 2 && std::string(argv[1]) == "half";
  for (const Variant& variant : {Variant{"DV preview chain", false, false},
                                 Variant{"DV preview chain, paced at 25 frames/s", true, false},
                                 Variant{"DV preview chain, drops allowed", false, true},
                                 Variant{"DV preview chain at half size, paced at 25 frames/s",
                                         true, false, true}}) {
    if (halfOnly && !variant.half) continue;
    long dropped = 0, shown = 0;
    const Side ours{"ours",
                    [&](bool l) {
                      return std::vector<std::string>{
                          self, "--run",
                          variant.half ? "half" : (variant.paced ? "paced" : "preview"), input(l)};
                    },
                    [&](const ProcessResult& run, bool l) {
                      const long drops = OutputValue(run.output, "dropped");
                      if (drops != 0 && !variant.dropsAllowed) return vidorra::bench::kRunAgain;
                      dropped += drops;
                      shown += OutputValue(run.output, "frames");
                      return CheckFrames(run, frames(l) - drops);
                    }};
    const Side ffmpeg{"ffmpeg",
                      [&](bool l) {
                        std::vector<std::string> command{"ffmpeg", "-nostdin", "-v", "error",
                                                         "-threads", "1", "-filter_threads", "1"};
                        if (variant.paced) command.push_back("-re");
                        for (const char* arg : {"-i", "", "-an", "-pix_fmt", "bgra", "-f", "null",
                                                "-"}) {
                          command.push_back(*arg ? arg : input(l));
                          if (variant.half && *arg == 0) {
                            command.insert(command.end(), {"-vf", "scale=360:288"});
                          }
                        }
                        return command;
                      },
                      [](const ProcessResult&, bool) { return std::string(); }};
    if (Compare(variant.title, ours, ffmpeg, kShortFrames, kLongFrames).ok && dropped > 0) {
      std::printf("%s: the preview showed %ld frames and dropped %ld\n", variant.title, shown,
                  dropped);
      std::fflush(stdout);
    }
  }

  if (halfOnly) return 0;
  const std::string oursAvi = dv.File("ours.avi"), ffmpegAvi = dv.File("ffmpeg.avi");
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
              Psnr(oursAvi, dv.Path(true)), Psnr(ffmpegAvi, dv.Path(true)));
  return 0;
}
