#include "AviWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <utility>

#include "../dv/DvFrame.h"
#include "AviLayout.h"

namespace vidorra::avi {

namespace {

constexpr int64_t kUnitsPerSecond = 10'000'000;  // REFERENCE_TIME units
constexpr uint64_t kMicrosPerSecond = 1'000'000;
constexpr REFERENCE_TIME kPalFrameTime = 400000;
constexpr REFERENCE_TIME kNtscFrameTimes[] = {333666, 333667};
constexpr uint32_t kNtscScale = 1001;
constexpr uint32_t kNtscRate = 30000;
// The movi list starts on this boundary (a JUNK chunk fills the gap), as capture files do.
constexpr uint64_t kMoviAlign = 2048;
// A time stamp further ahead than this is taken as a clock jump, not as dropped frames.
constexpr uint64_t kMaxGapFrames = 1500;
// The same for sound locked to the picture (1500 frames at 25 frames/s).
constexpr uint64_t kMaxSoundGapSeconds = 60;
// Placeholder rate until the first time stamps tell the real one.
constexpr uint32_t kPlaceholderScale = 1;
constexpr uint32_t kPlaceholderRate = 25;
constexpr uint32_t kMaxChunkBytes = 0x7FFFFFFFu;

}  // namespace

// Builds a byte block; chunk and list sizes are patched when they close.
class HeaderBuilder {
 public:
  size_t Pos() const { return bytes_.size(); }
  void U32(uint32_t v) {
    bytes_.resize(bytes_.size() + 4);
    PutU32(&bytes_[bytes_.size() - 4], v);
  }
  void Zero(size_t n) { bytes_.resize(bytes_.size() + n, 0); }
  void Bytes(std::span<const uint8_t> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
  size_t BeginList(uint32_t fcc, uint32_t type) {
    U32(fcc);
    const size_t sizePos = Pos();
    U32(0);
    U32(type);
    return sizePos;
  }
  size_t BeginChunk(uint32_t fcc) {
    U32(fcc);
    const size_t sizePos = Pos();
    U32(0);
    return sizePos;
  }
  void End(size_t sizePos) {
    const size_t size = Pos() - sizePos - 4;
    PutU32(&bytes_[sizePos], static_cast<uint32_t>(size));
    if (size & 1) Zero(1);
  }
  uint8_t* At(size_t pos) { return &bytes_[pos]; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

namespace {

uint32_t BlockAlign(const AviStreamFormat& f) { return std::max<uint32_t>(f.wave.nBlockAlign, 1); }

void ReduceRatio(uint64_t& num, uint64_t& den) {
  const uint64_t g = std::gcd(num, den);
  if (g > 1) {
    num /= g;
    den /= g;
  }
  while (num > UINT32_MAX || den > UINT32_MAX) {
    num = std::max<uint64_t>(num >> 1, 1);
    den = std::max<uint64_t>(den >> 1, 1);
  }
}

}  // namespace

namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

int Weekday(int year, int month, int day) {
  static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) --year;
  const int w = (year + year / 4 - year / 100 + year / 400 + kOffsets[(month + 11) % 12] + day) % 7;
  return (w + 7) % 7;
}

std::vector<uint8_t> InfoListOf(const dv::DvRecordedAt& at) {
  const int month = std::clamp(at.month, 1, 12);
  char idit[64] = {};  // 25 characters and a NUL
  std::snprintf(idit, sizeof idit, "%s %s %02d %02d:%02d:%02d %04d\n",
                kWeekdays[Weekday(at.year, month, at.day)], kMonths[month - 1], at.day % 100,
                at.hours % 100, at.minutes % 100, at.seconds % 100, at.year % 10000);
  char icrd[32] = {};
  std::snprintf(icrd, sizeof icrd, "%04d-%02d-%02d", at.year % 10000, month, at.day % 100);
  HeaderBuilder b;
  const size_t list = b.BeginList(kFccList, kFccInfo);
  size_t chunk = b.BeginChunk(kFccIdit);
  b.Bytes({reinterpret_cast<const uint8_t*>(idit), 26});
  b.End(chunk);
  chunk = b.BeginChunk(kFccIcrd);
  b.Bytes({reinterpret_cast<const uint8_t*>(icrd), 11});
  b.End(chunk);
  b.End(list);
  return b.Take();
}

std::optional<dv::DvRecordedAt> RecordedAtFromInfo(std::span<const uint8_t> content) {
  std::optional<dv::DvRecordedAt> fromDay;
  for (size_t pos = 0; pos + kChunkHeaderBytes <= content.size();) {
    const uint32_t id = GetU32(&content[pos]);
    const uint32_t size = GetU32(&content[pos + 4]);
    if (size > content.size() - pos - kChunkHeaderBytes) break;
    const std::string text(reinterpret_cast<const char*>(&content[pos + kChunkHeaderBytes]),
                           strnlen(reinterpret_cast<const char*>(&content[pos + kChunkHeaderBytes]),
                                   size));
    dv::DvRecordedAt at;
    if (id == kFccIdit) {
      char weekday[4] = {}, month[4] = {};
      if (std::sscanf(text.c_str(), "%3s %3s %d %d:%d:%d %d", weekday, month, &at.day,
                      &at.hours, &at.minutes, &at.seconds, &at.year) == 7) {
        for (int m = 0; m < 12; ++m) {
          if (std::strcmp(month, kMonths[m]) == 0) at.month = m + 1;
        }
        if (at.month > 0) return at;
      }
    } else if (id == kFccIcrd &&
               std::sscanf(text.c_str(), "%d-%d-%d", &at.year, &at.month, &at.day) == 3) {
      fromDay = at;
    }
    pos += kChunkHeaderBytes + size + (size & 1);
  }
  return fromDay;
}

AviWriter::AviWriter(AviOutput& output, AviWriterOptions options)
    : output_(output), options_(options) {
  options_.stdIndexCapacity = std::max<size_t>(options_.stdIndexCapacity, 1);
}

int AviWriter::AddStream(const AviStreamFormat& format) {
  if (state_ != State::kDeclaring || streams_.size() >= 100) return -1;
  Stream s;
  s.format = format;
  s.scale = kPlaceholderScale;
  s.rate = kPlaceholderRate;
  const unsigned n = static_cast<unsigned>(streams_.size());
  s.indexId = StandardIndexId(n);
  switch (format.kind) {
    case AviStreamFormat::Kind::kAudio:
      // Any wave format is written as it comes; a block of 0 (some compressed formats) counts
      // the stream in bytes.
      s.chunkId = StreamChunkId(n, "wb");
      s.scale = BlockAlign(format);
      s.rate = format.wave.nAvgBytesPerSec ? format.wave.nAvgBytesPerSec
                                           : std::max(format.wave.nSamplesPerSec, 1u) * s.scale;
      s.rateKnown = true;
      break;
    case AviStreamFormat::Kind::kVideo:
      // A zero-filled format (width and height 0) is taken; a DV picture gets its size from its
      // first frame.
      if (format.bitmap.biWidth < 0 || (format.bitmap.biWidth == 0) != (format.bitmap.biHeight == 0)) {
        return -1;
      }
      s.chunkId = StreamChunkId(n, format.bitmap.biCompression == BI_RGB ? "db" : "dc");
      s.fillDvInfo = IsDvPicture(s) && format.bitmapExtra.size() == dvinfo::kBytes &&
                     std::all_of(format.bitmapExtra.begin(), format.bitmapExtra.end(),
                                 [](uint8_t b) { return b == 0; });
      break;
    case AviStreamFormat::Kind::kDvType1:
      s.chunkId = StreamChunkId(n, "dc");
      break;
  }
  if (format.kind != AviStreamFormat::Kind::kAudio && format.avgTimePerFrame > 0) {
    SetRateFromFrameTime(s, format.avgTimePerFrame);
  }
  streams_.push_back(std::move(s));
  return static_cast<int>(n);
}

uint64_t AviWriter::ChunkCount(int stream) const {
  if (stream < 0 || static_cast<size_t>(stream) >= streams_.size()) return 0;
  return streams_[stream].chunks;
}

uint64_t AviWriter::DroppedFrames(int stream) const {
  if (stream < 0 || static_cast<size_t>(stream) >= streams_.size()) return 0;
  return streams_[stream].dropped;
}

std::optional<AVI_STREAM_TIMES> AviWriter::StreamTimes(int stream) const {
  if (stream < 0 || static_cast<size_t>(stream) >= streams_.size()) return std::nullopt;
  const Stream& s = streams_[stream];
  AVI_STREAM_TIMES times{};
  times.chunks = s.chunks;
  times.sound = IsVideoLike(s) ? FALSE : TRUE;
  if (s.rateKnown && s.rate > 0) {
    times.duration =
        static_cast<REFERENCE_TIME>(s.length * s.scale * uint64_t{10'000'000} / s.rate);
  }
  return times;
}

uint64_t AviWriter::Ticks(const Stream& s, uint32_t chunkBytes) const {
  return IsVideoLike(s) ? 1 : chunkBytes / BlockAlign(s.format);
}

bool AviWriter::IsVideoLike(const Stream& s) const {
  return s.format.kind != AviStreamFormat::Kind::kAudio;
}

bool AviWriter::IsDvPicture(const Stream& s) {
  return s.format.kind == AviStreamFormat::Kind::kDvType1 ||
         (s.format.kind == AviStreamFormat::Kind::kVideo &&
          (s.format.bitmap.biCompression == kFccDvsd ||
           s.format.bitmap.biCompression == Fourcc("DVSD")));
}

int AviWriter::FirstVideoStream() const {
  for (size_t i = 0; i < streams_.size(); ++i) {
    if (IsVideoLike(streams_[i])) return static_cast<int>(i);
  }
  return -1;
}

void AviWriter::SetRateFromFrameTime(Stream& s, REFERENCE_TIME perFrame) {
  if (perFrame == kPalFrameTime) {
    s.scale = 1;
    s.rate = 25;
  } else if (perFrame == kNtscFrameTimes[0] || perFrame == kNtscFrameTimes[1]) {
    s.scale = kNtscScale;
    s.rate = kNtscRate;
  } else {
    uint64_t scale = static_cast<uint64_t>(perFrame);
    uint64_t rate = kUnitsPerSecond;
    ReduceRatio(scale, rate);
    s.scale = static_cast<uint32_t>(scale);
    s.rate = static_cast<uint32_t>(rate);
  }
  s.rateKnown = true;
}

size_t AviWriter::IndexSlotBytes() const {
  return kChunkHeaderBytes + odml::kStdHeaderBytes +
         odml::kStdEntryBytes * options_.stdIndexCapacity;
}

HRESULT AviWriter::WriteBytes(uint64_t offset, const uint8_t* data, size_t size) {
  const HRESULT hr = output_.WriteAt(offset, data, size);
  if (FAILED(hr) && SUCCEEDED(failure_)) failure_ = hr;
  return hr;
}

HRESULT AviWriter::Start() {
  if (state_ != State::kDeclaring || streams_.empty()) return E_UNEXPECTED;
  headerBytes_ = BuildHeader().size();
  Riff first;
  first.offset = 0;
  first.moviOffset = headerBytes_ - kListHeaderBytes;
  first.moviEnd = first.end = headerBytes_;
  riffs_.push_back(first);
  fileEnd_ = describedEnd_ = headerBytes_;
  state_ = State::kWriting;
  // The header goes to the file at once: from its first bytes on the file is an AVI.
  const HRESULT hr = WriteHeader();
  return SUCCEEDED(hr) ? output_.Flush() : hr;
}

HRESULT AviWriter::Resume(const AviWrittenLayout& layout) {
  if (state_ != State::kDeclaring || !streams_.empty() || layout.streams.empty() ||
      layout.riffs.empty() || layout.slotCapacity == 0) {
    return E_INVALIDARG;
  }
  options_.stdIndexCapacity = layout.slotCapacity;
  options_.masterStream = -1;  // the rates stand as the header has them
  // A file of several RIFFs without idx1 was written without it; a file still in its first RIFF
  // gets one, as the writer's default has it.
  options_.compatibilityIndex = layout.riffs.size() == 1 || layout.idx1Offset.has_value();
  for (const AviWrittenLayout::Riff& r : layout.riffs) {
    riffs_.push_back({.offset = r.offset, .moviOffset = r.moviOffset,
                      .moviEnd = r.moviOffset + kListHeaderBytes,
                      .end = r.moviOffset + kListHeaderBytes});
  }
  struct Placed {
    uint64_t offset;
    uint32_t chunkId;
    uint32_t size;
    bool keyframe;
  };
  std::vector<Placed> firstRiffChunks;
  for (const AviWrittenLayout::Stream& found : layout.streams) {
    if (AddStream(found.format) < 0 || found.scale == 0 || found.rate == 0) return E_INVALIDARG;
    Stream& s = streams_.back();
    s.scale = found.scale;
    s.rate = found.rate;
    s.rateKnown = true;
    s.dvInfo = found.dvInfo;
    if (found.indexSlots.size() > odml::kIndxCapacity) return E_INVALIDARG;
    for (const AviWrittenLayout::Slot& slot : found.indexSlots) {
      if (slot.riff >= riffs_.size() || slot.chunks.size() > layout.slotCapacity) {
        return E_INVALIDARG;
      }
      StdIndex ix;
      ix.offset = slot.offset;
      ix.base = riffs_[slot.riff].moviOffset;
      ix.riff = slot.riff;
      Riff& riff = riffs_[slot.riff];
      riff.moviEnd = riff.end = std::max(riff.end, slot.offset + IndexSlotBytes());
      for (const AviWrittenLayout::Chunk& c : slot.chunks) {
        if (c.offset < ix.base || c.offset - ix.base > UINT32_MAX || c.size > kMaxChunkBytes) {
          return E_INVALIDARG;
        }
        ix.offsets.push_back(static_cast<uint32_t>(c.offset - ix.base));
        ix.sizes.push_back(c.size | (c.keyframe ? 0 : odml::kDeltaFrameBit));
        const uint64_t ticks = Ticks(s, c.size);
        ix.duration += ticks;
        s.length += ticks;
        ++s.chunks;
        if (IsVideoLike(s) && c.size == 0) ++s.dropped;
        s.maxChunk = std::max(s.maxChunk, c.size);
        maxChunkAll_ = std::max(maxChunkAll_, c.size);
        riff.moviEnd = riff.end = std::max(riff.end, c.offset + c.size + (c.size & 1));
        if (slot.riff == 0) {
          ++s.firstRiffFrames;
          firstRiffChunks.push_back({c.offset, s.chunkId, c.size, c.keyframe});
        }
      }
      s.indexes.push_back(std::move(ix));
    }
    s.indexOpen = !s.indexes.empty() && s.indexes.back().riff == riffs_.size() - 1;
  }
  recordedAt_ = layout.recordedAt;
  headerBytes_ = BuildHeader().size();
  if (headerBytes_ != riffs_.front().moviOffset + kListHeaderBytes && !recordedAt_) {
    // Written before the filler left room for the recording date.
    infoRoom_ = false;
    headerBytes_ = BuildHeader().size();
  }
  if (headerBytes_ != riffs_.front().moviOffset + kListHeaderBytes) return E_INVALIDARG;

  if (layout.idx1Offset) {
    Riff& first = riffs_.front();
    if (riffs_.size() < 2 || *layout.idx1Offset < first.moviEnd) return E_INVALIDARG;
    first.moviEnd = *layout.idx1Offset;
    first.end = *layout.idx1Offset + layout.idx1Bytes;
    idx1Offset_ = *layout.idx1Offset;
    idx1Written_ = true;
  } else if (options_.compatibilityIndex) {
    std::sort(firstRiffChunks.begin(), firstRiffChunks.end(),
              [](const Placed& a, const Placed& b) { return a.offset < b.offset; });
    const uint64_t moviData = riffs_.front().moviOffset + kChunkHeaderBytes;
    for (const Placed& c : firstRiffChunks) {
      idx1_.push_back({c.chunkId, c.keyframe ? idx1::kFlagKeyframe : 0u,
                       static_cast<uint32_t>(c.offset - kChunkHeaderBytes - moviData), c.size});
    }
  }
  Riff& last = riffs_.back();
  if (layout.dataEnd < last.end) return E_INVALIDARG;
  last.moviEnd = last.end = layout.dataEnd;
  fileEnd_ = layout.dataEnd;
  describedEnd_ = 0;
  state_ = State::kWriting;
  return S_OK;
}

HRESULT AviWriter::TakeDvFrame(Stream& s, std::span<const uint8_t>& data) {
  const auto system = dv::CheckFrame(data);
  if (!s.dvSystem) {
    // The first frame fixes what the header says; it must be a sound frame.
    const auto header = system ? system : dv::SystemFromHeader(data);
    const bool type1 = s.format.kind == AviStreamFormat::Kind::kDvType1;
    if (!header || (type1 && !system) || data.size() != dv::FactsOf(*header).frameBytes) {
      return E_INVALIDARG;
    }
    const dv::SystemFacts& facts = dv::FactsOf(*header);
    s.dvSystem = header;
    if (type1 || s.format.bitmap.biWidth == 0) {
      s.format.bitmap.biWidth = facts.width;
      s.format.bitmap.biHeight = facts.height;
      s.format.bitmap.biPlanes = 1;
      s.format.bitmap.biBitCount = 24;
      s.format.bitmap.biSizeImage = static_cast<DWORD>(facts.frameBytes);
    }
    if (system && (type1 || s.fillDvInfo)) {
      s.dvInfo = dv::DvInfoFromFrame(data, *system);
      if (s.fillDvInfo) {
        std::memcpy(s.format.bitmapExtra.data(), &s.dvInfo, sizeof s.dvInfo);
      }
    }
    // Type 1 runs at its system's rate; a DV picture stream follows its time stamps (a
    // re-encoded picture keeps its source's rate).
    if (type1 && !s.rateKnown) SetRateFromFrameTime(s, facts.avgTimePerFrame);
    return S_OK;
  }
  if (s.format.kind != AviStreamFormat::Kind::kDvType1) return S_OK;
  if (system && system != s.dvSystem) {
    // Frames of the other system cannot stand under this stream's header.
    s.ended = true;
    return kStreamEnded;
  }
  if (!system) {
    // Damaged or not DV at all: its place in the stream is kept as a dropped frame.
    data = {};
    return S_FALSE;
  }
  return S_OK;
}

HRESULT AviWriter::WriteSample(int stream, std::span<const uint8_t> data,
                               std::optional<REFERENCE_TIME> start, bool keyframe) {
  if (state_ != State::kWriting) return E_UNEXPECTED;
  if (FAILED(failure_)) return failure_;
  if (stream < 0 || static_cast<size_t>(stream) >= streams_.size()) return E_INVALIDARG;
  if (data.size() > kMaxChunkBytes) return E_INVALIDARG;
  Stream& s = streams_[stream];
  if (s.ended) return kStreamEnded;

  HRESULT taken = S_OK;
  if (IsDvPicture(s)) {
    taken = TakeDvFrame(s, data);
    if (FAILED(taken)) return taken;
    if (taken == S_FALSE) keyframe = false;
  }

  if (IsVideoLike(s) && start) {
    if (!s.firstTime) {
      s.firstTime = start;
    } else if (!s.rateKnown && *start > *s.firstTime) {
      SetRateFromFrameTime(s, *start - *s.firstTime);
    }
    if (s.rateKnown) {
      const int64_t delta = std::max<int64_t>(*start - *s.firstTime, 0);
      const int64_t denom = static_cast<int64_t>(s.scale) * kUnitsPerSecond;
      const uint64_t target =
          static_cast<uint64_t>((delta * static_cast<int64_t>(s.rate) + denom / 2) / denom);
      if (target > s.chunks) {
        const uint64_t gap = std::min(target - s.chunks, kMaxGapFrames);
        for (uint64_t i = 0; i < gap; ++i) {
          const HRESULT hr = AppendChunk(stream, {}, false);
          if (FAILED(hr)) return hr;
          ++s.dropped;
        }
      }
    }
  }

  if (IsLockedSound(s) && start) {
    const HRESULT hr = FillSoundGap(stream, data.size(), *start);
    if (FAILED(hr)) return hr;
  }

  const HRESULT hr = AppendChunk(stream, data, keyframe);
  if (FAILED(hr)) return hr;
  if (taken == S_FALSE) ++s.dropped;
  return taken;
}

bool AviWriter::IsLockedSound(const Stream& s) {
  return s.format.lockedToPicture && s.format.kind == AviStreamFormat::Kind::kAudio &&
         s.format.wave.wFormatTag == WAVE_FORMAT_PCM;
}

HRESULT AviWriter::FillSoundGap(int stream, size_t sampleBytes, REFERENCE_TIME start) {
  Stream& s = streams_[stream];
  if (!s.firstTime) {
    // Counted from the picture's first frame when it came first, so that sound missing at the
    // start is filled too.
    const int video = FirstVideoStream();
    const std::optional<REFERENCE_TIME> picture =
        video >= 0 ? streams_[video].firstTime : std::nullopt;
    s.firstTime = picture ? std::min(*picture, start) : start;
  }
  // Where the sample belongs, in blocks.
  const int64_t delta = std::max<int64_t>(start - *s.firstTime, 0);
  const __int128 denom = static_cast<__int128>(s.scale) * kUnitsPerSecond;
  const auto target =
      static_cast<uint64_t>((delta * static_cast<__int128>(s.rate) + denom / 2) / denom);
  // Sample counts that vary from frame to frame (NTSC's 1600/1602 cycle) stray from the stamps
  // by a few blocks: only a gap of more than half a sample is sound that never came.
  const uint32_t block = BlockAlign(s.format);
  const uint64_t sampleBlocks =
      std::max<uint64_t>(std::max<size_t>(sampleBytes, s.maxChunk) / block, 1);
  if (target <= s.length + sampleBlocks / 2) return S_OK;
  uint64_t gap = std::min<uint64_t>(target - s.length, kMaxSoundGapSeconds * s.rate / s.scale);
  // Silence in pieces the size of the samples, as the lost ones were; the last one takes what
  // is left of the gap, up to half a sample more.
  const uint64_t lastPiece = sampleBlocks + sampleBlocks / 2;
  const uint8_t zero = s.format.wave.wBitsPerSample == 8 ? 0x80 : 0;
  const std::vector<uint8_t> silence(std::min(gap, lastPiece) * block, zero);
  while (gap > 0) {
    const uint64_t blocks = gap <= lastPiece ? gap : sampleBlocks;
    const HRESULT hr = AppendChunk(stream, {silence.data(), blocks * block}, true);
    if (FAILED(hr)) return hr;
    gap -= blocks;
  }
  return S_OK;
}

HRESULT AviWriter::AppendChunk(int stream, std::span<const uint8_t> data, bool keyframe) {
  Stream& s = streams_[stream];
  const uint64_t chunkBytes = PaddedChunkBytes(data.size());
  auto needsSlot = [&] {
    return !s.indexOpen || s.indexes.back().offsets.size() >= options_.stdIndexCapacity ||
           s.indexes.back().riff != riffs_.size() - 1;
  };
  HRESULT hr = EnsureRiffRoom(chunkBytes, needsSlot());
  if (FAILED(hr)) return hr;
  if (needsSlot()) {
    hr = OpenIndexSlot(stream);
    if (FAILED(hr)) return hr;
  }

  const uint32_t size = static_cast<uint32_t>(data.size());
  uint8_t header[kChunkHeaderBytes];
  PutU32(header, s.chunkId);
  PutU32(header + 4, size);
  static constexpr uint8_t kPad = 0;
  hr = output_.WriteAt(fileEnd_, {{header, sizeof header}, data, {&kPad, size & 1u}});
  if (FAILED(hr)) {
    if (SUCCEEDED(failure_)) failure_ = hr;
    return hr;
  }

  Riff& riff = riffs_.back();
  StdIndex& ix = s.indexes.back();
  ix.offsets.push_back(static_cast<uint32_t>(fileEnd_ + kChunkHeaderBytes - ix.base));
  ix.sizes.push_back(size | (keyframe ? 0 : odml::kDeltaFrameBit));
  const uint64_t ticks = Ticks(s, size);
  ix.duration += ticks;
  s.length += ticks;
  ++s.chunks;
  s.maxChunk = std::max(s.maxChunk, size);
  maxChunkAll_ = std::max(maxChunkAll_, size);
  if (riffs_.size() == 1) {
    ++s.firstRiffFrames;
    if (options_.compatibilityIndex) {
      idx1_.push_back({s.chunkId, keyframe ? idx1::kFlagKeyframe : 0u,
                       static_cast<uint32_t>(fileEnd_ - (riff.moviOffset + kChunkHeaderBytes)),
                       size});
    }
  }
  fileEnd_ += chunkBytes;
  riff.moviEnd = riff.end = fileEnd_;
  return S_OK;
}

HRESULT AviWriter::EnsureRiffRoom(uint64_t chunkBytes, bool needsIndexSlot) {
  const Riff& riff = riffs_.back();
  uint64_t need = chunkBytes + (needsIndexSlot ? IndexSlotBytes() : 0);
  if (riffs_.size() == 1 && options_.compatibilityIndex) {
    need += kChunkHeaderBytes + idx1::kEntryBytes * (idx1_.size() + 1);
  }
  const bool empty = riff.moviEnd == riff.moviOffset + kListHeaderBytes;
  if (riff.end - riff.offset + need <= options_.riffLimitBytes || empty) return S_OK;

  HRESULT hr = CloseRiff();
  if (FAILED(hr)) return hr;
  Riff next;
  next.offset = fileEnd_;
  next.moviOffset = fileEnd_ + kListHeaderBytes;
  next.moviEnd = next.end = fileEnd_ + 2 * kListHeaderBytes;
  uint8_t lists[2 * kListHeaderBytes];
  PutU32(lists, kFccRiff);
  PutU32(lists + 4, static_cast<uint32_t>(2 * kListHeaderBytes - kChunkHeaderBytes));
  PutU32(lists + 8, kFccAvix);
  PutU32(lists + 12, kFccList);
  PutU32(lists + 16, 4);
  PutU32(lists + 20, kFccMovi);
  hr = WriteBytes(fileEnd_, lists, sizeof lists);
  if (FAILED(hr)) return hr;
  riffs_.push_back(next);
  fileEnd_ = next.end;
  // The closed RIFF's sizes and index entries go in with the next checkpoint, after its data
  // is synced.
  return S_OK;
}

HRESULT AviWriter::OpenIndexSlot(int stream) {
  Stream& s = streams_[stream];
  if (s.indexes.size() >= odml::kIndxCapacity) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
  StdIndex ix;
  ix.offset = fileEnd_;
  ix.base = riffs_.back().moviOffset;
  ix.riff = riffs_.size() - 1;
  std::vector<uint8_t> slot(IndexSlotBytes(), 0);
  PutU32(&slot[0], s.indexId);
  PutU32(&slot[4], static_cast<uint32_t>(slot.size() - kChunkHeaderBytes));
  uint8_t* h = &slot[kChunkHeaderBytes];
  PutU16(h + odml::kLongsPerEntry, odml::kStdLongsPerEntry);
  h[odml::kIndexSubType] = 0;
  h[odml::kIndexType] = odml::kIndexOfChunks;
  PutU32(h + odml::kEntriesInUse, 0);
  PutU32(h + odml::kChunkId, s.chunkId);
  PutU64(h + odml::kBaseOffset, ix.base);
  const HRESULT hr = WriteBytes(fileEnd_, slot.data(), slot.size());
  if (FAILED(hr)) return hr;
  fileEnd_ += slot.size();
  riffs_.back().moviEnd = riffs_.back().end = fileEnd_;
  s.indexes.push_back(std::move(ix));
  s.indexOpen = true;
  return S_OK;
}

HRESULT AviWriter::WriteIndexSlots() {
  for (Stream& s : streams_) {
    for (StdIndex& ix : s.indexes) {
      if (ix.written >= ix.offsets.size()) continue;
      const size_t count = ix.offsets.size() - ix.written;
      std::vector<uint8_t> entries(count * odml::kStdEntryBytes);
      for (size_t i = 0; i < count; ++i) {
        uint8_t* entry = &entries[i * odml::kStdEntryBytes];
        PutU32(entry + odml::kStdEntryOffset, ix.offsets[ix.written + i]);
        PutU32(entry + odml::kStdEntrySize, ix.sizes[ix.written + i]);
      }
      const uint64_t table = ix.offset + kChunkHeaderBytes + odml::kStdHeaderBytes;
      HRESULT hr =
          WriteBytes(table + ix.written * odml::kStdEntryBytes, entries.data(), entries.size());
      if (FAILED(hr)) return hr;
      uint8_t inUse[4];
      PutU32(inUse, static_cast<uint32_t>(ix.offsets.size()));
      hr = WriteBytes(ix.offset + kChunkHeaderBytes + odml::kEntriesInUse, inUse, sizeof inUse);
      if (FAILED(hr)) return hr;
      ix.written = ix.offsets.size();
    }
  }
  return S_OK;
}

HRESULT AviWriter::WriteHeader() {
  const std::vector<uint8_t> header = BuildHeader();
  if (header.size() != headerBytes_) return E_UNEXPECTED;
  return WriteBytes(0, header.data(), header.size());
}

HRESULT AviWriter::WriteRiffSizes(const Riff& riff) {
  uint8_t size[4];
  PutU32(size, static_cast<uint32_t>(riff.end - riff.offset - kChunkHeaderBytes));
  HRESULT hr = WriteBytes(riff.offset + 4, size, sizeof size);
  if (FAILED(hr)) return hr;
  PutU32(size, static_cast<uint32_t>(riff.moviEnd - riff.moviOffset - kChunkHeaderBytes));
  return WriteBytes(riff.moviOffset + 4, size, sizeof size);
}

HRESULT AviWriter::WriteIdx1() {
  if (FAILED(failure_)) return failure_;
  std::vector<uint8_t> chunk(kChunkHeaderBytes + idx1_.size() * idx1::kEntryBytes);
  PutU32(&chunk[0], kFccIdx1);
  PutU32(&chunk[4], static_cast<uint32_t>(chunk.size() - kChunkHeaderBytes));
  for (size_t i = 0; i < idx1_.size(); ++i) {
    uint8_t* e = &chunk[kChunkHeaderBytes + i * idx1::kEntryBytes];
    PutU32(e + idx1::kChunkId, idx1_[i].chunkId);
    PutU32(e + idx1::kFlags, idx1_[i].flags);
    PutU32(e + idx1::kOffset, idx1_[i].offset);
    PutU32(e + idx1::kSize, idx1_[i].size);
  }
  const HRESULT hr = WriteBytes(fileEnd_, chunk.data(), chunk.size());
  if (FAILED(hr)) return hr;
  idx1Offset_ = fileEnd_;
  fileEnd_ += chunk.size();
  riffs_.front().end = fileEnd_;
  idx1Written_ = true;
  idx1_.clear();
  idx1_.shrink_to_fit();
  return S_OK;
}

HRESULT AviWriter::CloseRiff() {
  for (Stream& s : streams_) s.indexOpen = false;
  if (riffs_.size() == 1 && options_.compatibilityIndex) return WriteIdx1();
  return S_OK;
}

HRESULT AviWriter::SyncOutput() {
  if (FAILED(failure_)) return failure_;
  const HRESULT hr = output_.Sync();
  if (FAILED(hr)) failure_ = hr;
  return failure_;
}

HRESULT AviWriter::DescribeWrittenData() {
  if (FAILED(failure_)) return failure_;
  if (FAILED(WriteIndexSlots()) || FAILED(WriteHeader())) return failure_;
  // The first RIFF's sizes are in the header; a later one's sit in front of it, written while
  // it grows and once more when it is closed.
  for (size_t i = 1; i < riffs_.size(); ++i) {
    Riff& riff = riffs_[i];
    const bool closed = i + 1 < riffs_.size();
    if (closed && riff.sizesWritten) continue;
    if (FAILED(WriteRiffSizes(riff))) return failure_;
    riff.sizesWritten = closed;
  }
  describedEnd_ = fileEnd_;
  return S_OK;
}

HRESULT AviWriter::Checkpoint() {
  if (state_ != State::kWriting) return E_UNEXPECTED;
  if (FAILED(failure_)) return failure_;
  if (fileEnd_ == describedEnd_) return S_FALSE;
  // The chunks reach the disk before the headers and indexes that point at them.
  SyncOutput();
  DescribeWrittenData();
  return SyncOutput();
}

void AviWriter::AdjustToMaster() {
  const int master = options_.masterStream;
  if (master < 0 || static_cast<size_t>(master) >= streams_.size()) return;
  const Stream& m = streams_[master];
  if (m.length == 0) return;
  for (size_t i = 0; i < streams_.size(); ++i) {
    Stream& s = streams_[i];
    // Sound locked to the picture was placed by its stamps: it keeps its rate.
    if (static_cast<int>(i) == master || s.length == 0 || IsLockedSound(s)) continue;
    // Wanted: length * scale / rate == master length * master scale / master rate.
    if (!IsVideoLike(s)) {
      // Sound keeps its block as the unit of scale; only its rate moves.
      const uint64_t num = s.length * s.scale * static_cast<uint64_t>(m.rate);
      const uint64_t den = m.length * m.scale;
      s.rate = static_cast<uint32_t>(std::min<uint64_t>((num + den / 2) / den, UINT32_MAX));
      continue;
    }
    uint64_t scale = m.length * m.scale;
    uint64_t rate = s.length * m.rate;
    ReduceRatio(scale, rate);
    s.scale = static_cast<uint32_t>(scale);
    s.rate = static_cast<uint32_t>(rate);
  }
}

void AviWriter::TrimToWrittenEnd() {
  const uint64_t limit = output_.WrittenEnd();
  while (riffs_.size() > 1 && riffs_.back().moviOffset + kListHeaderBytes > limit) {
    riffs_.pop_back();
  }
  const size_t lastRiff = riffs_.size() - 1;
  uint64_t end = riffs_.back().moviOffset + kListHeaderBytes;
  for (Stream& s : streams_) {
    while (!s.indexes.empty() && (s.indexes.back().offset + IndexSlotBytes() > limit ||
                                  s.indexes.back().riff > lastRiff)) {
      s.indexes.pop_back();
    }
    s.indexOpen = false;
    s.length = 0;
    s.chunks = 0;
    s.firstRiffFrames = 0;
    for (StdIndex& ix : s.indexes) {
      while (!ix.offsets.empty()) {
        const uint32_t size = ix.sizes.back() & ~odml::kDeltaFrameBit;
        if (ix.base + ix.offsets.back() + size + (size & 1) <= limit) break;
        ix.offsets.pop_back();
        ix.sizes.pop_back();
      }
      // Every entry is written again: what an earlier description queued may never have
      // reached the file (a queued output drops it after a failure).
      ix.written = 0;
      ix.duration = 0;
      for (uint32_t raw : ix.sizes) {
        const uint32_t size = raw & ~odml::kDeltaFrameBit;
        ix.duration += Ticks(s, size);
      }
      s.length += ix.duration;
      s.chunks += ix.offsets.size();
      if (ix.riff == 0) s.firstRiffFrames += ix.offsets.size();
      if (ix.riff == lastRiff) {
        end = std::max(end, ix.offset + IndexSlotBytes());
        if (!ix.offsets.empty()) {
          const uint32_t size = ix.sizes.back() & ~odml::kDeltaFrameBit;
          end = std::max(end, ix.base + ix.offsets.back() + size + (size & 1));
        }
      }
    }
  }
  if (!idx1Written_) {
    const uint64_t moviData = riffs_.front().moviOffset + kChunkHeaderBytes;
    std::erase_if(idx1_, [&](const Idx1Entry& e) {
      return moviData + e.offset + kChunkHeaderBytes + e.size + (e.size & 1) > limit;
    });
  }
  for (Riff& r : riffs_) r.sizesWritten = false;
  Riff& riff = riffs_.back();
  const uint64_t dataEnd = std::min(end, std::max(limit, riff.moviOffset + kListHeaderBytes));
  if (riffs_.size() == 1 && idx1Written_ && idx1Offset_ + kChunkHeaderBytes <= limit &&
      riff.end <= limit) {
    riff.moviEnd = idx1Offset_;  // the whole idx1 made it: the RIFF keeps it
  } else {
    if (riffs_.size() == 1) idx1Written_ = false;
    riff.moviEnd = riff.end = dataEnd;
  }
  fileEnd_ = riff.end;
}

HRESULT AviWriter::Finish() {
  if (state_ == State::kDeclaring) return E_UNEXPECTED;
  if (state_ == State::kFinished) return failure_;
  state_ = State::kFinished;
  // The last data (the compatibility index after the first movi list), a sync, then the
  // indexes, sizes and header that describe it, and a sync. Each step does nothing once one
  // has failed.
  if (riffs_.size() == 1 && options_.compatibilityIndex) WriteIdx1();
  SyncOutput();
  AdjustToMaster();
  DescribeWrittenData();
  SyncOutput();
  if (FAILED(failure_)) DescribeWhatReachedTheFile();
  return failure_;
}

HRESULT AviWriter::Salvage(HRESULT failure) {
  if (state_ == State::kDeclaring) return E_UNEXPECTED;
  if (SUCCEEDED(failure_)) failure_ = failure;
  state_ = State::kFinished;
  DescribeWhatReachedTheFile();
  return failure_;
}

void AviWriter::DescribeWhatReachedTheFile() {
  // Keep what reached the file: drop index entries of chunks that did not, then rewrite the
  // indexes and headers in place (this needs no new space on a full disk). Errors of these
  // rewrites change nothing more: the first failure is the one reported.
  output_.Flush();
  TrimToWrittenEnd();
  if (output_.WrittenEnd() < headerBytes_) return;
  AdjustToMaster();
  const HRESULT failure = std::exchange(failure_, S_OK);
  DescribeWrittenData();
  SyncOutput();
  failure_ = failure;
}

void AviWriter::BuildMainHeader(HeaderBuilder& b) const {
  const int video = FirstVideoStream();
  const Stream* v = video >= 0 ? &streams_[video] : nullptr;
  uint64_t maxBytesPerSec = 0;
  for (const Stream& s : streams_) {
    maxBytesPerSec += IsVideoLike(s) ? uint64_t{s.maxChunk} * s.rate / std::max(s.scale, 1u)
                                     : s.format.wave.nAvgBytesPerSec;
  }

  const size_t avihSize = b.BeginChunk(kFccAvih);
  const size_t a = b.Pos();
  b.Zero(avih::kBytes);
  PutU32(b.At(a + avih::kMicroSecPerFrame),
         v ? static_cast<uint32_t>(uint64_t{v->scale} * kMicrosPerSecond / v->rate) : 0);
  PutU32(b.At(a + avih::kMaxBytesPerSec),
         static_cast<uint32_t>(std::min<uint64_t>(maxBytesPerSec, UINT32_MAX)));
  PutU32(b.At(a + avih::kPaddingGranularity), 0);
  PutU32(b.At(a + avih::kFlags), avih::kFlagIsInterleaved | avih::kFlagTrustCkType |
                                     avih::kFlagWasCaptureFile |
                                     (idx1Written_ ? avih::kFlagHasIndex : 0u));
  PutU32(b.At(a + avih::kTotalFrames), v ? static_cast<uint32_t>(v->firstRiffFrames) : 0);
  PutU32(b.At(a + avih::kInitialFrames), 0);
  PutU32(b.At(a + avih::kStreams), static_cast<uint32_t>(streams_.size()));
  PutU32(b.At(a + avih::kSuggestedBufferSize),
         maxChunkAll_ ? maxChunkAll_ + static_cast<uint32_t>(kChunkHeaderBytes) : 0);
  PutU32(b.At(a + avih::kWidth), v ? static_cast<uint32_t>(v->format.bitmap.biWidth) : 0);
  PutU32(b.At(a + avih::kHeight),
         v ? static_cast<uint32_t>(std::abs(v->format.bitmap.biHeight)) : 0);
  b.End(avihSize);
}

void AviWriter::BuildStreamHeader(HeaderBuilder& b, const Stream& s) const {
  const bool audio = s.format.kind == AviStreamFormat::Kind::kAudio;
  const bool type1 = s.format.kind == AviStreamFormat::Kind::kDvType1;

  const size_t strhSize = b.BeginChunk(kFccStrh);
  const size_t h = b.Pos();
  b.Zero(strh::kBytes);
  PutU32(b.At(h + strh::kType), audio ? kFccAuds : type1 ? kFccIavs : kFccVids);
  PutU32(b.At(h + strh::kHandler), audio   ? 0u
                                   : type1 ? kFccDvsd
                                           : static_cast<uint32_t>(s.format.bitmap.biCompression));
  PutU32(b.At(h + strh::kFlags), 0);
  PutU16(b.At(h + strh::kPriority), 0);
  PutU16(b.At(h + strh::kLanguage), 0);
  PutU32(b.At(h + strh::kInitialFrames), 0);
  PutU32(b.At(h + strh::kScale), s.scale);
  PutU32(b.At(h + strh::kRate), s.rate);
  PutU32(b.At(h + strh::kStart), 0);
  PutU32(b.At(h + strh::kLength), static_cast<uint32_t>(std::min<uint64_t>(s.length, UINT32_MAX)));
  PutU32(b.At(h + strh::kSuggestedBufferSize), s.maxChunk);
  PutU32(b.At(h + strh::kQuality), strh::kDefaultQuality);
  PutU32(b.At(h + strh::kSampleSize), audio ? s.format.wave.nBlockAlign : 0u);
  if (!audio) {
    PutU16(b.At(h + strh::kFrameLeft), 0);
    PutU16(b.At(h + strh::kFrameTop), 0);
    PutU16(b.At(h + strh::kFrameRight), static_cast<uint16_t>(s.format.bitmap.biWidth));
    PutU16(b.At(h + strh::kFrameBottom), static_cast<uint16_t>(std::abs(s.format.bitmap.biHeight)));
  }
  b.End(strhSize);
}

void AviWriter::BuildStreamFormat(HeaderBuilder& b, const Stream& s) const {
  const bool audio = s.format.kind == AviStreamFormat::Kind::kAudio;
  const bool type1 = s.format.kind == AviStreamFormat::Kind::kDvType1;
  const size_t strfSize = b.BeginChunk(kFccStrf);
  const size_t f = b.Pos();
  if (audio) {
    const WAVEFORMATEX& w = s.format.wave;
    b.Zero(wfx::kBytes);
    PutU16(b.At(f + wfx::kFormatTag), w.wFormatTag);
    PutU16(b.At(f + wfx::kChannels), w.nChannels);
    PutU32(b.At(f + wfx::kSamplesPerSec), w.nSamplesPerSec);
    PutU32(b.At(f + wfx::kAvgBytesPerSec), w.nAvgBytesPerSec);
    PutU16(b.At(f + wfx::kBlockAlign), w.nBlockAlign);
    PutU16(b.At(f + wfx::kBitsPerSample), w.wBitsPerSample);
    PutU16(b.At(f + wfx::kCbSize), static_cast<uint16_t>(s.format.waveExtra.size()));
    b.Bytes(s.format.waveExtra);
  } else if (type1) {
    const DVINFO& d = s.dvInfo;
    b.Zero(dvinfo::kBytes);
    PutU32(b.At(f + dvinfo::kAAuxSrc), d.dwDVAAuxSrc);
    PutU32(b.At(f + dvinfo::kAAuxCtl), d.dwDVAAuxCtl);
    PutU32(b.At(f + dvinfo::kAAuxSrc1), d.dwDVAAuxSrc1);
    PutU32(b.At(f + dvinfo::kAAuxCtl1), d.dwDVAAuxCtl1);
    PutU32(b.At(f + dvinfo::kVAuxSrc), d.dwDVVAuxSrc);
    PutU32(b.At(f + dvinfo::kVAuxCtl), d.dwDVVAuxCtl);
  } else {
    const BITMAPINFOHEADER& bi = s.format.bitmap;
    b.Zero(bih::kBytes);
    PutU32(b.At(f + bih::kSize), bih::kBytes + static_cast<uint32_t>(s.format.bitmapExtra.size()));
    PutU32(b.At(f + bih::kWidth), static_cast<uint32_t>(bi.biWidth));
    PutU32(b.At(f + bih::kHeight), static_cast<uint32_t>(bi.biHeight));
    PutU16(b.At(f + bih::kPlanes), bi.biPlanes ? bi.biPlanes : 1);
    PutU16(b.At(f + bih::kBitCount), bi.biBitCount);
    PutU32(b.At(f + bih::kCompression), bi.biCompression);
    PutU32(b.At(f + bih::kSizeImage), bi.biSizeImage);
    PutU32(b.At(f + bih::kXPelsPerMeter), static_cast<uint32_t>(bi.biXPelsPerMeter));
    PutU32(b.At(f + bih::kYPelsPerMeter), static_cast<uint32_t>(bi.biYPelsPerMeter));
    PutU32(b.At(f + bih::kClrUsed), bi.biClrUsed);
    PutU32(b.At(f + bih::kClrImportant), bi.biClrImportant);
    b.Bytes(s.format.bitmapExtra);
  }
  b.End(strfSize);
}

void AviWriter::BuildSuperIndex(HeaderBuilder& b, const Stream& s) const {
  const size_t indxSize = b.BeginChunk(kFccIndx);
  const size_t x = b.Pos();
  b.Zero(odml::kIndxReservedBytes);
  PutU16(b.At(x + odml::kLongsPerEntry), odml::kSuperLongsPerEntry);
  *b.At(x + odml::kIndexSubType) = 0;
  *b.At(x + odml::kIndexType) = odml::kIndexOfIndexes;
  PutU32(b.At(x + odml::kChunkId), s.chunkId);
  uint32_t inUse = 0;
  for (const StdIndex& ix : s.indexes) {
    if (ix.written == 0) continue;  // nothing of this slot is on disk yet
    uint8_t* e = b.At(x + odml::kSuperHeaderBytes + inUse * odml::kSuperEntryBytes);
    uint64_t duration = 0;
    if (ix.written == ix.offsets.size()) {
      duration = ix.duration;
    } else {
      for (size_t i = 0; i < ix.written; ++i) {
        duration += Ticks(s, ix.sizes[i] & ~odml::kDeltaFrameBit);
      }
    }
    PutU64(e + odml::kSuperEntryOffset, ix.offset);
    PutU32(e + odml::kSuperEntrySize, static_cast<uint32_t>(IndexSlotBytes()));
    PutU32(e + odml::kSuperEntryDuration, static_cast<uint32_t>(duration));
    ++inUse;
  }
  PutU32(b.At(x + odml::kEntriesInUse), inUse);
  b.End(indxSize);
}

std::vector<uint8_t> AviWriter::BuildHeader() const {
  HeaderBuilder b;
  const size_t riffSize = b.BeginList(kFccRiff, kFccAvi);
  const size_t hdrl = b.BeginList(kFccList, kFccHdrl);

  BuildMainHeader(b);
  for (const Stream& s : streams_) {
    const size_t strl = b.BeginList(kFccList, kFccStrl);
    BuildStreamHeader(b, s);
    BuildStreamFormat(b, s);
    BuildSuperIndex(b, s);
    if (!s.format.name.empty()) {
      const size_t strnSize = b.BeginChunk(kFccStrn);
      const size_t n = b.Pos();
      b.Zero(s.format.name.size() + 1);
      std::copy(s.format.name.begin(), s.format.name.end(), b.At(n));
      b.End(strnSize);
    }
    b.End(strl);
  }

  const int video = FirstVideoStream();
  const Stream* v = video >= 0 ? &streams_[video] : nullptr;
  const size_t odmlList = b.BeginList(kFccList, kFccOdml);
  const size_t dmlhSize = b.BeginChunk(kFccDmlh);
  const size_t d = b.Pos();
  b.Zero(odml::kDmlhBytes);
  PutU32(b.At(d + odml::kDmlhGrandFrames),
         v ? static_cast<uint32_t>(std::min<uint64_t>(v->length, UINT32_MAX)) : 0);
  b.End(dmlhSize);
  b.End(odmlList);
  b.End(hdrl);

  // The recording date, or room for it in the filler.
  uint64_t infoRoom = infoRoom_ ? kInfoListBytes : 0;
  if (recordedAt_) {
    b.Bytes(InfoListOf(*recordedAt_));
    infoRoom = 0;
  }
  // JUNK up to the aligned start of the movi list.
  const uint64_t afterJunkHeader = b.Pos() + kChunkHeaderBytes;
  const uint64_t moviStart =
      (afterJunkHeader + infoRoom + kMoviAlign - 1) / kMoviAlign * kMoviAlign;
  const size_t junk = b.BeginChunk(kFccJunk);
  b.Zero(moviStart - afterJunkHeader);
  b.End(junk);

  const size_t movi = b.BeginList(kFccList, kFccMovi);
  const Riff* first = riffs_.empty() ? nullptr : &riffs_.front();
  PutU32(
      b.At(movi),
      first ? static_cast<uint32_t>(first->moviEnd - first->moviOffset - kChunkHeaderBytes) : 4u);
  PutU32(b.At(riffSize), first ? static_cast<uint32_t>(first->end - kChunkHeaderBytes)
                               : static_cast<uint32_t>(b.Pos() - kChunkHeaderBytes));
  return b.Take();
}

}  // namespace vidorra::avi
