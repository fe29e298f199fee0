// "AVI Mux" (CLSID_AviDest): any number of inputs (a free input pin is always there), one
// MEDIATYPE_Stream output for the File Writer, and the AviWriter that builds the file.
//
// Inputs take MEDIATYPE_Interleaved/dvsd (DV type 1), MEDIATYPE_Video with a VideoInfo or
// VideoInfo2 format (any uncompressed or compressed picture) and MEDIATYPE_Audio PCM. Each
// connected input becomes a stream, in pin order. Interleaving is capture-style: a sample is
// written the moment it arrives (INTERLEAVE_CAPTURE, the default; INTERLEAVE_NONE behaves the
// same). A checkpoint thread makes the file consistent on disk every second while samples come.
//
// Output protocol: see FileWriterProtocol.h. The File Writer's Stop (downstream first) asks
// the mux to finish the file; a mux stopped without a File Writer finishes it in its own Stop.
//
// Failures: a sample the writer refuses (a damaged DV frame, a changed audio format) is
// dropped and counted. A write failure ends the recording: the file is finalised as far as it
// reached the disk, later samples are refused with the failure, and the graph gets
// EC_ERRORABORT (from the File Writer, or from the mux when the failure is its own).
//
// Threads: Receive on each upstream streaming thread, the checkpoint thread, FinishStream on
// the graph's thread: all under muxMutex_. Pin changes under the filter lock.
#pragma once

#include <streams.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "AviOutput.h"
#include "AviWriter.h"
#include "FileWriterProtocol.h"

namespace vidorra::filters {

class CAviMux;

class CAviMuxInputPin : public CBaseInputPin {
 public:
  CAviMuxInputPin(CAviMux* mux, int index, std::wstring name);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  int index() const { return index_; }

 private:
  CAviMux* const mux_;
  const int index_;
};

class CAviMuxOutputPin : public CBaseOutputPin, public IFileWriterUpstream {
 public:
  explicit CAviMuxOutputPin(CAviMux* mux);

  DECLARE_PIN_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
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

class CAviMux : public CBaseFilter, public IConfigAviMux, public IConfigInterleaving {
 public:
  static constexpr REFERENCE_TIME kDefaultInterleave = 10'000'000;  // 1 s

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

  // Samples dropped (refused by the writer) since the last Pause from Stopped.
  long DroppedSamples() const;
  // Chunks written for stream n of the current or last file (dropped frames included).
  uint64_t ChunksWritten(int stream) const;

 private:
  friend class CAviMuxInputPin;
  friend class CAviMuxOutputPin;
  class PinOutput;

  void OnInputConnected();
  HRESULT ReceiveSample(int input, IMediaSample* sample);
  void InputEnded(int input);
  void FinishFile();
  void FailLocked(HRESULT hr);
  void CheckpointLoop();
  void StopCheckpointThread();
  static std::optional<avi::AviStreamFormat> FormatOf(const CMediaType& mt);

  std::vector<std::unique_ptr<CAviMuxInputPin>> inputs_;  // under the filter lock
  CAviMuxOutputPin output_;
  LONG masterStream_ = -1;
  bool compatibilityIndex_ = true;
  InterleavingMode mode_ = INTERLEAVE_CAPTURE;
  REFERENCE_TIME interleave_ = kDefaultInterleave;
  REFERENCE_TIME preroll_ = 0;

  mutable std::mutex muxMutex_;
  std::unique_ptr<PinOutput> pinOutput_;
  std::unique_ptr<avi::AviWriter> writer_;
  std::vector<int> streamOfInput_;  // -1 for inputs not in the file
  std::vector<CMediaType> inputTypes_;
  std::vector<bool> ended_;
  bool finished_ = true;
  HRESULT failure_ = S_OK;
  long dropped_ = 0;
  std::vector<uint64_t> lastChunks_;

  std::thread checkpointThread_;
  std::condition_variable checkpointWake_;
  bool checkpointStop_ = false;
};

}  // namespace vidorra::filters
