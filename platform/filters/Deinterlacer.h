// The video deinterlacer (CLSID_VideoDeinterlacer, registered in "DirectShow Filters" under
// the name the program binds it by): turns each interlaced frame into a progressive one with
// the motion-adaptive filter of libavfilter (bwdif, or yadif where bwdif is missing), one
// frame out per frame in. Pins "XForm In", "XForm Out", in that order.
//
// Formats: the input takes any uncompressed layout of PixelFormatConverter (RGB24, RGB32,
// RGB565, RGB555, YUY2, UYVY, I420/IYUV, YV12, NV12, Y41B). The output offers the input's own
// layout first (as a progressive VIDEOINFOHEADER type), then RGB24 and RGB32 bottom-up bitmaps,
// and accepts any layout of the input's size a receiver proposes (libavfilter converts).
//
// Field order: from a VIDEOINFOHEADER2 input type whose interlace flags mark it interlaced
// (AMINTERLACE_Field1First: top field first); otherwise assumed, bottom field first for the
// DV frame sizes (720 x 576 and 720 x 480) and top field first for everything else.
//
// Timing: the filter looks one frame ahead, so the picture of frame N leaves when frame N+1
// arrives (the last one at end of stream); each output sample carries the times and flags of
// the input frame it was made from. A flush or a stop forgets the frames held.
//
// Threads: Receive and EndOfStream run on the upstream streaming thread under the receive lock,
// EndFlush takes it too; the filter graph is built in StartStreaming and freed in
// StopStreaming (filter stopped, no Receive running).
#pragma once

#include <streams.h>

#include <deque>
#include <memory>
#include <optional>

#include "PixelFormatConverter.h"

// {96A6F294-84B5-4779-AA94-9C9AD33ABEC6}
DEFINE_GUID(CLSID_VideoDeinterlacer, 0x96A6F294, 0x84B5, 0x4779, 0xAA, 0x94, 0x9C, 0x9A, 0xD3, 0x3A,
            0xBE, 0xC6);

namespace vidorra::filters {

// The friendly name the filter is registered under.
inline constexpr const wchar_t* kDeinterlacerName = L"Pinnacle Video Deinterlacer";

enum class FieldOrder { kTopFirst, kBottomFirst };

// The field order of an input type, as described at the top of this file.
FieldOrder FieldOrderOf(const AM_MEDIA_TYPE& mediaType);

// The libavfilter graph of one stream: frames of one layout in, deinterlaced frames of another
// (or the same) layout out, one frame later. Not thread-safe.
class DeinterlaceGraph {
 public:
  DeinterlaceGraph();
  ~DeinterlaceGraph();
  DeinterlaceGraph(const DeinterlaceGraph&) = delete;
  DeinterlaceGraph& operator=(const DeinterlaceGraph&) = delete;

  // Builds the graph; false when a layout is invalid, the sizes differ or libavfilter refuses.
  bool Configure(const FrameLayout& input, const FrameLayout& output, FieldOrder order);
  bool IsConfigured() const;
  const FrameLayout& Input() const { return input_; }
  const FrameLayout& Output() const { return output_; }
  // The deinterlacing filter in use ("bwdif" or "yadif").
  const char* FilterName() const;

  // Feeds one frame (at least Input().ImageSize() bytes at `source`), tagged `tag`. False when
  // the graph refuses it.
  bool Push(const BYTE* source, int64_t tag);
  // Feeds the end of the stream: the frame held back comes out.
  bool PushEnd();
  // Takes the next finished frame out of the graph: its tag, or nothing when none is ready.
  std::optional<int64_t> Pull();
  // Writes the frame last pulled into `destination` (`destinationSize` bytes, at least
  // Output().ImageSize(); room after the frame lets the conversion write there directly).
  // False when there is no frame, the destination is too small or the conversion fails.
  bool WritePulled(BYTE* destination, size_t destinationSize);
  // Frees the graph and the frames it holds.
  void Reset();

 private:
  struct State;
  std::unique_ptr<State> state_;
  FrameLayout input_;
  FrameLayout output_;
};

class CVideoDeinterlacer : public CTransformFilter {
 public:
  CVideoDeinterlacer();
  ~CVideoDeinterlacer() override;

  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT EndFlush() override;

 private:
  // What an input sample said about itself, kept until its picture leaves.
  struct Held {
    int64_t tag = 0;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT timeResult = VFW_E_SAMPLE_TIME_NOT_SET;
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    bool hasMediaTime = false;
    bool syncPoint = false;
    bool discontinuity = false;
    bool preroll = false;
  };
  // Builds the graph for the pins' current types.
  bool ConfigureGraph();
  // Delivers every frame the graph has finished. Called under the receive lock.
  HRESULT DeliverReady();

  DeinterlaceGraph graph_;
  std::deque<Held> held_;
  int64_t nextTag_ = 0;
};

}  // namespace vidorra::filters
