// Our AVI reader: parses RIFF 'AVI ' and 'AVIX' lists, the header list (avih, strl with strh,
// strf, indx, strn; odml/dmlh), the INFO list's recording date (IDIT, ICRD), the movi lists,
// the OpenDML indexes (indx -> ix##) and idx1.
// Used by tests and benchmarks to check every file the AVI Mux writes, and to read a chunk's
// bytes back. Never trusts a size: every read is checked against the file's length.
//
// Thread: any; a reader object is used by one thread at a time.
#pragma once

#include <wtypes.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vidorra::avi {

struct AviChunkRef {
  uint64_t dataOffset = 0;  // absolute offset of the chunk's data
  uint32_t size = 0;
  int stream = -1;
  bool keyframe = true;
};

struct AviStreamInfo {
  uint32_t type = 0;     // 'vids', 'auds', 'iavs'
  uint32_t handler = 0;  // e.g. 'dvsd'
  uint32_t scale = 0;
  uint32_t rate = 0;
  uint32_t length = 0;
  uint32_t sampleSize = 0;
  uint32_t suggestedBufferSize = 0;
  std::vector<uint8_t> format;  // strf data
  std::string name;             // strn
  bool hasSuperIndex = false;
  uint32_t superIndexChunkId = 0;
  std::vector<AviChunkRef> odmlChunks;  // from indx -> ix##, in index order
  uint64_t odmlDuration = 0;            // sum of the super index durations
};

struct AviFileInfo {
  uint32_t microSecPerFrame = 0;
  uint32_t flags = 0;
  uint32_t totalFrames = 0;
  uint32_t streamCount = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  bool hasOdmlHeader = false;
  uint32_t grandFrames = 0;
  size_t riffCount = 0;  // RIFF 'AVI ' + RIFF 'AVIX' lists
  std::vector<uint32_t> riffSizes;
  std::vector<AviStreamInfo> streams;
  bool hasIdx1 = false;
  std::vector<AviChunkRef> idx1Chunks;  // absolute offsets
  std::vector<AviChunkRef> moviChunks;  // every stream chunk met scanning the movi lists
  // LIST 'INFO': the 'IDIT' and 'ICRD' texts (without their terminating NULs), when present.
  std::string idit;
  std::string icrd;
};

class AviReader {
 public:
  // Parses path; nullopt with a reason in *error when it is not a readable AVI file.
  static std::optional<AviFileInfo> Read(const std::string& path, std::string* error = nullptr);
  // Reads a chunk's bytes; false if the file is shorter than the chunk.
  static bool ReadChunk(const std::string& path, const AviChunkRef& chunk,
                        std::vector<uint8_t>& out);
};

}  // namespace vidorra::avi
