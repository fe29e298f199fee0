// CMediaType and the media type helpers: deep copies, comparison, partial matches, pUnk.
#include "TestPassThrough.h"
#include "TestPushSource.h"
#include "graph_test_support.h"

namespace vidorra::test {
namespace {

TEST(MediaType, CopiesOwnTheirFormatBlock) {
  CMediaType a = MakeTestVideoType(MEDIASUBTYPE_TestA, 320, 240);
  CMediaType b = a;
  ASSERT_NE(a.Format(), b.Format());
  EXPECT_TRUE(a == b);
  reinterpret_cast<VIDEOINFOHEADER*>(b.Format())->bmiHeader.biWidth = 640;
  EXPECT_FALSE(a == b);
  CMediaType moved = std::move(b);
  EXPECT_EQ(nullptr, b.Format());
  EXPECT_EQ(640, reinterpret_cast<VIDEOINFOHEADER*>(moved.Format())->bmiHeader.biWidth);
  moved = a;
  EXPECT_TRUE(moved == a);
}

TEST(MediaType, PartialTypesMatchAsWildcards) {
  const CMediaType full = MakeTestVideoType(MEDIASUBTYPE_TestA);
  CMediaType partial(&MEDIATYPE_Video);
  EXPECT_TRUE(partial.IsPartiallySpecified());
  EXPECT_TRUE(full.MatchesPartial(&partial));
  partial.SetSubtype(&MEDIASUBTYPE_TestB);
  EXPECT_FALSE(full.MatchesPartial(&partial));
  CMediaType audio(&MEDIATYPE_Audio);
  EXPECT_FALSE(full.MatchesPartial(&audio));
  EXPECT_FALSE(full.IsPartiallySpecified());
}

TEST(MediaType, HelpersCopyAndFreeFormatAndUnknown) {
  auto holder = MakeComObject<TestPassThrough>();
  const ULONG before = holder->RefCountForTesting();
  CMediaType source = MakeTestVideoType(MEDIASUBTYPE_TestA);
  source.pUnk = static_cast<IBaseFilter*>(holder.Get());
  source.pUnk->AddRef();
  AM_MEDIA_TYPE* copy = CreateMediaType(&source);
  ASSERT_TRUE(copy);
  EXPECT_NE(copy->pbFormat, source.pbFormat);
  EXPECT_EQ(before + 2, holder->RefCountForTesting());
  AM_MEDIA_TYPE second{};
  ASSERT_EQ(S_OK, CopyMediaType(&second, copy));
  EXPECT_EQ(before + 3, holder->RefCountForTesting());
  FreeMediaType(second);
  EXPECT_EQ(nullptr, second.pbFormat);
  EXPECT_EQ(0u, second.cbFormat);
  DeleteMediaType(copy);
  EXPECT_EQ(before + 1, holder->RefCountForTesting());
  source.ResetFormatBuffer();
  FreeMediaType(source);
  EXPECT_EQ(before, holder->RefCountForTesting());
}

TEST(MediaType, EnumMediaTypesHandsOutCopies) {
  auto filter = MakeComObject<TestPushSource>();
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, filter->OutputPin()->EnumMediaTypes(types.GetAddressOf()));
  AM_MEDIA_TYPE* mt[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, types->Next(2, mt, &fetched));
  ASSERT_EQ(1u, fetched);
  EXPECT_TRUE(CMediaType(*mt[0]) == filter->Config().mediaType);
  DeleteMediaType(mt[0]);
  ComPtr<IEnumMediaTypes> clone;
  ASSERT_EQ(S_OK, types->Clone(clone.GetAddressOf()));
  EXPECT_EQ(S_FALSE, clone->Skip(1));
  EXPECT_EQ(S_OK, types->Reset());
  EXPECT_EQ(S_OK, types->Skip(1));
}

}  // namespace
}  // namespace vidorra::test
