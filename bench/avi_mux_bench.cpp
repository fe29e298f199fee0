// CPU per frame of DV type 2 recording against the ffmpeg command line on the same PAL DV file
// (see BenchCompare.h for how the figures are taken):
//
//   ours:   DV File Source -> DV Splitter (picture and sound) -> AVI Mux -> File writer, no
//           clock: a type-2 file, a 'dvsd' video stream and a PCM stream.
//   ffmpeg: `ffmpeg -threads 1 -f dv -i F -map 0 -c copy out.avi`: the same two streams.
#include <streams.h>
#include <vidorra_filters.h>

#include <cstdio>
#include <string>

#include "../tests/filters/avi_test_support.h"
#include "BenchCompare.h"
#include "FilterPins.h"
#include "avi/AviReader.h"

namespace {

using vidorra::bench::Compare;
using vidorra::bench::ProcessResult;
using vidorra::bench::Side;
using vidorra::test::CreateFilter;
using vidorra::test::PinAt;
using vidorra::test::RunToCompletion;

constexpr int kShortFrames = 150;
// Long enough that the work per frame stands well above the spread of two process start-ups
// on a shared machine (a type-2 frame costs a tenth of a millisecond).
constexpr int kLongFrames = 4500;  // 3 minutes of PAL DV, 648 MB
constexpr long kRunTimeoutMs = 600'000;

int RunType2(const std::string& dvPath, const std::string& aviPath) {
  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.ReleaseAndGetVoidAddressOf());
  QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);  // as fast as it goes
  ComPtr<IBaseFilter> source = CreateFilter(CLSID_DvFileSource);
  ComPtr<IBaseFilter> splitter = CreateFilter(CLSID_DVSplitter);
  ComPtr<IBaseFilter> mux = CreateFilter(CLSID_AviDest);
  ComPtr<IBaseFilter> writer = CreateFilter(CLSID_FileWriter);
  if (!graph || !source || !splitter || !mux || !writer) return 2;
  QueryAs<IFileSourceFilter>(source.Get())->Load(Utf8ToWide(dvPath).c_str(), nullptr);
  QueryAs<IFileSinkFilter>(writer.Get())->SetFileName(Utf8ToWide(aviPath).c_str(), nullptr);
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(splitter.Get(), L"DV Splitter");
  graph->AddFilter(mux.Get(), L"AVI Mux");
  graph->AddFilter(writer.Get(), L"File writer");
  const std::pair<IBaseFilter*, int> links[][2] = {{{source.Get(), 0}, {splitter.Get(), 0}},
                                                   {{splitter.Get(), 1}, {mux.Get(), 1}},
                                                   {{splitter.Get(), 2}, {mux.Get(), 2}},
                                                   {{mux.Get(), 0}, {writer.Get(), 0}}};
  for (const auto& [from, to] : links) {
    if (graph->ConnectDirect(PinAt(from.first, from.second).Get(),
                             PinAt(to.first, to.second).Get(), nullptr) != S_OK) {
      return 3;
    }
  }
  return RunToCompletion(graph.Get(), kRunTimeoutMs) ? 0 : 4;
}

// Empty when the file holds `frames` pictures and the sound of as many PAL frames.
std::string CheckType2(const std::string& path, long frames) {
  const auto info = vidorra::avi::AviReader::Read(path);
  if (!info || info->streams.size() != 2) return "not a two-stream file";
  if (info->streams[0].length != frames) {
    return "video stream of " + std::to_string(info->streams[0].length) + " frames";
  }
  const long samples = vidorra::test::RecordedSoundSamples(path, 2);
  if (samples != frames * 1920) return "sound of " + std::to_string(samples) + " samples";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::string(argv[1]) == "--run" && std::string(argv[2]) == "type2") {
    return RunType2(argv[3], argv[4]);
  }
  const vidorra::bench::DvInputs dv(kShortFrames, kLongFrames);
  if (!dv.ok()) return 1;
  const auto input = [&](bool longRun) { return dv.Path(longRun); };
  const auto frames = [&](bool longRun) { return dv.Frames(longRun); };
  const std::string ours = dv.File("ours.avi"), theirs = dv.File("ffmpeg.avi");
  const std::string self = vidorra::bench::SelfPath();
  Compare(
      "DV type 2 recording",
      Side{"ours",
           [&](bool l) {
             std::filesystem::remove(ours);
             return std::vector<std::string>{self, "--run", "type2", input(l), ours};
           },
           [&](const ProcessResult&, bool l) { return CheckType2(ours, frames(l)); }},
      Side{"ffmpeg",
           [&](bool l) {
             return std::vector<std::string>{"ffmpeg", "-nostdin", "-v",   "error", "-y",
                                             "-threads", "1",       "-f",   "dv",    "-i",
                                             input(l),  "-map",     "0",    "-c",    "copy",
                                             theirs};
           },
           [&](const ProcessResult&, bool l) { return CheckType2(theirs, frames(l)); }},
      kShortFrames, kLongFrames);
  return 0;
}
