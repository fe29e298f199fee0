// AMGetErrorTextA/W: texts for DirectShow and common COM codes, nothing for unknown codes.
#include <dshow.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <string>

namespace {

std::string TextOf(HRESULT hr) {
  char buffer[MAX_ERROR_TEXT_LEN] = {};
  const DWORD n = AMGetErrorTextA(hr, buffer, MAX_ERROR_TEXT_LEN);
  EXPECT_EQ(n, std::strlen(buffer));
  return buffer;
}

// Every code that vfwmsgs.h defines, read from the header itself so that a code added there
// without a text is caught.
TEST(ErrorText, EveryDirectShowCodeHasOneSentence) {
  const std::string header = std::string(VIDORRA_SOURCE_DIR) + "/platform/include/vfwmsgs.h";
  std::ifstream in(header);
  ASSERT_TRUE(in) << header;
  const std::regex define(R"(#define (VFW_[ES]_\w+) \(\(HRESULT\)0x([0-9A-Fa-f]+)\))");
  int codes = 0;
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    if (!std::regex_search(line, match, define)) continue;
    const std::string text = TextOf(static_cast<HRESULT>(std::stoul(match[2].str(), nullptr, 16)));
    ++codes;
    ASSERT_FALSE(text.empty()) << match[1].str();
    EXPECT_EQ('.', text.back()) << match[1].str();
  }
  EXPECT_GT(codes, 140);
}

// Unknown codes give nothing and leave the buffer; a short buffer gets the start of the text;
// the wide text is the narrow one.
TEST(ErrorText, UnknownCodesShortBuffersAndWideText) {
  char buffer[16] = "untouched";
  EXPECT_EQ(0u, AMGetErrorTextA(static_cast<HRESULT>(0x80041234), buffer, sizeof(buffer)));
  EXPECT_STREQ("untouched", buffer);
  EXPECT_EQ(0u, AMGetErrorTextA(E_FAIL, nullptr, 10));
  char small[6] = {};
  EXPECT_EQ(5u, AMGetErrorTextA(E_FAIL, small, sizeof(small)));
  EXPECT_STREQ("Unspe", small);
  wchar_t wide[MAX_ERROR_TEXT_LEN] = {};
  const DWORD n = AMGetErrorTextW(VFW_E_NOT_CONNECTED, wide, MAX_ERROR_TEXT_LEN);
  const std::string narrow = TextOf(VFW_E_NOT_CONNECTED);
  ASSERT_EQ(narrow.size(), n);
  EXPECT_EQ(std::wstring(narrow.begin(), narrow.end()), std::wstring(wide));
}

}  // namespace
