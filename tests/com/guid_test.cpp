// GUID text form, ordering and hashing.
#include <gtest/gtest.h>
#include <objbase.h>
#include <uuids.h>

#include <set>
#include <unordered_set>
#include <vector>

namespace {

constexpr GUID kSample = {
    0x4315D437, 0x5B8C, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr wchar_t kSampleText[] = L"{4315D437-5B8C-11D0-BD3B-00A0C911CE86}";

// Upper case with braces, the count with its zero; a short buffer is left alone.
TEST(GuidText, WritesUpperCaseWithBracesIntoABufferLargeEnough) {
  wchar_t buffer[64];
  EXPECT_EQ(StringFromGUID2(kSample, buffer, 64), 39);
  EXPECT_STREQ(buffer, kSampleText);
  EXPECT_EQ(StringFromGUID2(kSample, buffer, 39), 39);
  EXPECT_STREQ(buffer, kSampleText);
  wchar_t tooShort[39] = L"unchanged";
  EXPECT_EQ(StringFromGUID2(kSample, tooShort, 38), 0);
  EXPECT_STREQ(tooShort, L"unchanged");
  EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);

  LPOLESTR text = nullptr;
  ASSERT_EQ(StringFromCLSID(kSample, &text), S_OK);
  EXPECT_STREQ(text, kSampleText);
  CoTaskMemFree(text);
  ASSERT_EQ(StringFromIID(IID_IUnknown, &text), S_OK);
  EXPECT_STREQ(text, L"{00000000-0000-0000-C000-000000000046}");
  CoTaskMemFree(text);
  EXPECT_EQ(StringFromCLSID(kSample, nullptr), E_INVALIDARG);
}

TEST(GuidText, ParsesEitherCaseAndRoundTrips) {
  CLSID parsed{};
  ASSERT_EQ(CLSIDFromString(kSampleText, &parsed), S_OK);
  EXPECT_EQ(parsed, CLSID_CDeviceMoniker);
  IID lower{};
  ASSERT_EQ(IIDFromString(L"{4315d437-5b8c-11d0-bd3b-00a0c911ce86}", &lower), S_OK);
  EXPECT_EQ(lower, kSample);
  const GUID others[] = {GUID_NULL,
                         CLSID_SystemDeviceEnum,
                         {0xFFFFFFFF, 0xFFFF, 0xFFFF, {255, 255, 255, 255, 255, 255, 255, 255}}};
  for (const GUID& g : others) {
    wchar_t text[39];
    ASSERT_EQ(StringFromGUID2(g, text, 39), 39);
    GUID back{};
    ASSERT_EQ(CLSIDFromString(text, &back), S_OK) << text;
    EXPECT_EQ(back, g);
  }
}

TEST(GuidText, RejectsMalformedText) {
  const wchar_t* bad[] = {
      L"",
      L"4315D437-5B8C-11D0-BD3B-00A0C911CE86",     // no braces
      L"{4315D437-5B8C-11D0-BD3B-00A0C911CE8}",    // one digit short
      L"{4315D437-5B8C-11D0-BD3B-00A0C911CE866}",  // one digit long
      L"{4315D437-5B8C-11D0-BD3B-00A0C911CE8G}",   // not hex
      L"{4315D437x5B8C-11D0-BD3B-00A0C911CE86}",   // dash misplaced
      L"{4315D437-5B8C-11D0-BD3B00-A0C911CE86}",
      L"(4315D437-5B8C-11D0-BD3B-00A0C911CE86)",
      L"{ 315D437-5B8C-11D0-BD3B-00A0C911CE86}",
      L"{+315D437-5B8C-11D0-BD3B-00A0C911CE86}",
  };
  for (const wchar_t* text : bad) {
    CLSID clsid = kSample;
    EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING) << text;
    IID iid{};
    EXPECT_EQ(IIDFromString(text, &iid), CO_E_CLASSSTRING) << text;
  }
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromString(nullptr, &clsid), CO_E_CLASSSTRING);
}

TEST(GuidOrder, IsAStrictWeakOrderAndAHashUsableAsKeys) {
  GUID a = kSample;
  GUID b = kSample;
  b.Data4[7] = 0x87;
  GUID c = kSample;
  c.Data1 = 0x4315D438;
  EXPECT_TRUE(a < b);
  EXPECT_FALSE(b < a);
  EXPECT_FALSE(a < a);
  EXPECT_TRUE(b < c);  // Data1 outranks Data4
  const std::set<GUID> ordered = {c, a, b, a};
  EXPECT_EQ(std::vector<GUID>(ordered.begin(), ordered.end()), (std::vector<GUID>{a, b, c}));
  const std::unordered_set<GUID> hashed = {a, b, c, a, GUID_NULL};
  EXPECT_EQ(hashed.size(), 4u);
  EXPECT_TRUE(hashed.contains(b));
}

}  // namespace
