// The memory stream behind CreateStreamOnHGlobal.
#include <comimpl.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "com_test_support.h"

namespace {

using namespace vidorra::test;

ULONGLONG SeekTo(IStream* s, LONGLONG offset, DWORD origin) {
  LARGE_INTEGER move{};
  move.QuadPart = offset;
  ULARGE_INTEGER position{};
  EXPECT_EQ(s->Seek(move, origin, &position), S_OK);
  return position.QuadPart;
}

ULONGLONG SizeOf(IStream* s) {
  STATSTG stat{};
  EXPECT_EQ(s->Stat(&stat, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
  EXPECT_EQ(stat.pwcsName, nullptr);
  return stat.cbSize.QuadPart;
}

std::string ReadAll(IStream* s) {
  SeekTo(s, 0, STREAM_SEEK_SET);
  std::string out(SizeOf(s), '\0');
  ULONG read = 0;
  EXPECT_EQ(s->Read(out.data(), static_cast<ULONG>(out.size()), &read), S_OK);
  EXPECT_EQ(read, out.size());
  return out;
}

TEST(MemoryStream, WriteSeekReadAndShortReads) {
  ComPtr<IStream> s = NewStream();
  EXPECT_EQ(SizeOf(s.Get()), 0u);
  ULONG written = 0;
  ASSERT_EQ(s->Write("hello world", 11, &written), S_OK);
  EXPECT_EQ(written, 11u);
  EXPECT_EQ(SeekTo(s.Get(), 0, STREAM_SEEK_CUR), 11u);
  EXPECT_EQ(SeekTo(s.Get(), -5, STREAM_SEEK_END), 6u);
  char buffer[16] = {};
  ULONG read = 0;
  EXPECT_EQ(s->Read(buffer, sizeof(buffer), &read), S_OK);  // fewer bytes is not an error
  EXPECT_EQ(std::string(buffer, read), "world");
  EXPECT_EQ(s->Read(buffer, sizeof(buffer), &read), S_OK);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(s->Read(nullptr, 4, &read), STG_E_INVALIDPOINTER);
  // Before the start or from an unknown origin: refused, the position kept.
  LARGE_INTEGER move{};
  move.QuadPart = -12;
  ULARGE_INTEGER position{};
  EXPECT_EQ(s->Seek(move, STREAM_SEEK_END, &position), STG_E_INVALIDFUNCTION);
  move.QuadPart = 0;
  EXPECT_EQ(s->Seek(move, 7, &position), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(SeekTo(s.Get(), 0, STREAM_SEEK_CUR), 11u);
  EXPECT_EQ(SeekTo(s.Get(), 100, STREAM_SEEK_SET), 100u);  // beyond the end is allowed
  EXPECT_EQ(SizeOf(s.Get()), 11u);
}

TEST(MemoryStream, WritingPastTheEndFillsWithZerosAndSetSizeTruncates) {
  ComPtr<IStream> s = NewStream();
  SeekTo(s.Get(), 4, STREAM_SEEK_SET);
  ASSERT_EQ(s->Write("ab", 2, nullptr), S_OK);
  EXPECT_EQ(ReadAll(s.Get()), std::string("\0\0\0\0ab", 6));
  ULARGE_INTEGER size{};
  size.QuadPart = 5;
  ASSERT_EQ(s->SetSize(size), S_OK);
  EXPECT_EQ(ReadAll(s.Get()), std::string("\0\0\0\0a", 5));
  size.QuadPart = 8;
  ASSERT_EQ(s->SetSize(size), S_OK);
  EXPECT_EQ(ReadAll(s.Get()), std::string("\0\0\0\0a\0\0\0", 8));
}

TEST(MemoryStream, CloneSharesBytesButNotThePosition) {
  ComPtr<IStream> s = NewStream();
  s->Write("0123456789", 10, nullptr);
  SeekTo(s.Get(), 2, STREAM_SEEK_SET);
  ComPtr<IStream> clone;
  ASSERT_EQ(s->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(SeekTo(clone.Get(), 0, STREAM_SEEK_CUR), 2u);
  SeekTo(clone.Get(), 0, STREAM_SEEK_END);
  clone->Write("AB", 2, nullptr);
  EXPECT_EQ(SeekTo(s.Get(), 0, STREAM_SEEK_CUR), 2u);
  EXPECT_EQ(ReadAll(s.Get()), "0123456789AB");
  s = nullptr;  // the clone keeps the bytes alive
  EXPECT_EQ(ReadAll(clone.Get()), "0123456789AB");
}

TEST(MemoryStream, CopyToMovesBytesAndCounts) {
  ComPtr<IStream> source = NewStream();
  std::vector<char> big(200 * 1024);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  source->Write(big.data(), static_cast<ULONG>(big.size()), nullptr);
  SeekTo(source.Get(), 1000, STREAM_SEEK_SET);
  ComPtr<IStream> target = NewStream();
  ULARGE_INTEGER cb{};
  cb.QuadPart = 150 * 1024;
  ULARGE_INTEGER read{};
  ULARGE_INTEGER written{};
  ASSERT_EQ(source->CopyTo(target.Get(), cb, &read, &written), S_OK);
  EXPECT_EQ(read.QuadPart, cb.QuadPart);
  EXPECT_EQ(written.QuadPart, cb.QuadPart);
  EXPECT_EQ(ReadAll(target.Get()),
            std::string(big.begin() + 1000, big.begin() + 1000 + cb.QuadPart));
  // Asking for more than is left copies the rest.
  cb.QuadPart = ~0ull;
  ASSERT_EQ(source->CopyTo(target.Get(), cb, &read, &written), S_OK);
  EXPECT_EQ(read.QuadPart, big.size() - 1000 - 150 * 1024);
  EXPECT_EQ(source->CopyTo(nullptr, cb, nullptr, nullptr), STG_E_INVALIDPOINTER);
  // Into a clone of itself, which shares its bytes: no deadlock.
  ComPtr<IStream> clone;
  ASSERT_EQ(target->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
  SeekTo(target.Get(), 0, STREAM_SEEK_SET);
  cb.QuadPart = 4;
  ASSERT_EQ(target->CopyTo(clone.Get(), cb, nullptr, nullptr), S_OK);
  const std::string all = ReadAll(target.Get());
  EXPECT_EQ(all.substr(all.size() - 4), all.substr(0, 4));
}

TEST(MemoryStream, UnsupportedOperationsAndArguments) {
  ComPtr<IStream> s = NewStream();
  ULARGE_INTEGER zero{};
  EXPECT_EQ(s->LockRegion(zero, zero, 0), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(s->UnlockRegion(zero, zero, 0), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(s->Commit(STGC_DEFAULT), S_OK);
  EXPECT_EQ(s->Revert(), S_OK);
  EXPECT_EQ(s->Stat(nullptr, STATFLAG_NONAME), STG_E_INVALIDPOINTER);
  EXPECT_EQ(s->Clone(nullptr), STG_E_INVALIDPOINTER);
  ComPtr<IStream> other;
  int memory = 0;
  EXPECT_EQ(CreateStreamOnHGlobal(&memory, FALSE, other.ReleaseAndGetAddressOf()), E_INVALIDARG);
  EXPECT_FALSE(other);
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
  EXPECT_TRUE(QueryAs<ISequentialStream>(s.Get()));
}

TEST(MemoryStream, ConcurrentWritersThroughClonesLoseNothing) {
  ComPtr<IStream> s = NewStream();
  constexpr int kWriters = 3;
  constexpr int kWrites = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kWriters; ++t) {
    ComPtr<IStream> clone;
    ASSERT_EQ(s->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
    threads.emplace_back([clone, t] {
      for (int i = 0; i < kWrites; ++i) {
        // Each writer owns its own region of the shared bytes.
        LARGE_INTEGER at{};
        at.QuadPart = (static_cast<LONGLONG>(t) * kWrites + i) * 4;
        clone->Seek(at, STREAM_SEEK_SET, nullptr);
        const uint32_t value = static_cast<uint32_t>(t * kWrites + i);
        clone->Write(&value, sizeof(value), nullptr);
      }
    });
  }
  for (auto& th : threads) th.join();
  const std::string all = ReadAll(s.Get());
  ASSERT_EQ(all.size(), static_cast<size_t>(kWriters * kWrites * 4));
  for (uint32_t i = 0; i < kWriters * kWrites; ++i) {
    uint32_t value = 0;
    std::memcpy(&value, all.data() + i * 4, 4);
    ASSERT_EQ(value, i);
  }
}

}  // namespace
