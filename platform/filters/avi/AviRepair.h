// Makes whole an AVI file that a recorder left unfinished (killed, crashed, the machine down):
// its chunks are scanned from the start, every whole chunk on disk is kept, a torn last one is
// dropped, and the indexes (idx1 and the OpenDML ones), the RIFF and LIST sizes, the frame
// counts and the duration are written as a finished recording of the same chunks has them.
//
// Only files of the AVI writer's own layout are repaired (a header it would have written, index
// slots ahead of the chunks they index); any other file is never written to: one that a reader
// can read whole is reported whole, another is reported as not repairable.
//
// The repair never trusts a size it reads: every read is bounded by the file's length, the scan
// only moves forwards, and what it writes goes to the file itself, in the writer's order: the
// new idx1 after the last whole chunk, a sync, then the indexes and sizes that describe the
// data, a sync, and only then the torn tail is cut off. A repair that is itself interrupted
// leaves a file that the next repair makes whole. A file that is already whole is left byte for
// byte as it is (the repair is planned in memory and compared with the file first).
//
// Thread: any; one repair of a file at a time.
#pragma once

#include <wtypes.h>

#include <cstdint>
#include <memory>
#include <string>

namespace vidorra::avi {

// The file under repair: reads bounded by its size, positioned writes, a durable sync, and a
// cut of its end. Tests provide one over memory.
class AviRepairFile {
 public:
  virtual ~AviRepairFile() = default;
  virtual uint64_t Size() const = 0;
  // False when the file holds fewer than size bytes from offset.
  virtual bool ReadAt(uint64_t offset, uint8_t* data, size_t size) = 0;
  virtual HRESULT WriteAt(uint64_t offset, const uint8_t* data, size_t size) = 0;
  virtual HRESULT Sync() = 0;
  virtual HRESULT Truncate(uint64_t size) = 0;
};

// Opens path for repair (read and write, never created); nullptr with errno's message in *error.
std::unique_ptr<AviRepairFile> OpenForRepair(const std::string& path, std::string* error);

struct AviRepairResult {
  enum class Outcome {
    kWhole,          // nothing to do: the file is whole and was not written to
    kRepaired,       // the file is whole now
    kNotRepairable,  // left as it was (not of this layout, or unreadable)
    kFailed,         // a write or sync failed: the file may need another repair
  };
  Outcome outcome = Outcome::kNotRepairable;
  std::string reason;      // kNotRepairable, kFailed: why, in a few words
  uint64_t frames = 0;     // chunks of the first video stream (dropped frames included)
  double seconds = 0;      // the recording's length, from its longest stream
  uint64_t tornBytes = 0;  // bytes after the last whole chunk, cut off
  bool IsWhole() const { return outcome == Outcome::kWhole || outcome == Outcome::kRepaired; }
};

AviRepairResult RepairAvi(AviRepairFile& file);
// Opens and repairs path (kNotRepairable when it cannot be opened).
AviRepairResult RepairAviFile(const std::string& path);

}  // namespace vidorra::avi
