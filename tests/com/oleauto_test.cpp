// BSTR, VARIANT and task memory.
#include <comimpl.h>
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cstring>

namespace {

TEST(Bstr, KeepsItsLengthAndATerminatingZero) {
  BSTR s = SysAllocString(L"Hello");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_STREQ(s, L"Hello");
  SysFreeString(s);

  const wchar_t embedded[] = {L'a', L'\0', L'b'};
  BSTR e = SysAllocStringLen(embedded, 3);
  EXPECT_EQ(SysStringLen(e), 3u);
  EXPECT_EQ(e[2], L'b');
  EXPECT_EQ(e[3], L'\0');
  SysFreeString(e);

  BSTR blank = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(SysStringLen(blank), 4u);
  EXPECT_EQ(blank[0], L'\0');
  SysFreeString(blank);

  BSTR empty = SysAllocString(L"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

class CCounted : public CUnknown {
 public:
  DECLARE_IUNKNOWN
};

// Clear frees strings and releases objects; copy duplicates strings, adds a reference and
// frees what the target held. ASan reports a string either leaks.
TEST(Variant, ClearAndCopyOwnStringsAndReferences) {
  ComPtr<CCounted> object = MakeComObject<CCounted>();
  VARIANT src;
  VariantInit(&src);
  EXPECT_EQ(src.vt, VT_EMPTY);
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocString(L"copy me");
  VARIANT dst;
  VariantInit(&dst);
  dst.vt = VT_BSTR;
  dst.bstrVal = SysAllocString(L"old value, freed by the copy");
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_STREQ(dst.bstrVal, L"copy me");
  EXPECT_EQ(VariantCopy(&dst, &dst), S_OK);
  EXPECT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(src.vt, VT_EMPTY);
  EXPECT_STREQ(dst.bstrVal, L"copy me");

  src.vt = VT_UNKNOWN;
  src.punkVal = object.Get();
  object->AddRef();
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(object->RefCountForTesting(), 3u);
  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(object->RefCountForTesting(), 2u);
  VariantClear(&src);
  EXPECT_EQ(object->RefCountForTesting(), 1u);

  src.vt = VT_I4;
  src.lVal = -42;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_I4);
  EXPECT_EQ(dst.lVal, -42);
  dst.vt = 0x7777;
  EXPECT_EQ(VariantClear(&dst), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(TaskMemory, AllocReallocFreeAndStrings) {
  void* zero = CoTaskMemAlloc(0);
  EXPECT_NE(zero, nullptr);
  CoTaskMemFree(zero);
  auto* block = static_cast<char*>(CoTaskMemAlloc(4));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "abc", 4);
  block = static_cast<char*>(CoTaskMemRealloc(block, 4096));
  ASSERT_NE(block, nullptr);
  EXPECT_STREQ(block, "abc");
  CoTaskMemFree(block);
  CoTaskMemFree(nullptr);
  // Realloc of nothing allocates; realloc to nothing frees.
  void* fresh = CoTaskMemRealloc(nullptr, 16);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(CoTaskMemRealloc(fresh, 0), nullptr);  // ASan reports a leak if not freed

  LPWSTR copy = CoTaskMemStrDup(L"Caméra DV");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, L"Caméra DV");
  CoTaskMemFree(copy);
}

TEST(TextConversion, Utf8RoundTripsAndMalformedInputIsReplaced) {
  const std::wstring wide = L"Caméra \u00e9\u4e2d\U0001F3A5";
  const std::string utf8 = WideToUtf8(wide);
  EXPECT_EQ(utf8, "Cam\xc3\xa9ra \xc3\xa9\xe4\xb8\xad\xf0\x9f\x8e\xa5");
  EXPECT_EQ(Utf8ToWide(utf8), wide);
  EXPECT_EQ(Utf8ToWide("a\xff"
                       "b"),
            L"a\uFFFDb");
  EXPECT_EQ(Utf8ToWide("\xe4\xb8"), L"\uFFFD\uFFFD");  // truncated sequence
  EXPECT_EQ(Utf8ToWide("\xc0\xaf"), L"\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xef\xbf\xbd");
  EXPECT_EQ(WideToUtf8(L""), "");
}

}  // namespace
