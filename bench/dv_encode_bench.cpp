// CPU per frame of DV encoding against the ffmpeg command line on the same frames (see
// BenchCompare.h for how the figures are taken): YUY2 pictures, as webcams deliver them, read
// from a raw file (25 distinct camera-like frames, read over and over) -> DV Video Encoder (PAL,
// DV25 4:2:0) -> AVI Mux -> File writer, no clock; against `ffmpeg -stream_loop N -f rawvideo
// -pix_fmt yuyv422 -s 720x576 -i F -c:v dvvideo -pix_fmt yuv420p -sws_flags bilinear
// -threads 1 out.avi`: the same conversion to 4:2:0 with the same filter, the same profile.
#include <fcntl.h>
#include <streams.h>
#include <unistd.h>
#include <vidorra_filters.h>

#include <cstdio>
#include <string>

#include "../tests/filters/avi_test_support.h"
#include "BenchCompare.h"
#include "FilterPins.h"
#include "avi/AviReader.h"
#include "dv/DvMediaTypes.h"

namespace {

using vidorra::bench::Compare;
using vidorra::bench::ProcessResult;
using vidorra::bench::Side;
using vidorra::test::CreateFilter;
using vidorra::test::PinAt;
using vidorra::test::RunToCompletion;

constexpr int kWidth = 720, kHeight = 576;
constexpr long kFrameBytes = kWidth * kHeight * 2;
constexpr int kDistinctFrames = 25;
constexpr int kShortLoops = 2;
constexpr int kLongLoops = 10;
constexpr REFERENCE_TIME kFrameTime = 400'000;
constexpr long kRunTimeoutMs = 600'000;

// Reads YUY2 frames from a raw file, `loops` times over.
class RawStream : public CSourceStream {
 public:
  RawStream(CSource* filter, int fd, int frames)
      : CSourceStream(filter, L"Output"), fd_(fd), frames_(frames) {}
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    *mt = vidorra::dv::PictureType(vidorra::dv::PictureFormat::kYuy2, kWidth, kHeight, kFrameTime);
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    return DecideBuffers(allocator, *request, {.buffers = 2, .bytes = kFrameBytes});
  }
  HRESULT OnThreadCreate() override {
    frame_ = 0;
    return S_OK;
  }
  HRESULT FillBuffer(IMediaSample* sample) override {
    if (frame_ >= frames_) return S_FALSE;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const off_t offset = static_cast<off_t>(frame_ % kDistinctFrames) * kFrameBytes;
    if (::pread(fd_, data, kFrameBytes, offset) != kFrameBytes) return E_FAIL;
    sample->SetActualDataLength(kFrameBytes);
    REFERENCE_TIME start = frame_ * kFrameTime, stop = start + kFrameTime;
    sample->SetTime(&start, &stop);
    ++frame_;
    return S_OK;
  }

 private:
  const int fd_;
  const int frames_;
  int frame_ = 0;
};

class RawSource : public CSource {
 public:
  RawSource(int fd, int frames) : CSource(L"Raw frames", GUID_NULL) {
    AddPin(std::make_unique<RawStream>(this, fd, frames));
  }
};

int RunEncode(const std::string& rawPath, int loops, const std::string& aviPath) {
  const int fd = ::open(rawPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 2;
  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.ReleaseAndGetVoidAddressOf());
  QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);
  auto source = MakeComObject<RawSource>(fd, loops * kDistinctFrames);
  ComPtr<IBaseFilter> encoder = CreateFilter(CLSID_DVVideoEnc);
  ComPtr<IBaseFilter> mux = CreateFilter(CLSID_AviDest);
  ComPtr<IBaseFilter> writer = CreateFilter(CLSID_FileWriter);
  QueryAs<IFileSinkFilter>(writer.Get())->SetFileName(Utf8ToWide(aviPath).c_str(), nullptr);
  graph->AddFilter(source.Get(), L"Raw frames");
  graph->AddFilter(encoder.Get(), L"DV Video Encoder");
  graph->AddFilter(mux.Get(), L"AVI Mux");
  graph->AddFilter(writer.Get(), L"File writer");
  if (graph->ConnectDirect(PinAt(source.Get(), 0).Get(), PinAt(encoder.Get(), 0).Get(), nullptr) !=
          S_OK ||
      graph->ConnectDirect(PinAt(encoder.Get(), 1).Get(), PinAt(mux.Get(), 1).Get(), nullptr) !=
          S_OK ||
      graph->ConnectDirect(PinAt(mux.Get(), 0).Get(), PinAt(writer.Get(), 0).Get(), nullptr) !=
          S_OK) {
    return 3;
  }
  const bool done = RunToCompletion(graph.Get(), kRunTimeoutMs);
  graph = nullptr;
  ::close(fd);
  return done ? 0 : 4;
}

std::string CheckDv25(const std::string& path, long frames) {
  const auto info = vidorra::avi::AviReader::Read(path);
  if (!info || info->streams.empty() || info->streams[0].length != frames) {
    return "the file does not hold every frame";
  }
  // DV25 PAL frames are 144000 bytes; 4:2:2 (DV50) ones twice that.
  const std::string size = vidorra::test::RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt -of csv=p=0 " +
      vidorra::test::Quote(path));
  return size.rfind("yuv420p", 0) == 0 ? std::string() : "not 4:2:0 DV25: " + size;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 6 && std::string(argv[1]) == "--run" && std::string(argv[2]) == "encode") {
    return RunEncode(argv[3], std::atoi(argv[4]), argv[5]);
  }
  vidorra::test::TempDir dir;
  const std::string dvPath = dir.File("camera.dv"), rawPath = dir.File("camera.yuv");
  if (!vidorra::bench::MakeDvFiles(dvPath, kDistinctFrames, dir.File("unused.dv"), 0) ||
      std::system(("ffmpeg -nostdin -v error -i '" + dvPath +
                   "' -f rawvideo -pix_fmt yuyv422 '" + rawPath + "'")
                      .c_str()) != 0) {
    std::printf("cannot make the frames with ffmpeg\n");
    return 1;
  }
  const auto loops = [](bool longRun) { return longRun ? kLongLoops : kShortLoops; };
  const std::string ours = dir.File("ours.avi"), theirs = dir.File("ffmpeg.avi");
  const std::string self = vidorra::bench::SelfPath();
  Compare(
      "DV encoding (YUY2 -> DV25)",
      Side{"ours",
           [&](bool l) {
             std::filesystem::remove(ours);
             return std::vector<std::string>{self, "--run", "encode", rawPath,
                                             std::to_string(loops(l)), ours};
           },
           [&](const ProcessResult&, bool l) {
             return CheckDv25(ours, loops(l) * kDistinctFrames);
           }},
      Side{"ffmpeg",
           [&](bool l) {
             return std::vector<std::string>{
                 "ffmpeg",   "-nostdin", "-v",         "error",      "-y",
                 "-threads", "1",        "-filter_threads", "1",     "-stream_loop",
                 std::to_string(loops(l) - 1), "-f", "rawvideo",     "-pix_fmt",
                 "yuyv422",  "-s",       "720x576",    "-r",         "25",
                 "-i",       rawPath,    "-c:v",       "dvvideo",    "-pix_fmt",
                 "yuv420p",  "-sws_flags", "bilinear", "-threads",   "1",
                 theirs};
           },
           [&](const ProcessResult&, bool l) {
             return CheckDv25(theirs, loops(l) * kDistinctFrames);
           }},
      kShortLoops * kDistinctFrames, kLongLoops * kDistinctFrames);
  return 0;
}
