// "AVI Mux" (CLSID_AviDest): any number of inputs (a free input pin is always there), one
// output "AVI Out" (MEDIATYPE_Stream / MEDIASUBTYPE_Avi, fixed-size samples, no format) for the
// File Writer, and the AviWriter that builds the file.
//
// Inputs take MEDIATYPE_Interleaved/dvsd (DV type 1), MEDIATYPE_Video with a VideoInfo or
// VideoInfo2 format (any picture; a zero-filled block is taken, a DV picture then gets its size
// from its first frame) or a DvInfo format (a DV picture), and MEDIATYPE_Audio with any wave
// format (a non-PCM one is written as it comes). Each connected input becomes a stream, in pin
// order; its IPropertyBag property "name" is written as the stream's 'strn', and its property
// "locked" (VT_BOOL, false by default) marks PCM sound that belongs to the picture's frames (a
// DV camcorder's): it is placed by its time stamps, the sound of frames lost upstream filled
// with silence, and it keeps its rate whatever the master stream. Interleaving is
// capture-style: a sample is laid out in the file the moment it arrives (INTERLEAVE_CAPTURE, the
// default; INTERLEAVE_NONE behaves the same). The filter lists its property page through
// ISpecifyPropertyPages, and tells how far each stream of its file reaches through
// IAviStreamTimes.
//
// Streaming: Receive lays the sample out under muxMutex_ and copies it into the file queue
// (AviFileQueue), which gathers the bytes into large blocks; the queue's delivery thread hands
// them to the File Writer, syncs, and makes a checkpoint once a second by time, at once after a
// file's first sample, and after every 25 frames or second of stream time (a recording faster
// than real time), so that the file on disk is a readable AVI from its first frame on,
// describing at most a second or 25 frames less than it holds. No disk I/O, sync or downstream call happens
// on an upstream streaming thread; one waits only while the queue is full (a disk far slower
// than the stream).
//
// New files inside a run (IAviFileSplitter, with a namer): at a DV scene's first frame
// (DvSceneTracker on the picture stream's frames), at the picture after SplitAtNextFrame, and
// with AVI_SPLIT_NAME_FIRST at the first picture. The split happens on the streaming thread that
// brings that picture, under muxMutex_, without waiting for the disk: the sound held for it
// (below) up to the picture's time goes to the old file, the old writer's Finish (idx1, indexes,
// headers) is queued like any bytes, then the move to the new file, then the new writer's header
// and the picture. The move runs on the queue's delivery thread between the old file's last
// bytes and the new file's first: the namer names the file there (with no lock of the mux held),
// then the File Writer's IFileWriterStatus::NextFile closes the old file and makes the new one. The old writer
// is kept until the delivery thread has moved on (a failure before that is the old file's, which
// is then described as far as it reached the disk). Each file is a recording of its own, with
// the recording date of its first frame in its LIST 'INFO' when that frame carries one.
//
// Sound while a namer is set: a timed sound sample that ends past the last picture written is
// held (in arrival order) until a picture covers it, so that sound arriving before the picture
// that decides a split (a DV Splitter delivers sound and picture on different threads) still
// lands in the right file. At a split at picture time T the held sound before T goes to the old
// file; a sample straddling T is cut there at a block boundary, its rest stamped with the time
// of its first block goes to the new file. The other way round, sound that comes after the
// picture that begins a file (the sound thread behind the picture's) must still reach the old
// file: the picture that begins a file, and the pictures after it, wait in memory until every
// sound input has reached its time (or ended; sound without time stamps is not waited for).
// Held sound is released into the current file when the picture stream ends, at the end of the
// file, or beyond kMaxHeldBytes (sound that far ahead of any picture; before a first picture
// named by the namer it is dropped and counted instead); waiting pictures beyond kMaxHeldBytes,
// or at the end of the file, go in without waiting any longer. Without a namer nothing is held.
//
// Output protocol: see FileWriterProtocol.h. The File Writer's Stop (downstream first) asks
// the mux to finish the file; a mux stopped without a File Writer finishes it in its own Stop.
// Finishing queues the last data, a sync, the indexes and headers, a sync, and waits until the
// file holds them.
//
// Failures: a sample the writer refuses (a first DV frame that is not DV, a changed audio format
// or DV system, which end that stream) is dropped and counted; a damaged DV type-1 frame is kept
// as a dropped frame and counted. A write failure ends the recording: the file is finalised as
// far as it reached the disk, later samples are refused with the failure, and the graph gets
// EC_ERRORABORT (from the File Writer, or from the mux when the failure is its own).
//
// Threads: Receive on each upstream streaming thread and the queue's hooks on its delivery
// thread, under muxMutex_; Pause/Stop/FinishStream on the graph's thread (the queue is drained
// and stopped without muxMutex_ held). Pin changes under the filter lock.
#pragma once

#include <PinUnknown.h>
#include <streams.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include <vidorra_filters.h>

#include "../dv/DvRecordingInfo.h"
#include "AviFileQueue.h"
#include "AviWriter.h"
#include "FileWriterProtocol.h"

namespace vidorra::filters {

class CAviMux;

class CAviMuxInputPin : public CBaseInputPin, public IPropertyBag {
 public:
  CAviMuxInputPin(CAviMux* mux, int index, std::wstring name);
  DECLARE_PIN_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  int index() const { return index_; }

  // IPropertyBag: "name", the stream's name (a BSTR), and "locked" (a VT_BOOL), for the next
  // file.
  STDMETHODIMP Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override;
  STDMETHODIMP Write(LPCOLESTR pszPropName, VARIANT* pVar) override;
  std::wstring StreamName() const;
  bool SoundLocked() const;

 private:
  CAviMux* const mux_;
  const int index_;
  mutable std::mutex nameMutex_;  // guards both properties
  std::wstring streamName_;
  bool soundLocked_ = false;
};

class CAviMuxOutputPin : public CBaseOutputPin, public IFileWriterUpstream {
 public:
  explicit CAviMuxOutputPin(CAviMux* mux);

  DECLARE_PIN_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  // S_OK for MEDIATYPE_Stream / MEDIASUBTYPE_Avi, either of them GUID_NULL; else S_FALSE.
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;

  // IFileWriterUpstream
  STDMETHODIMP FinishStream() override;

  // The writer's status interface when the downstream pin has one.
  IFileWriterStatus* Status() const { return status_.Get(); }

 private:
  CAviMux* const mux_;
  ComPtr<IFileWriterStatus> status_;
};

class CAviMux : public CBaseFilter,
                public IConfigAviMux,
                public IConfigInterleaving,
                public ISpecifyPropertyPages,
                public IAviFileSplitter,
                public IAviStreamTimes {
 public:
  static constexpr REFERENCE_TIME kDefaultInterleave = 10'000'000;  // 1 s
  // Sound (or pictures) held for a split beyond this go in without waiting (sound before the
  // first file is dropped).
  static constexpr size_t kMaxHeldBytes = size_t{8} << 20;

  CAviMux();
  ~CAviMux() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  // IConfigAviMux
  STDMETHODIMP SetMasterStream(LONG iStream) override;
  STDMETHODIMP GetMasterStream(LONG* pStream) override;
  STDMETHODIMP SetOutputCompatibilityIndex(BOOL fOldIndex) override;
  STDMETHODIMP GetOutputCompatibilityIndex(BOOL* pfOldIndex) override;
  // IConfigInterleaving
  STDMETHODIMP put_Mode(InterleavingMode mode) override;
  STDMETHODIMP get_Mode(InterleavingMode* pMode) override;
  STDMETHODIMP put_Interleaving(const REFERENCE_TIME* prtInterleave,
                                const REFERENCE_TIME* prtPreroll) override;
  STDMETHODIMP get_Interleaving(REFERENCE_TIME* prtInterleave, REFERENCE_TIME* prtPreroll) override;
  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pPages) override;
  // IAviFileSplitter (see vidorra_filters.h)
  STDMETHODIMP SetFileNamer(IAviFileNamer* namer) override;
  STDMETHODIMP SetSplitting(DWORD flags) override;
  STDMETHODIMP SplitAtNextFrame() override;
  STDMETHODIMP GetFileCount(LONG* count) override;
  // IAviStreamTimes (see vidorra_filters.h)
  STDMETHODIMP GetStreamTimes(LONG stream, AVI_STREAM_TIMES* times) override;

  // Samples dropped (refused by the writer, or kept as dropped frames) since the last Pause
  // from Stopped.
  long DroppedSamples() const;
  // The longest time a timed sample of input n took since the last Pause from Stopped, from
  // its stop time (for a live source's frame: when it had arrived) to the mux's Receive, on the
  // graph's clock (diagnostics, benchmarks).
  REFERENCE_TIME LongestDelay(int input) const;
  // Chunks written for stream n of the current or last file (dropped frames included).
  uint64_t ChunksWritten(int stream) const;

 private:
  friend class CAviMuxInputPin;
  friend class CAviMuxOutputPin;
  class PinTarget;

  // Where the current file stands. kRecording takes samples; kFinished and kFailed take no
  // more (kFailed answers the failure); kNoFile between runs.
  enum class FileState { kNoFile, kRecording, kFinished, kFailed };

  // A sound sample held for a split (see above); no time: held only before the first file.
  struct HeldSample {
    int input = -1;
    std::vector<uint8_t> bytes;
    std::optional<REFERENCE_TIME> start;
  };

  void OnInputConnected();
  // The stream time now, while running on a clock.
  std::optional<REFERENCE_TIME> StreamTimeNow();
  HRESULT ReceiveSample(int input, IMediaSample* sample);
  void InputEnded(int input);
  void FinishFile();
  void CheckpointFromQueue();
  void FailLocked(HRESULT hr, bool outputFailed);
  // Writes one sample of input into the current file and counts it for the checkpoints.
  HRESULT WriteLocked(int input, std::span<const uint8_t> data, std::optional<REFERENCE_TIME> time,
                      bool keyframe);
  // A picture of the picture stream, waiting while the sound before a split it begins is
  // still on its way (see above).
  struct HeldPicture {
    int input = -1;
    std::vector<uint8_t> bytes;  // empty while it does not wait
    std::optional<REFERENCE_TIME> start;
    std::optional<REFERENCE_TIME> stop;
    bool keyframe = true;
    bool split = false;  // begins a new file
    std::optional<dv::DvRecordedAt> recordedAt;
  };
  HRESULT ReceivePictureLocked(int input, std::span<const uint8_t> data,
                               std::optional<REFERENCE_TIME> start,
                               std::optional<REFERENCE_TIME> stop, bool keyframe);
  HRESULT WritePictureLocked(const HeldPicture& picture, std::span<const uint8_t> data);
  // Every sound input of the file that goes on has reached time.
  bool SoundCaughtUpLocked(REFERENCE_TIME time) const;
  // Writes the waiting pictures whose sound has come (force: all of them).
  void DrainPicturesLocked(bool force);
  HRESULT HoldSoundLocked(int input, std::span<const uint8_t> data,
                          std::optional<REFERENCE_TIME> start);
  // Writes the held sound that ends by `limit`; cut: also the part before limit of a sample
  // that straddles it.
  void ReleaseSoundLocked(REFERENCE_TIME limit, bool cut);
  REFERENCE_TIME SoundDuration(int input, size_t bytes) const;
  // Ends the current file and begins the next one at a picture of time `at`, named by the
  // namer (first: no file was begun yet).
  HRESULT BeginFileLocked(const std::optional<dv::DvRecordedAt>& recordedAt,
                          std::optional<REFERENCE_TIME> at, bool first);
  std::unique_ptr<avi::AviWriter> NewWriterLocked();
  WAVEFORMATEX WaveOf(int input) const;  // zero-filled when not sound
  // Starts the file if it was not (a first file never named), writes the held sound, finishes.
  HRESULT FinishWriterLocked();
  void FileSwitched(HRESULT hr);
  void DropHeldLocked();  // the sound and pictures held for a split
  static std::optional<avi::AviStreamFormat> FormatOf(const CMediaType& mt);

  std::vector<std::unique_ptr<CAviMuxInputPin>> inputs_;  // under the filter lock
  CAviMuxOutputPin output_;
  LONG masterStream_ = -1;
  bool compatibilityIndex_ = true;
  InterleavingMode mode_ = INTERLEAVE_CAPTURE;
  REFERENCE_TIME interleave_ = kDefaultInterleave;
  REFERENCE_TIME preroll_ = 0;

  std::unique_ptr<PinTarget> target_;
  avi::AviFileQueue queue_;

  mutable std::mutex muxMutex_;
  std::unique_ptr<avi::AviWriter> writer_;
  FileState fileState_ = FileState::kNoFile;
  std::vector<int> streamOfInput_;  // -1 for inputs not in the file
  std::vector<CMediaType> inputTypes_;
  std::vector<bool> ended_;
  HRESULT failure_ = S_OK;
  long dropped_ = 0;
  std::vector<REFERENCE_TIME> longestDelay_;  // by input
  // Frames and stream time since the last checkpoint asked for (the file's first sample on).
  uint64_t framesSinceCheckpoint_ = 0;
  std::optional<REFERENCE_TIME> checkpointTime_;
  std::vector<AVI_STREAM_TIMES> lastTimes_;  // of the last file, from Stop to the next run

  // Splitting: the settings (filter lock) and the run's copies (muxMutex_).
  ComPtr<IAviFileNamer> namer_;
  DWORD splitFlags_ = 0;
  std::atomic<bool> splitNext_{false};
  ComPtr<IAviFileNamer> runNamer_;
  DWORD runFlags_ = 0;
  int pictureInput_ = -1;  // the input whose pictures begin files
  avi::AviWriterOptions writerOptions_;
  std::vector<avi::AviStreamFormat> formats_;  // the file's streams, in order
  std::optional<dv::DvSceneTracker> scenes_;
  // Writers of files finished and queued, until the delivery thread has moved past them.
  std::deque<std::unique_ptr<avi::AviWriter>> finishing_;
  uint64_t picturesInFile_ = 0;
  std::optional<REFERENCE_TIME> pictureEnd_;  // end of the last picture written
  std::deque<HeldSample> held_;
  size_t heldBytes_ = 0;
  std::deque<HeldPicture> pictures_;
  size_t pictureBytes_ = 0;
  bool drainingPictures_ = false;
  uint64_t picturesSinceSplit_ = 0;  // pictures come since the last split (or the run's start)
  std::vector<std::optional<REFERENCE_TIME>> soundEnd_;  // each input's sound so far
  LONG fileCount_ = 0;
};

}  // namespace vidorra::filters
