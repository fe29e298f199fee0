// OpenDML AVI writer: the file-building half of the AVI Mux.
//
// Streams are declared before Start(); samples are then written as they arrive (capture-style
// interleaving: each sample becomes a movi chunk immediately, in arrival order, so nothing is
// held back in memory and a killed recorder loses at most what the output had not yet written).
// The writer keeps the OpenDML indexes as it goes: each stream's standard index ('ix##') is a
// slot reserved in the movi list before the chunks it indexes and filled in place, so the super
// index ('indx') in the header can point at it at any time. Past the RIFF size limit a new RIFF
// 'AVIX' starts; the first RIFF gets the compatibility 'idx1' when that option is on.
//
// Order on disk: data first, then what describes it. Checkpoint() (called by the owner, which
// decides when) syncs the data written so far, then writes the headers, sizes, lengths and index
// entries that describe exactly that data in place, then syncs again; Finish() does the same
// after the last data (and the idx1). The header never claims a chunk that the output was not
// given, and synced, before it.
//
// Video placement: a video frame lands at the index given by its start time; a gap becomes
// zero-length chunks (dropped frames) so sound and picture stay in step. The frame rate comes
// from AvgTimePerFrame, else from the first two time stamps (DV: from the frame's system).
// Sound is written as it comes, except sound locked to the picture, which is placed by its time
// stamps too (see AviStreamFormat::lockedToPicture).
//
// Recording date: a file given one (SetRecordedAt, before or after Start) carries it in a
// LIST 'INFO' between the header list and the JUNK filler, as 'IDIT' ("Mon Jul 14 10:20:30
// 2024\n\0") and 'ICRD' ("2024-07-14"). The filler always leaves room for that list, so the
// header keeps its size whether or not the date comes, and the repair finds the list again.
//
// DV streams: the first frame (a sound DIF frame) fixes the system, the picture size and, for
// type 1, the DVINFO. Each later type-1 frame is checked the same way: a damaged or foreign frame
// is written as a dropped frame (zero-length entry) and counted; a sound frame of the other
// system ends the stream (its header cannot describe it).
//
// Thread: one caller at a time (the mux, under its lock). Not locked inside.
#pragma once

#include <amvideo.h>
#include <mmreg.h>
#include <strmif.h>
#include <vfwmsgs.h>
#include <vidorra_filters.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "../dv/DvFrame.h"
#include "../dv/DvRecordingInfo.h"
#include "AviOutput.h"

namespace vidorra::avi {

class HeaderBuilder;

struct AviStreamFormat {
  enum class Kind { kDvType1, kVideo, kAudio };
  Kind kind = Kind::kVideo;
  // kVideo: the BITMAPINFOHEADER and whatever follows it in the format (palette, codec data).
  // A DV picture ('dvsd') of unknown size (width 0) takes its size from its first frame, and a
  // zero-filled DVINFO following it is filled from that frame too.
  BITMAPINFOHEADER bitmap{};
  std::vector<uint8_t> bitmapExtra;
  // kVideo, kDvType1: 100 ns per frame; 0 = take it from the time stamps (DV: from the frame).
  REFERENCE_TIME avgTimePerFrame = 0;
  // kAudio: the wave format as it comes (any tag) and the cbSize bytes that follow it.
  WAVEFORMATEX wave{};
  std::vector<uint8_t> waveExtra;
  // Stream name written in 'strn' (may be empty).
  std::string name;
  // kAudio, PCM: sound that belongs to the picture's frames (a DV camcorder's). Each sample is
  // placed at its time stamp, counted from the picture's first frame: a gap (the sound of frames
  // lost upstream) is filled with silence, as a lost frame is with an empty chunk, and the
  // stream keeps its own rate whatever the master stream.
  bool lockedToPicture = false;
};

// What a scan found on disk of a file this writer laid out and never finished: the streams as its
// header declares them, its RIFFs, each stream's index slots with the chunks that follow them,
// and where the whole data ends (AviRepair builds it; AviWriter::Resume takes it up).
struct AviWrittenLayout {
  struct Chunk {
    uint64_t offset = 0;  // of the chunk's data
    uint32_t size = 0;
    bool keyframe = true;
  };
  struct Slot {
    uint64_t offset = 0;  // of the 'ix##' chunk header
    size_t riff = 0;
    std::vector<Chunk> chunks;
  };
  struct Stream {
    AviStreamFormat format;
    uint32_t scale = 1;
    uint32_t rate = 1;
    DVINFO dvInfo{};  // a type-1 stream's
    std::vector<Slot> indexSlots;
  };
  struct Riff {
    uint64_t offset = 0;
    uint64_t moviOffset = 0;
  };
  std::vector<Stream> streams;
  std::vector<Riff> riffs;
  size_t slotCapacity = 0;
  // The recording date of the LIST 'INFO', when the file has one; whether the filler left
  // room for that list (files written before it did not).
  std::optional<dv::DvRecordedAt> recordedAt;
  // A whole idx1 that closes the first RIFF of a file that went on into a second one.
  std::optional<uint64_t> idx1Offset;
  uint64_t idx1Bytes = 0;
  uint64_t dataEnd = 0;  // end of the last whole chunk
};

struct AviWriterOptions {
  static constexpr uint64_t kDefaultRiffLimitBytes = uint64_t{1} << 30;
  static constexpr size_t kDefaultStdIndexCapacity = 2048;

  bool compatibilityIndex = true;                    // idx1 in the first RIFF
  uint64_t riffLimitBytes = kDefaultRiffLimitBytes;  // each RIFF stays at or below this
  size_t stdIndexCapacity = kDefaultStdIndexCapacity;  // entries per reserved 'ix##' slot
  int masterStream = -1;                               // -1: none
};

class AviWriter {
 public:
  AviWriter(AviOutput& output, AviWriterOptions options = {});
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Declares a stream; returns its number, or -1 if the format is not one the writer takes or
  // the writer has started.
  int AddStream(const AviStreamFormat& format);
  void SetMasterStream(int stream) { options_.masterStream = stream; }
  // The recording date the file carries in its LIST 'INFO' (the next header written has it).
  void SetRecordedAt(const dv::DvRecordedAt& at) { recordedAt_ = at; }
  const std::optional<dv::DvRecordedAt>& RecordedAt() const { return recordedAt_; }

  // Writes the headers (with room for all indexes) and the first movi list, and flushes them.
  HRESULT Start();
  // Takes up a file of this layout that was left unfinished, in place of AddStream and Start:
  // its streams, RIFFs and index slots as found on disk, its data ending at layout.dataEnd.
  // Finish() then writes what a finished recording of the same chunks has. E_INVALIDARG when the
  // layout is not one this writer could have written (its header would not fit in the place of
  // the header on disk, a chunk outside the slots' reach).
  HRESULT Resume(const AviWrittenLayout& layout);
  // A stream whose DV frames changed system takes no more samples (WriteSample's answer).
  static constexpr HRESULT kStreamEnded = VFW_E_INVALIDMEDIATYPE;

  // Appends one sample of stream as a chunk. start: the sample's start time (100 ns) if it has
  // one. S_OK: written. S_FALSE: a damaged or foreign DV type-1 frame, written as a dropped frame.
  // E_INVALIDARG: refused, nothing written (a first DV frame that is not a sound DIF frame, a
  // chunk too big). kStreamEnded: the DV system changed, the stream ends here. Else the output's
  // failure.
  HRESULT WriteSample(int stream, std::span<const uint8_t> data,
                      std::optional<REFERENCE_TIME> start, bool keyframe = true);
  // Syncs the data written so far, then describes it in the headers and indexes and syncs
  // again. S_FALSE when nothing was written since the last checkpoint (nothing is done).
  HRESULT Checkpoint();
  // Finalises the file: idx1, sync, indexes, sizes and header (master stream rates), sync.
  // After a failure of the output it describes what the file holds and returns the failure.
  HRESULT Finish();
  // The output failed after accepting bytes (a queued output): the writer stops and describes
  // what the file holds (WrittenEnd()), whether or not Finish() already ran. Returns failure.
  HRESULT Salvage(HRESULT failure);

  // First write failure, S_OK while none.
  HRESULT Status() const { return failure_; }
  bool Started() const { return state_ != State::kDeclaring; }
  size_t StreamCount() const { return streams_.size(); }
  // Chunks written for stream, including zero-length ones for dropped frames.
  uint64_t ChunkCount(int stream) const;
  uint64_t DroppedFrames(int stream) const;
  // The chunks of stream and the time they cover at its own rate; nullopt for no such stream.
  std::optional<AVI_STREAM_TIMES> StreamTimes(int stream) const;
  uint64_t FileBytes() const { return fileEnd_; }
  size_t RiffCount() const { return riffs_.size(); }

 private:
  struct StdIndex {
    uint64_t offset = 0;            // of the 'ix##' chunk header
    uint64_t base = 0;              // qwBaseOffset
    std::vector<uint32_t> offsets;  // chunk data offset - base
    std::vector<uint32_t> sizes;    // size, bit 31 for delta frames
    size_t written = 0;             // entries already in the file
    uint64_t duration = 0;          // stream ticks covered
    size_t riff = 0;
  };
  struct Stream {
    AviStreamFormat format;
    uint32_t chunkId = 0;
    uint32_t indexId = 0;
    uint32_t scale = 1;
    uint32_t rate = 1;
    bool rateKnown = false;
    uint64_t length = 0;  // ticks
    uint32_t maxChunk = 0;
    uint64_t chunks = 0;
    uint64_t dropped = 0;
    uint64_t firstRiffFrames = 0;
    std::optional<REFERENCE_TIME> firstTime;
    DVINFO dvInfo{};
    std::optional<dv::DvSystem> dvSystem;  // DV streams: from the first frame
    bool fillDvInfo = false;               // kVideo DV: DVINFO in strf taken from that frame
    bool ended = false;                    // the DV system changed
    std::vector<StdIndex> indexes;  // closed and current slots, in file order
    bool indexOpen = false;
  };
  struct Riff {
    uint64_t offset = 0;      // 'RIFF'
    uint64_t moviOffset = 0;  // 'LIST' of the movi list
    uint64_t moviEnd = 0;     // end of the movi list's content
    uint64_t end = 0;         // end of the RIFF's content
    bool sizesWritten = false;  // its final sizes are in the file
  };
  struct Idx1Entry {
    uint32_t chunkId;
    uint32_t flags;
    uint32_t offset;
    uint32_t size;
  };

  enum class State { kDeclaring, kWriting, kFinished };

  bool IsVideoLike(const Stream& s) const;
  uint64_t Ticks(const Stream& s, uint32_t chunkBytes) const;
  static bool IsDvPicture(const Stream& s);
  HRESULT TakeDvFrame(Stream& s, std::span<const uint8_t>& data);
  int FirstVideoStream() const;
  void SetRateFromFrameTime(Stream& s, REFERENCE_TIME perFrame);
  HRESULT AppendChunk(int stream, std::span<const uint8_t> data, bool keyframe);
  static bool IsLockedSound(const Stream& s);
  HRESULT FillSoundGap(int stream, size_t sampleBytes, REFERENCE_TIME start);
  HRESULT EnsureRiffRoom(uint64_t chunkBytes, bool needsIndexSlot);
  HRESULT OpenIndexSlot(int stream);
  HRESULT WriteBytes(uint64_t offset, const uint8_t* data, size_t size);
  HRESULT WriteIndexSlots();
  HRESULT WriteHeader();
  HRESULT WriteRiffSizes(const Riff& riff);
  HRESULT CloseRiff();
  HRESULT WriteIdx1();
  HRESULT SyncOutput();
  HRESULT DescribeWrittenData();
  void DescribeWhatReachedTheFile();
  void AdjustToMaster();
  void TrimToWrittenEnd();
  std::vector<uint8_t> BuildHeader() const;
  void BuildMainHeader(HeaderBuilder& b) const;
  void BuildStreamHeader(HeaderBuilder& b, const Stream& s) const;
  void BuildStreamFormat(HeaderBuilder& b, const Stream& s) const;
  void BuildSuperIndex(HeaderBuilder& b, const Stream& s) const;
  size_t IndexSlotBytes() const;

  AviOutput& output_;
  AviWriterOptions options_;
  std::vector<Stream> streams_;
  std::vector<Riff> riffs_;
  std::vector<Idx1Entry> idx1_;
  bool idx1Written_ = false;
  uint64_t idx1Offset_ = 0;
  State state_ = State::kDeclaring;
  HRESULT failure_ = S_OK;
  size_t headerBytes_ = 0;
  uint64_t fileEnd_ = 0;
  uint64_t describedEnd_ = 0;  // fileEnd_ at the last checkpoint
  uint32_t maxChunkAll_ = 0;
  std::optional<dv::DvRecordedAt> recordedAt_;
  bool infoRoom_ = true;  // the filler leaves room for the LIST 'INFO'
};

// The LIST 'INFO' of a recording date (list header included), and the date read back from
// the list's content (after 'INFO'): from 'IDIT', else the day alone from 'ICRD'.
std::vector<uint8_t> InfoListOf(const dv::DvRecordedAt& at);
std::optional<dv::DvRecordedAt> RecordedAtFromInfo(std::span<const uint8_t> content);
// 0 = Sunday, for a date of the Gregorian calendar (month 1..12).
int Weekday(int year, int month, int day);
inline constexpr size_t kInfoListBytes = 12 + 8 + 26 + 8 + 12;

}  // namespace vidorra::avi
