#include "AviReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unique_handle.h>

#include <utility>

#include "AviLayout.h"

namespace vidorra::avi {

namespace {

class File {
 public:
  explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st {};
    if (fd_ && ::fstat(fd_, &st) == 0) size_ = static_cast<uint64_t>(st.st_size);
  }
  bool ok() const { return fd_.valid(); }
  uint64_t size() const { return size_; }
  bool Read(uint64_t offset, size_t n, std::vector<uint8_t>& out) const {
    if (offset > size_ || n > size_ - offset) return false;
    out.resize(n);
    size_t done = 0;
    while (done < n) {
      const ssize_t r =
          ::pread(fd_, out.data() + done, n - done, static_cast<off_t>(offset + done));
      if (r <= 0) return false;
      done += static_cast<size_t>(r);
    }
    return true;
  }
  std::optional<std::pair<uint32_t, uint32_t>> Header(uint64_t offset) const {
    std::vector<uint8_t> b;
    if (!Read(offset, kChunkHeaderBytes, b)) return std::nullopt;
    return std::make_pair(GetU32(&b[0]), GetU32(&b[4]));
  }

 private:
  UniqueFd fd_;
  uint64_t size_ = 0;
};

int StreamOfChunkId(uint32_t id) {
  const char c0 = static_cast<char>(id & 0xFF), c1 = static_cast<char>((id >> 8) & 0xFF);
  if (c0 < '0' || c0 > '9' || c1 < '0' || c1 > '9') return -1;
  return (c0 - '0') * 10 + (c1 - '0');
}

bool IsIndexChunk(uint32_t id) { return (id & 0xFFFF) == (Fourcc("ix00") & 0xFFFF); }

class Parser {
 public:
  Parser(const File& file, AviFileInfo& info, std::string& error)
      : file_(file), info_(info), error_(error) {}

  bool Run() {
    uint64_t pos = 0;
    while (pos + kListHeaderBytes <= file_.size()) {
      std::vector<uint8_t> h;
      if (!file_.Read(pos, kListHeaderBytes, h)) break;
      if (GetU32(&h[0]) != kFccRiff) break;
      const uint32_t size = GetU32(&h[4]);
      const uint32_t type = GetU32(&h[8]);
      const bool first = info_.riffCount == 0;
      if (first != (type == kFccAvi) || (!first && type != kFccAvix)) {
        if (first) return Fail("not an AVI file");
        break;
      }
      ++info_.riffCount;
      info_.riffSizes.push_back(size);
      const uint64_t end = std::min<uint64_t>(pos + kChunkHeaderBytes + size, file_.size());
      if (!ParseList(pos + kListHeaderBytes, end, type)) return false;
      pos = pos + kChunkHeaderBytes + size + (size & 1);
    }
    if (info_.riffCount == 0) return Fail("no RIFF AVI list");
    if (!sawHeader_) return Fail("no hdrl list");
    for (AviStreamInfo& s : info_.streams) {
      if (s.hasSuperIndex && !ReadSuperIndex(s)) return false;
    }
    return true;
  }

  std::vector<std::vector<uint8_t>> indx;

 private:
  bool Fail(const std::string& why) {
    error_ = why;
    return false;
  }

  // Walks the chunks of [pos, end) inside a list (or RIFF) of type listType.
  bool ParseList(uint64_t pos, uint64_t end, uint32_t listType) {
    while (pos + kChunkHeaderBytes <= end) {
      const auto header = file_.Header(pos);
      if (!header) return Fail("short chunk header");
      const auto [id, size] = *header;
      const uint64_t data = pos + kChunkHeaderBytes;
      const uint64_t dataEnd = std::min<uint64_t>(data + size, end);
      if (id == kFccList) {
        std::vector<uint8_t> t;
        if (!file_.Read(data, 4, t)) return Fail("short list");
        const uint32_t type = GetU32(&t[0]);
        if (type == kFccHdrl) sawHeader_ = true;
        if (type == kFccStrl) info_.streams.emplace_back();
        if (type == kFccMovi) moviFourcc_ = moviFourcc_ ? moviFourcc_ : data;
        if (!ParseList(data + 4, dataEnd, type)) return false;
      } else if (listType == kFccMovi || listType == kFccRec) {
        const int stream = StreamOfChunkId(id);
        if (stream >= 0 && !IsIndexChunk(id)) {
          info_.moviChunks.push_back({data, size, stream, true});
        }
      } else if (!ParseChunk(id, data, dataEnd - data, listType)) {
        return false;
      }
      pos = data + size + (size & 1);
    }
    return true;
  }

  bool ParseChunk(uint32_t id, uint64_t data, uint64_t size, uint32_t listType) {
    std::vector<uint8_t> b;
    const auto read = [&](uint64_t n) { return file_.Read(data, static_cast<size_t>(n), b); };
    if (id == kFccAvih && listType == kFccHdrl) {
      if (size < avih::kBytes || !read(avih::kBytes)) return Fail("short avih");
      info_.microSecPerFrame = GetU32(&b[avih::kMicroSecPerFrame]);
      info_.flags = GetU32(&b[avih::kFlags]);
      info_.totalFrames = GetU32(&b[avih::kTotalFrames]);
      info_.streamCount = GetU32(&b[avih::kStreams]);
      info_.width = GetU32(&b[avih::kWidth]);
      info_.height = GetU32(&b[avih::kHeight]);
    } else if (listType == kFccStrl && !info_.streams.empty()) {
      AviStreamInfo& s = info_.streams.back();
      if (id == kFccStrh) {
        if (size < strh::kBytes - 8 || !read(std::min<uint64_t>(size, strh::kBytes))) {
          return Fail("short strh");
        }
        b.resize(strh::kBytes, 0);
        s.type = GetU32(&b[strh::kType]);
        s.handler = GetU32(&b[strh::kHandler]);
        s.scale = GetU32(&b[strh::kScale]);
        s.rate = GetU32(&b[strh::kRate]);
        s.length = GetU32(&b[strh::kLength]);
        s.suggestedBufferSize = GetU32(&b[strh::kSuggestedBufferSize]);
        s.sampleSize = GetU32(&b[strh::kSampleSize]);
      } else if (id == kFccStrf) {
        if (!read(size)) return Fail("short strf");
        s.format = b;
      } else if (id == kFccStrn) {
        if (!read(size)) return Fail("short strn");
        s.name.assign(b.begin(), b.end());
        while (!s.name.empty() && s.name.back() == '\0') s.name.pop_back();
      } else if (id == kFccIndx) {
        if (size < odml::kSuperHeaderBytes || !read(size)) return Fail("short indx");
        s.hasSuperIndex = true;
        s.superIndexChunkId = GetU32(&b[odml::kChunkId]);
        indx.resize(info_.streams.size());
        indx.back() = b;
      }
    } else if ((id == kFccIdit || id == kFccIcrd) && listType == kFccInfo) {
      if (!read(size)) return Fail("short INFO chunk");
      std::string& text = id == kFccIdit ? info_.idit : info_.icrd;
      text.assign(b.begin(), b.end());
      while (!text.empty() && text.back() == '\0') text.pop_back();
    } else if (id == kFccDmlh && listType == kFccOdml) {
      if (size < 4 || !read(4)) return Fail("short dmlh");
      info_.hasOdmlHeader = true;
      info_.grandFrames = GetU32(&b[odml::kDmlhGrandFrames]);
    } else if (id == kFccIdx1 && listType == kFccAvi) {
      if (!read(size)) return Fail("short idx1");
      info_.hasIdx1 = true;
      for (size_t i = 0; i + idx1::kEntryBytes <= b.size(); i += idx1::kEntryBytes) {
        const uint32_t chunkId = GetU32(&b[i + idx1::kChunkId]);
        const uint32_t flags = GetU32(&b[i + idx1::kFlags]);
        const uint32_t offset = GetU32(&b[i + idx1::kOffset]);
        const uint32_t chunkSize = GetU32(&b[i + idx1::kSize]);
        info_.idx1Chunks.push_back({moviFourcc_ + offset + kChunkHeaderBytes, chunkSize,
                                    StreamOfChunkId(chunkId), (flags & idx1::kFlagKeyframe) != 0});
      }
    }
    return true;
  }

  bool ReadSuperIndex(AviStreamInfo& s) {
    const size_t streamIndex = static_cast<size_t>(&s - info_.streams.data());
    if (streamIndex >= indx.size() || indx[streamIndex].empty()) return true;
    const std::vector<uint8_t>& b = indx[streamIndex];
    if (b[odml::kIndexType] != odml::kIndexOfIndexes)
      return Fail("indx is not an index of indexes");
    const uint32_t inUse = GetU32(&b[odml::kEntriesInUse]);
    if (odml::kSuperHeaderBytes + uint64_t{inUse} * odml::kSuperEntryBytes > b.size()) {
      return Fail("indx entries past its chunk");
    }
    for (uint32_t i = 0; i < inUse; ++i) {
      const uint8_t* e = &b[odml::kSuperHeaderBytes + i * odml::kSuperEntryBytes];
      const uint64_t offset = GetU64(e + odml::kSuperEntryOffset);
      s.odmlDuration += GetU32(e + odml::kSuperEntryDuration);
      const auto header = file_.Header(offset);
      if (!header) return Fail("ix## past the end of the file");
      const auto [id, size] = *header;
      if (!IsIndexChunk(id)) return Fail("indx entry does not point at an ix## chunk");
      std::vector<uint8_t> ix;
      if (size < odml::kStdHeaderBytes || !file_.Read(offset + kChunkHeaderBytes, size, ix)) {
        return Fail("short ix## chunk");
      }
      const uint32_t count = GetU32(&ix[odml::kEntriesInUse]);
      const uint64_t base = GetU64(&ix[odml::kBaseOffset]);
      if (ix[odml::kIndexType] != odml::kIndexOfChunks ||
          odml::kStdHeaderBytes + uint64_t{count} * odml::kStdEntryBytes > ix.size()) {
        return Fail("bad ix## chunk");
      }
      const int stream = StreamOfChunkId(GetU32(&ix[odml::kChunkId]));
      for (uint32_t k = 0; k < count; ++k) {
        const uint8_t* en = &ix[odml::kStdHeaderBytes + k * odml::kStdEntryBytes];
        const uint32_t rawSize = GetU32(en + odml::kStdEntrySize);
        s.odmlChunks.push_back({base + GetU32(en + odml::kStdEntryOffset),
                                rawSize & ~odml::kDeltaFrameBit, stream,
                                (rawSize & odml::kDeltaFrameBit) == 0});
      }
    }
    return true;
  }

  const File& file_;
  AviFileInfo& info_;
  std::string& error_;
  bool sawHeader_ = false;
  uint64_t moviFourcc_ = 0;
};

}  // namespace

std::optional<AviFileInfo> AviReader::Read(const std::string& path, std::string* error) {
  std::string ignored;
  std::string& why = error ? *error : ignored;
  File file(path);
  if (!file.ok()) {
    why = "cannot open " + path;
    return std::nullopt;
  }
  AviFileInfo info;
  Parser parser(file, info, why);
  if (!parser.Run()) return std::nullopt;
  return info;
}

bool AviReader::ReadChunk(const std::string& path, const AviChunkRef& chunk,
                          std::vector<uint8_t>& out) {
  File file(path);
  return file.ok() && file.Read(chunk.dataOffset, chunk.size, out);
}

}  // namespace vidorra::avi
