// Helpers of the DV and AVI tests: a loaded DV File Source, the DV chains the tests build, and a
// recording read back by our reader and by ffprobe.
#pragma once

#include <gtest/gtest.h>
#include <streams.h>
#include <vidorra_filters.h>

#include <string>
#include <vector>

#include "avi/AviReader.h"
#include "avi_test_support.h"
#include "dv/DvSplitter.h"
#include "dv/DvVideoDecoderFilter.h"
#include "sys_filter_support.h"

namespace vidorra::test {

inline ComPtr<IBaseFilter> LoadedSource(const std::string& path) {
  ComPtr<IBaseFilter> source = LoadedDvSource(path);
  EXPECT_TRUE(source) << path;
  return source;
}

// Our reader's view of a finished recording, checked for what every such file satisfies: it
// parses, and each stream's OpenDML index lists exactly the chunks found in the movi lists.
inline avi::AviFileInfo ReadBack(const std::string& path) {
  std::string error;
  auto info = avi::AviReader::Read(path, &error);
  EXPECT_TRUE(info.has_value()) << path << ": " << error;
  if (!info) return {};
  size_t odmlTotal = 0;
  for (size_t i = 0; i < info->streams.size(); ++i) {
    const auto& odml = info->streams[i].odmlChunks;
    EXPECT_TRUE(info->streams[i].hasSuperIndex) << "stream " << i;
    odmlTotal += odml.size();
    std::vector<avi::AviChunkRef> movi;
    for (const auto& c : info->moviChunks) {
      if (c.stream == static_cast<int>(i)) movi.push_back(c);
    }
    EXPECT_EQ(odml.size(), movi.size()) << "stream " << i;
    for (size_t k = 0; k < std::min(odml.size(), movi.size()); ++k) {
      EXPECT_EQ(odml[k].dataOffset, movi[k].dataOffset) << "stream " << i << " chunk " << k;
      EXPECT_EQ(odml[k].size, movi[k].size) << "stream " << i << " chunk " << k;
    }
  }
  EXPECT_EQ(odmlTotal, info->moviChunks.size());
  return *info;
}

// ffprobe finds streams of these codecs, in this order, and counts `frames` frames in the first.
inline void ExpectProbed(const std::string& path, const std::vector<std::string>& codecs,
                         long frames, bool useOdml = true) {
  const auto probed = Probe(path, useOdml);
  std::vector<std::string> found;
  for (const ProbedStream& s : probed) found.push_back(s.codec);
  EXPECT_EQ(found, codecs) << path << (useOdml ? "" : " without the OpenDML index");
  EXPECT_EQ(probed.empty() ? -1 : probed[0].count, frames) << path;
}

// DV File Source -> DV Splitter -> DV Video Decoder in a graph without clock, linked, for the
// tests that go on from the decoder's output.
struct DecodingChain {
  explicit DecodingChain(const std::string& dvPath) : source(LoadedSource(dvPath)) {
    AddFilters(graph.Get(), {{source.Get(), L"DV File Source"},
                             {splitter.Get(), L"DV Splitter"},
                             {decoder.Get(), L"DV Video Decoder"}});
    EXPECT_EQ(Link(graph.Get(), source.Get(), 0, splitter.Get(), 0), S_OK);
    EXPECT_EQ(Link(graph.Get(), splitter.Get(), 1, decoder.Get(), 0), S_OK);
  }
  ComPtr<IGraphBuilder> graph = UnclockedGraph();
  ComPtr<IBaseFilter> source;
  ComPtr<filters::CDvSplitter> splitter = MakeComObject<filters::CDvSplitter>();
  ComPtr<filters::CDvVideoDecoderFilter> decoder = MakeComObject<filters::CDvVideoDecoderFilter>();
};

// DV File Source -> DV Splitter -> AVI Mux (picture and sound as two streams) -> File writer in a
// graph without clock, linked and recording into aviPath.
struct Type2RecordingChain {
  Type2RecordingChain(const std::string& dvPath, const std::string& aviPath)
      : source(LoadedSource(dvPath)) {
    AddFilters(graph.Get(), {{source.Get(), L"Source"},
                             {splitter.Get(), L"DV Splitter"},
                             {mux.Get(), L"AVI Mux"},
                             {writer.Get(), L"File writer"}});
    EXPECT_EQ(Link(graph.Get(), source.Get(), 0, splitter.Get(), 0), S_OK);
    EXPECT_EQ(Link(graph.Get(), splitter.Get(), 1, mux.Get(), 1), S_OK);
    EXPECT_EQ(Link(graph.Get(), splitter.Get(), 2, mux.Get(), 2), S_OK);
    EXPECT_EQ(Link(graph.Get(), mux.Get(), 0, writer.Get(), 0), S_OK);
    EXPECT_EQ(QueryAs<IFileSinkFilter>(writer.Get())->SetFileName(Utf8ToWide(aviPath).c_str(), nullptr),
              S_OK);
  }
  // Runs the graph to its end and stops it; false when it does not complete.
  bool Record() { return RunToCompletion(graph.Get(), 20'000); }
  ComPtr<IGraphBuilder> graph = UnclockedGraph();
  ComPtr<IBaseFilter> source;
  ComPtr<filters::CDvSplitter> splitter = MakeComObject<filters::CDvSplitter>();
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  ComPtr<IBaseFilter> writer = NewSystemFilter(CLSID_FileWriter);
};

}  // namespace vidorra::test
