#include "AviRepair.h"

#include <comimpl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unique_handle.h>
#include <unistd.h>
#include <vidorra_repair.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "AviLayout.h"
#include "AviWriter.h"
#include "PosixFileOutput.h"

namespace vidorra::avi {

namespace {

// No header of the writer's is this large (100 streams with their reserved super indexes).
constexpr uint64_t kMaxHeaderBytes = 4u << 20;
constexpr size_t kMaxRiffs = 100000;

class PosixRepairFile final : public AviRepairFile {
 public:
  PosixRepairFile(UniqueFd fd, uint64_t size) : fd_(std::move(fd)), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, uint8_t* data, size_t size) override {
    if (offset > size_ || size > size_ - offset) return false;
    while (size > 0) {
      const ssize_t n = ::pread(fd_.get(), data, size, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
      offset += static_cast<uint64_t>(n);
    }
    return true;
  }
  HRESULT WriteAt(uint64_t offset, const uint8_t* data, size_t size) override {
    const uint64_t end = offset + size;
    while (size > 0) {
      const ssize_t n = ::pwrite(fd_.get(), data, size, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return PosixFileOutput::HresultFromErrno(errno);
      data += n;
      size -= static_cast<size_t>(n);
      offset += static_cast<uint64_t>(n);
    }
    size_ = std::max(size_, end);
    return S_OK;
  }
  HRESULT Sync() override {
    return ::fdatasync(fd_.get()) == 0 ? S_OK : PosixFileOutput::HresultFromErrno(errno);
  }
  HRESULT Truncate(uint64_t size) override {
    if (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) {
      return PosixFileOutput::HresultFromErrno(errno);
    }
    size_ = size;
    return S_OK;
  }

 private:
  UniqueFd fd_;
  uint64_t size_;
};

// The writer's output during a repair: its writes and syncs, kept in order, to be compared with
// the file and then carried out.
class PlannedOutput final : public AviOutput {
 public:
  struct Step {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
    bool sync = false;
  };
  using AviOutput::WriteAt;
  HRESULT WriteAt(uint64_t offset, std::initializer_list<Bytes> pieces) override {
    Step step;
    step.offset = offset;
    for (Bytes piece : pieces) step.bytes.insert(step.bytes.end(), piece.begin(), piece.end());
    end_ = std::max(end_, offset + step.bytes.size());
    steps_.push_back(std::move(step));
    return S_OK;
  }
  HRESULT Flush() override { return S_OK; }
  HRESULT Sync() override {
    Step barrier;
    barrier.sync = true;
    steps_.push_back(std::move(barrier));
    return S_OK;
  }
  uint64_t WrittenEnd() const override { return end_; }
  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
  uint64_t end_ = 0;
};

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// The stream number of a chunk id "NNxx" (or of "ixNN" with index true), or -1.
int StreamOf(uint32_t id, bool index) {
  uint8_t c[4];
  PutU32(c, id);
  if (index) {
    if (c[0] != 'i' || c[1] != 'x' || !IsDigit(c[2]) || !IsDigit(c[3])) return -1;
    return (c[2] - '0') * 10 + (c[3] - '0');
  }
  if (!IsDigit(c[0]) || !IsDigit(c[1])) return -1;
  return (c[0] - '0') * 10 + (c[1] - '0');
}

// A chunk read from a byte block with its bounds checked.
struct Piece {
  uint32_t id = 0;
  uint32_t size = 0;
  size_t data = 0;  // offset of the data in the block
  size_t end = 0;   // offset after the data and its pad byte
};

std::optional<Piece> PieceAt(const std::vector<uint8_t>& block, size_t pos, size_t limit) {
  limit = std::min(limit, block.size());
  if (pos > limit || limit - pos < kChunkHeaderBytes) return std::nullopt;
  Piece p{.id = GetU32(&block[pos]), .size = GetU32(&block[pos + 4]), .data = pos + 8};
  const uint64_t end = uint64_t{p.data} + p.size + (p.size & 1);
  if (end > limit) return std::nullopt;
  p.end = static_cast<size_t>(end);
  return p;
}

// Streams as the header declares them, and where the first movi list is.
struct Header {
  std::vector<AviWrittenLayout::Stream> streams;
  uint64_t moviOffset = 0;
  std::optional<dv::DvRecordedAt> recordedAt;
};

std::optional<AviWrittenLayout::Stream> StreamFromList(const std::vector<uint8_t>& block,
                                                       const Piece& strl) {
  AviWrittenLayout::Stream s;
  std::optional<Piece> strh, strf;
  bool indx = false;
  for (size_t pos = strl.data + 4; pos < strl.end;) {
    const auto p = PieceAt(block, pos, strl.end);
    if (!p) return std::nullopt;
    if (p->id == kFccStrh) strh = p;
    if (p->id == kFccStrf) strf = p;
    if (p->id == kFccIndx) indx = p->size == odml::kIndxReservedBytes;
    if (p->id == kFccStrn && p->size > 0) {
      const auto* text = reinterpret_cast<const char*>(&block[p->data]);
      s.format.name.assign(text, strnlen(text, p->size));
    }
    pos = p->end;
  }
  if (!strh || !strf || !indx || strh->size < strh::kBytes) return std::nullopt;
  const uint8_t* h = &block[strh->data];
  const uint8_t* f = &block[strf->data];
  s.scale = GetU32(h + strh::kScale);
  s.rate = GetU32(h + strh::kRate);
  const uint32_t type = GetU32(h + strh::kType);
  if (type == kFccAuds) {
    if (strf->size < wfx::kBytes) return std::nullopt;
    WAVEFORMATEX& w = s.format.wave;
    s.format.kind = AviStreamFormat::Kind::kAudio;
    w.wFormatTag = GetU16(f + wfx::kFormatTag);
    w.nChannels = GetU16(f + wfx::kChannels);
    w.nSamplesPerSec = GetU32(f + wfx::kSamplesPerSec);
    w.nAvgBytesPerSec = GetU32(f + wfx::kAvgBytesPerSec);
    w.nBlockAlign = GetU16(f + wfx::kBlockAlign);
    w.wBitsPerSample = GetU16(f + wfx::kBitsPerSample);
    const uint16_t extra = GetU16(f + wfx::kCbSize);
    if (wfx::kBytes + extra > strf->size) return std::nullopt;
    s.format.waveExtra.assign(f + wfx::kBytes, f + wfx::kBytes + extra);
  } else if (type == kFccIavs) {
    if (strf->size < dvinfo::kBytes) return std::nullopt;
    s.format.kind = AviStreamFormat::Kind::kDvType1;
    s.format.bitmap.biWidth = GetU16(h + strh::kFrameRight);
    s.format.bitmap.biHeight = GetU16(h + strh::kFrameBottom);
    s.dvInfo.dwDVAAuxSrc = GetU32(f + dvinfo::kAAuxSrc);
    s.dvInfo.dwDVAAuxCtl = GetU32(f + dvinfo::kAAuxCtl);
    s.dvInfo.dwDVAAuxSrc1 = GetU32(f + dvinfo::kAAuxSrc1);
    s.dvInfo.dwDVAAuxCtl1 = GetU32(f + dvinfo::kAAuxCtl1);
    s.dvInfo.dwDVVAuxSrc = GetU32(f + dvinfo::kVAuxSrc);
    s.dvInfo.dwDVVAuxCtl = GetU32(f + dvinfo::kVAuxCtl);
  } else if (type == kFccVids) {
    if (strf->size < bih::kBytes || GetU32(f + bih::kSize) != strf->size) return std::nullopt;
    BITMAPINFOHEADER& b = s.format.bitmap;
    s.format.kind = AviStreamFormat::Kind::kVideo;
    b.biSize = bih::kBytes;
    b.biWidth = static_cast<LONG>(GetU32(f + bih::kWidth));
    b.biHeight = static_cast<LONG>(GetU32(f + bih::kHeight));
    b.biPlanes = GetU16(f + bih::kPlanes);
    b.biBitCount = GetU16(f + bih::kBitCount);
    b.biCompression = GetU32(f + bih::kCompression);
    b.biSizeImage = GetU32(f + bih::kSizeImage);
    b.biXPelsPerMeter = static_cast<LONG>(GetU32(f + bih::kXPelsPerMeter));
    b.biYPelsPerMeter = static_cast<LONG>(GetU32(f + bih::kYPelsPerMeter));
    b.biClrUsed = GetU32(f + bih::kClrUsed);
    b.biClrImportant = GetU32(f + bih::kClrImportant);
    s.format.bitmapExtra.assign(f + bih::kBytes, f + strf->size);
  } else {
    return std::nullopt;
  }
  return s;
}

std::optional<Header> ReadHeader(AviRepairFile& file) {
  std::vector<uint8_t> block(std::min(file.Size(), kMaxHeaderBytes));
  if (block.size() < 2 * kListHeaderBytes || !file.ReadAt(0, block.data(), block.size()) ||
      GetU32(&block[0]) != kFccRiff || GetU32(&block[8]) != kFccAvi) {
    return std::nullopt;
  }
  Header header;
  size_t pos = kListHeaderBytes;
  // hdrl, the recording date's LIST 'INFO' if the file has one, then a JUNK filler, then the
  // movi list: the order the writer lays them out in.
  const auto hdrl = PieceAt(block, pos, block.size());
  if (!hdrl || hdrl->id != kFccList || hdrl->size < 4 || GetU32(&block[hdrl->data]) != kFccHdrl) {
    return std::nullopt;
  }
  for (size_t at = hdrl->data + 4; at < hdrl->end;) {
    const auto p = PieceAt(block, at, hdrl->end);
    if (!p) return std::nullopt;
    if (p->id == kFccList && p->size >= 4 && GetU32(&block[p->data]) == kFccStrl) {
      auto stream = StreamFromList(block, *p);
      if (!stream || header.streams.size() >= 100) return std::nullopt;
      header.streams.push_back(std::move(*stream));
    }
    at = p->end;
  }
  pos = hdrl->end;
  const auto info = PieceAt(block, pos, block.size());
  if (info && info->id == kFccList && info->size >= 4 && GetU32(&block[info->data]) == kFccInfo) {
    header.recordedAt = RecordedAtFromInfo(
        std::span(block).subspan(info->data + 4, info->end - info->data - 4));
    pos = info->end;
  }
  const auto junk = PieceAt(block, pos, block.size());
  if (!junk || junk->id != kFccJunk) return std::nullopt;
  pos = junk->end;
  if (block.size() - pos < kListHeaderBytes || GetU32(&block[pos]) != kFccList ||
      GetU32(&block[pos + 8]) != kFccMovi || header.streams.empty()) {
    return std::nullopt;
  }
  header.moviOffset = pos;
  return header;
}

// The chunk id the writer gives a stream's chunks.
uint32_t ChunkIdOf(const AviWrittenLayout::Stream& s, unsigned n) {
  if (s.format.kind == AviStreamFormat::Kind::kAudio) return StreamChunkId(n, "wb");
  const bool rgb =
      s.format.kind == AviStreamFormat::Kind::kVideo && s.format.bitmap.biCompression == BI_RGB;
  return StreamChunkId(n, rgb ? "db" : "dc");
}

using SlotEntries = std::vector<std::pair<uint32_t, uint32_t>>;

// An index slot's header checked against what the writer puts there (its stream's chunk id,
// the movi list it indexes), and its entries already on disk (offset from the base, size with
// the delta bit); nothing when the slot is not one of the writer's.
std::optional<SlotEntries> ReadSlot(AviRepairFile& file, uint64_t offset, size_t capacity,
                                    uint32_t chunkId, uint64_t base) {
  uint8_t head[odml::kStdHeaderBytes];
  if (!file.ReadAt(offset + kChunkHeaderBytes, head, sizeof head) ||
      GetU16(head + odml::kLongsPerEntry) != odml::kStdLongsPerEntry ||
      head[odml::kIndexType] != odml::kIndexOfChunks || GetU32(head + odml::kChunkId) != chunkId ||
      GetU64(head + odml::kBaseOffset) != base) {
    return std::nullopt;
  }
  const size_t inUse = std::min<size_t>(GetU32(head + odml::kEntriesInUse), capacity);
  std::vector<uint8_t> table(inUse * odml::kStdEntryBytes);
  if (!file.ReadAt(offset + kChunkHeaderBytes + odml::kStdHeaderBytes, table.data(),
                   table.size())) {
    return std::nullopt;
  }
  SlotEntries entries(inUse);
  for (size_t i = 0; i < inUse; ++i) {
    entries[i] = {GetU32(&table[i * odml::kStdEntryBytes + odml::kStdEntryOffset]),
                  GetU32(&table[i * odml::kStdEntryBytes + odml::kStdEntrySize])};
  }
  return entries;
}

// Walks the movi lists from the end of the header: index slots, stream chunks, the first RIFF's
// idx1 and the RIFF-AVIX that follow, as far as they are whole and in the writer's order.
struct Scan {
  AviWrittenLayout layout;
  uint64_t tornBytes = 0;
};

std::optional<Scan> ScanChunks(AviRepairFile& file, Header header) {
  Scan scan;
  AviWrittenLayout& layout = scan.layout;
  layout.streams = std::move(header.streams);
  layout.recordedAt = header.recordedAt;
  layout.riffs.push_back({.offset = 0, .moviOffset = header.moviOffset});
  const size_t streams = layout.streams.size();
  // The open slot of each stream in the current RIFF, and the entries it had on disk.
  std::vector<AviWrittenLayout::Slot*> open(streams, nullptr);
  std::vector<SlotEntries> onDisk(streams);
  std::vector<uint32_t> chunkIds(streams);
  for (size_t n = 0; n < streams; ++n) {
    chunkIds[n] = ChunkIdOf(layout.streams[n], static_cast<unsigned>(n));
  }
  uint64_t slotBytes = 0;
  uint64_t pos = header.moviOffset + kListHeaderBytes;
  uint64_t end = pos;       // after the last whole item
  int lastSlotStream = -1;  // the last whole item was an empty slot of this stream
  const uint64_t size = file.Size();

  while (size - pos >= kChunkHeaderBytes) {
    uint8_t h[2 * kListHeaderBytes];
    if (!file.ReadAt(pos, h, kChunkHeaderBytes)) break;
    const uint32_t id = GetU32(h);
    const uint64_t chunkEnd = pos + PaddedChunkBytes(GetU32(h + 4));
    if (id == kFccRiff) {
      if (size - pos < sizeof h || !file.ReadAt(pos, h, sizeof h) || GetU32(h + 8) != kFccAvix ||
          GetU32(h + 12) != kFccList || GetU32(h + 20) != kFccMovi ||
          layout.riffs.size() >= kMaxRiffs) {
        break;
      }
      layout.riffs.push_back({.offset = pos, .moviOffset = pos + kListHeaderBytes});
      std::fill(open.begin(), open.end(), nullptr);
      pos = end = pos + sizeof h;
      lastSlotStream = -1;
      continue;
    }
    if (chunkEnd > size) break;  // torn
    if (id == kFccIdx1 && layout.riffs.size() == 1 && !layout.idx1Offset) {
      layout.idx1Offset = pos;
      layout.idx1Bytes = chunkEnd - pos;
      pos = chunkEnd;  // kept only if a RIFF-AVIX follows
      lastSlotStream = -1;
      continue;
    }
    if (layout.idx1Offset && layout.riffs.size() == 1) break;  // idx1 ends the first RIFF
    if (const int n = StreamOf(id, true); n >= 0 && static_cast<size_t>(n) < streams) {
      const uint64_t bytes = chunkEnd - pos;
      if (slotBytes == 0) {
        const uint64_t table = bytes - kChunkHeaderBytes;
        if (table < odml::kStdHeaderBytes + odml::kStdEntryBytes ||
            (table - odml::kStdHeaderBytes) % odml::kStdEntryBytes != 0) {
          break;
        }
        slotBytes = bytes;
        layout.slotCapacity = (table - odml::kStdHeaderBytes) / odml::kStdEntryBytes;
      }
      auto& streamSlots = layout.streams[n].indexSlots;
      if (bytes != slotBytes || streamSlots.size() >= odml::kIndxCapacity) break;
      auto entries =
          ReadSlot(file, pos, layout.slotCapacity, chunkIds[n], layout.riffs.back().moviOffset);
      if (!entries) break;
      streamSlots.emplace_back();
      streamSlots.back().offset = pos;
      streamSlots.back().riff = layout.riffs.size() - 1;
      open[n] = &streamSlots.back();
      onDisk[n] = std::move(*entries);
      pos = end = chunkEnd;
      lastSlotStream = n;
      continue;
    }
    const int n = StreamOf(id, false);
    if (n < 0 || static_cast<size_t>(n) >= streams || id != chunkIds[n] || !open[n] ||
        open[n]->chunks.size() >= layout.slotCapacity) {
      break;
    }
    AviWrittenLayout::Slot& slot = *open[n];
    AviWrittenLayout::Chunk chunk{.offset = pos + kChunkHeaderBytes, .size = GetU32(h + 4)};
    // The key-frame flag as the index on disk has it; a chunk after the last description is a
    // key frame unless it is empty (a dropped frame).
    const uint64_t base = layout.riffs[slot.riff].moviOffset;
    const size_t i = slot.chunks.size();
    chunk.keyframe = chunk.size > 0;
    if (i < onDisk[n].size() && base + onDisk[n][i].first == chunk.offset &&
        (onDisk[n][i].second & ~odml::kDeltaFrameBit) == chunk.size) {
      chunk.keyframe = (onDisk[n][i].second & odml::kDeltaFrameBit) == 0;
    }
    slot.chunks.push_back(chunk);
    pos = end = chunkEnd;
    lastSlotStream = -1;
  }

  // An empty slot or an empty RIFF-AVIX at the end was opened for a chunk that never came.
  if (lastSlotStream >= 0) {
    end = layout.streams[lastSlotStream].indexSlots.back().offset;
    layout.streams[lastSlotStream].indexSlots.pop_back();
  }
  if (layout.riffs.size() > 1 && layout.riffs.back().moviOffset + kListHeaderBytes == end) {
    end = layout.riffs.back().offset;
    layout.riffs.pop_back();
  }
  if (layout.riffs.size() == 1 && layout.idx1Offset) {
    end = *layout.idx1Offset;  // the first RIFF is the last: its idx1 is written again
    layout.idx1Offset.reset();
  }
  if (layout.slotCapacity == 0) layout.slotCapacity = AviWriterOptions::kDefaultStdIndexCapacity;
  layout.dataEnd = end;
  scan.tornBytes = size - end;
  return scan;
}

// A file not of the writer's layout: whole when its RIFF lists, by their own sizes, fill the file
// exactly and the first holds a movi list and an index.
bool LooksWhole(AviRepairFile& file) {
  const uint64_t size = file.Size();
  uint64_t pos = 0;
  bool first = true;
  while (pos < size) {
    uint8_t h[kListHeaderBytes];
    if (size - pos < sizeof h || !file.ReadAt(pos, h, sizeof h) || GetU32(h) != kFccRiff ||
        GetU32(h + 8) != (first ? kFccAvi : kFccAvix)) {
      return false;
    }
    const uint64_t riffEnd = pos + PaddedChunkBytes(GetU32(h + 4));
    if (riffEnd > size || riffEnd < pos + sizeof h) return false;
    if (first) {
      bool movi = false, index = false;
      for (uint64_t at = pos + sizeof h; riffEnd - at >= kChunkHeaderBytes;) {
        uint8_t c[kListHeaderBytes] = {};
        if (!file.ReadAt(at, c, std::min<uint64_t>(sizeof c, riffEnd - at))) return false;
        const uint64_t next = at + PaddedChunkBytes(GetU32(c + 4));
        if (next > riffEnd) return false;
        movi |= GetU32(c) == kFccList && GetU32(c + 8) == kFccMovi;
        index |= GetU32(c) == kFccIdx1 || (GetU32(c) == kFccList && GetU32(c + 8) == kFccHdrl);
        at = next;
      }
      if (!movi || !index) return false;
    }
    first = false;
    pos = riffEnd;
  }
  return !first;
}

double StreamSeconds(const AviWrittenLayout::Stream& s) {
  uint64_t ticks = 0;
  const bool audio = s.format.kind == AviStreamFormat::Kind::kAudio;
  const uint64_t block = std::max<uint64_t>(s.format.wave.nBlockAlign, 1);
  for (const auto& slot : s.indexSlots) {
    for (const auto& c : slot.chunks) ticks += audio ? c.size / block : 1;
  }
  return s.rate ? static_cast<double>(ticks) * s.scale / s.rate : 0;
}

AviRepairResult NotRepairable(std::string reason) {
  AviRepairResult result;
  result.outcome = AviRepairResult::Outcome::kNotRepairable;
  result.reason = std::move(reason);
  return result;
}

bool PlanMatchesFile(AviRepairFile& file, const PlannedOutput& plan, uint64_t end) {
  if (file.Size() != end) return false;
  std::vector<uint8_t> onDisk;
  for (const PlannedOutput::Step& step : plan.steps()) {
    if (step.sync) continue;
    onDisk.resize(step.bytes.size());
    if (!file.ReadAt(step.offset, onDisk.data(), onDisk.size()) || onDisk != step.bytes) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<AviRepairFile> OpenForRepair(const std::string& path, std::string* error) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    if (error) *error = "not a regular file";
    return nullptr;
  }
  return std::make_unique<PosixRepairFile>(std::move(fd), static_cast<uint64_t>(st.st_size));
}

AviRepairResult RepairAvi(AviRepairFile& file) {
  std::optional<Header> header = ReadHeader(file);
  std::optional<Scan> scan;
  PlannedOutput plan;
  AviWriter writer(plan);
  if (header) scan = ScanChunks(file, std::move(*header));
  if (!scan || FAILED(writer.Resume(scan->layout))) {
    if (LooksWhole(file)) {
      AviRepairResult whole;
      whole.outcome = AviRepairResult::Outcome::kWhole;
      return whole;
    }
    return NotRepairable("not a recording of this program, or its header is damaged");
  }
  if (FAILED(writer.Finish())) return NotRepairable("its chunks cannot be described");

  AviRepairResult result;
  for (const auto& s : scan->layout.streams) {
    result.seconds = std::max(result.seconds, StreamSeconds(s));
    if (result.frames == 0 && s.format.kind != AviStreamFormat::Kind::kAudio) {
      for (const auto& slot : s.indexSlots) result.frames += slot.chunks.size();
    }
  }
  const uint64_t end = writer.FileBytes();
  if (PlanMatchesFile(file, plan, end)) {
    result.outcome = AviRepairResult::Outcome::kWhole;
    return result;
  }
  result.tornBytes = scan->tornBytes;
  result.outcome = AviRepairResult::Outcome::kFailed;
  for (const PlannedOutput::Step& step : plan.steps()) {
    const HRESULT hr =
        step.sync ? file.Sync() : file.WriteAt(step.offset, step.bytes.data(), step.bytes.size());
    if (FAILED(hr)) {
      result.reason = "writing to it failed";
      return result;
    }
  }
  // The torn tail goes last: until the sizes above are on disk, its bytes are what a next repair
  // scans.
  if (file.Size() > end && (FAILED(file.Truncate(end)) || FAILED(file.Sync()))) {
    result.reason = "the torn end could not be cut off";
    return result;
  }
  result.outcome = AviRepairResult::Outcome::kRepaired;
  return result;
}

AviRepairResult RepairAviFile(const std::string& path) {
  std::string error;
  const std::unique_ptr<AviRepairFile> file = OpenForRepair(path, &error);
  if (!file) return NotRepairable("cannot open it: " + error);
  return RepairAvi(*file);
}

}  // namespace vidorra::avi

HRESULT VidorraRepairAviFile(LPCWSTR path, VIDORRA_AVI_REPAIR* result) {
  if (path == nullptr || result == nullptr) return E_POINTER;
  using vidorra::avi::AviRepairResult;
  const AviRepairResult repair = vidorra::avi::RepairAviFile(WideToUtf8(path));
  *result = {};
  switch (repair.outcome) {
    case AviRepairResult::Outcome::kWhole:
      result->outcome = VIDORRA_AVI_WHOLE;
      break;
    case AviRepairResult::Outcome::kRepaired:
      result->outcome = VIDORRA_AVI_REPAIRED;
      break;
    case AviRepairResult::Outcome::kNotRepairable:
      result->outcome = VIDORRA_AVI_NOT_REPAIRABLE;
      break;
    case AviRepairResult::Outcome::kFailed:
      result->outcome = VIDORRA_AVI_REPAIR_FAILED;
      break;
  }
  result->frames = repair.frames;
  result->seconds = repair.seconds;
  result->tornBytes = repair.tornBytes;
  const std::wstring reason = Utf8ToWide(repair.reason);
  const size_t n = std::min(reason.size(), std::size(result->reason) - 1);
  std::copy_n(reason.begin(), n, result->reason);
  result->reason[n] = L'\0';
  return repair.IsWhole() ? S_OK : S_FALSE;
}
