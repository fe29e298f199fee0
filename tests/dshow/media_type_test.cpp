// The media type helpers beyond the copies every connection makes: partial types as wildcards,
// the reference a type's pUnk holds, and the copies a type enumerator hands out.
#include "TestPassThrough.h"
#include "TestPushSource.h"
#include "FilterPins.h"
#include <gtest/gtest.h>

namespace vidorra::test {
namespace {

TEST(MediaType, PartialTypesMatchAsWildcards) {
  const CMediaType full = MakeTestVideoType(MEDIASUBTYPE_TestA);
  CMediaType partial(&MEDIATYPE_Video);
  EXPECT_TRUE(partial.IsPartiallySpecified());
  EXPECT_FALSE(full.IsPartiallySpecified());
  EXPECT_TRUE(full.MatchesPartial(&partial));
  partial.SetSubtype(&MEDIASUBTYPE_TestB);
  EXPECT_FALSE(full.MatchesPartial(&partial));
  CMediaType audio(&MEDIATYPE_Audio);
  EXPECT_FALSE(full.MatchesPartial(&audio));
}

TEST(MediaType, CopiesHoldTheirOwnReferenceAndFormat) {
  auto holder = MakeComObject<TestPassThrough>();
  const ULONG before = holder->RefCountForTesting();
  CMediaType source = MakeTestVideoType(MEDIASUBTYPE_TestA);
  source.pUnk = static_cast<IBaseFilter*>(holder.Get());
  source.pUnk->AddRef();
  AM_MEDIA_TYPE* copy = CreateMediaType(&source);
  ASSERT_TRUE(copy);
  EXPECT_NE(copy->pbFormat, source.pbFormat);
  AM_MEDIA_TYPE second{};
  ASSERT_EQ(S_OK, CopyMediaType(&second, copy));
  EXPECT_EQ(before + 3, holder->RefCountForTesting());
  FreeMediaType(second);
  EXPECT_EQ(nullptr, second.pbFormat);
  DeleteMediaType(copy);
  FreeMediaType(source);
  EXPECT_EQ(before, holder->RefCountForTesting());
  auto filter = MakeComObject<TestPushSource>();
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, filter->OutputPin()->EnumMediaTypes(types.GetAddressOf()));
  AM_MEDIA_TYPE* mt[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, types->Next(2, mt, &fetched));
  ASSERT_EQ(1u, fetched);
  EXPECT_TRUE(CMediaType(*mt[0]) == filter->Config().mediaType);
  DeleteMediaType(mt[0]);
}

}  // namespace
}  // namespace vidorra::test
