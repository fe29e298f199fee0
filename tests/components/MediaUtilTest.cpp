// Unit MediaUtil: error checks, media-type records and their stored form (the interface lists
// are the engine's and the graph's tests').
#include <amvideo.h>

#include <QRegularExpression>
#include <cstring>

#include "Assert.h"
#include "ComponentsTestSupport.h"
#include "MediaUtil.h"

using namespace components_test;

namespace {

std::unique_ptr<TMediaType> GrabberType() {
  auto type = TMediaType::CreateForMajorType(MEDIATYPE_Video);
  type->SetSubType(MEDIASUBTYPE_RGB24);
  type->SetFormatType(FORMAT_VideoInfo);
  return type;
}

VIDEOINFOHEADER PalRgb24Format() {
  VIDEOINFOHEADER vih{};
  vih.AvgTimePerFrame = 400000;
  vih.bmiHeader = {sizeof(BITMAPINFOHEADER), 720, 576, 1, 24, BI_RGB, 720 * 3 * 576, 0, 0, 0, 0};
  return vih;
}

}  // namespace

// A failure raises the program's exception with its code and a message: the error's text, then
// the code in eight upper-case hexadecimal digits.
TEST(CheckGraphResult, SuccessPassesAndFailureRaisesAProgramExceptionWithTextAndCode) {
  EXPECT_EQ(CheckGraphResult(S_FALSE), 1);
  EXPECT_EQ(CheckGraphResult(VFW_S_NO_MORE_ITEMS), VFW_S_NO_MORE_ITEMS);
  try {
    CheckGraphResult(VFW_E_NO_ALLOCATOR);
    ADD_FAILURE() << "no exception";
  } catch (const EMediaGraphException& e) {
    EXPECT_EQ(e.ErrorCode(), VFW_E_NO_ALLOCATOR);
    EXPECT_FALSE(GraphErrorText(VFW_E_NO_ALLOCATOR).isEmpty());
    EXPECT_EQ(e.Message(), GraphErrorText(VFW_E_NO_ALLOCATOR) + QLatin1String(" ($8004020A)."));
  }
  EXPECT_LE(GraphErrorText(static_cast<HRESULT>(0x8123ABCD)).size(), 255);
}

// A copy is deep and holds the type's object until freed; a length without a block, or a copy
// onto itself, is an assertion failure naming the unit's file (without its folders) and line.
TEST(MediaTypeRecord, CopyIsDeepAndHoldsPUnkUntilFreed) {
  VIDEOINFOHEADER vih = PalRgb24Format();
  ComPtr<PinlessFilter> object = MakeComObject<PinlessFilter>();
  AM_MEDIA_TYPE source{};
  source.cbFormat = sizeof(vih);
  source.pbFormat = reinterpret_cast<BYTE*>(&vih);
  source.pUnk = static_cast<IBaseFilter*>(object.Get());
  const ULONG before = object->RefCountForTesting();
  AM_MEDIA_TYPE copy{};
  CopyMediaTypeRecord(copy, source);
  ASSERT_EQ(copy.cbFormat, sizeof(vih));
  EXPECT_NE(copy.pbFormat, source.pbFormat);
  EXPECT_EQ(std::memcmp(copy.pbFormat, &vih, sizeof(vih)), 0);
  EXPECT_EQ(object->RefCountForTesting(), before + 1);
  FreeMediaTypeRecord(copy);
  EXPECT_EQ(copy.pbFormat, nullptr);
  EXPECT_EQ(copy.pUnk, nullptr);
  EXPECT_EQ(object->RefCountForTesting(), before);
  source = {};
  source.pbFormat = reinterpret_cast<BYTE*>(&vih);  // cbFormat 0: the pointer means nothing
  CopyMediaTypeRecord(copy, source);
  EXPECT_EQ(copy.pbFormat, nullptr);
  try {
    CopyMediaTypeRecord(copy, copy);
    ADD_FAILURE() << "no assertion";
  } catch (const vidorra::EAssertionFailed& e) {
    EXPECT_TRUE(QString(e.what()).contains(QRegularExpression(
        QStringLiteral(R"(^Assertion failure \(MediaUtilMediaType.cpp, line \d+\)$)"))))
        << e.what();
  }
  source.cbFormat = 16;  // a length without a block
  source.pbFormat = nullptr;
  EXPECT_THROW(CopyMediaTypeRecord(copy, source), vidorra::EAssertionFailed);
}

// The stored value: the 72-byte record (its two pointer slots zero), then the format block; it
// reads back the same in a block of its own. A truncated value raises and changes nothing.
// The types compare by their GUIDs and format block only; Assign copies deeply, and setting no
// format frees the block.
TEST(MediaTypePersistence, StoredValueReadsBackTheSameAndATruncatedOneChangesNothing) {
  auto saved = GrabberType();
  const VIDEOINFOHEADER vih = PalRgb24Format();
  saved->SetFormat(&vih, sizeof(vih));
  const QByteArray data = saved->WriteData();
  ASSERT_EQ(data.size(), 160);
  EXPECT_EQ(data.mid(64, 4), QByteArray::fromHex("58000000"));  // cbFormat
  EXPECT_EQ(data.mid(60, 4) + data.mid(68, 4), QByteArray(8, '\0'));
  EXPECT_EQ(std::memcmp(data.constData() + 72, &vih, sizeof(vih)), 0);
  TMediaType loaded;
  loaded.ReadData(data);
  EXPECT_TRUE(loaded.SameAs(saved.get()));
  EXPECT_NE(loaded.AmMediaType()->pbFormat, saved->AmMediaType()->pbFormat);

  auto type = GrabberType();
  EXPECT_THROW(type->ReadData(data.left(71)), EReadError);
  EXPECT_THROW(type->ReadData(data.left(100)), EReadError);
  EXPECT_TRUE(type->SameAs(GrabberType().get()));
  EXPECT_EQ(type->FormatLength(), 0u);
  type->AmMediaType()->lSampleSize = 1234;  // not compared
  EXPECT_FALSE(type->SameAs(saved.get()));
  type->SetFormat(&vih, sizeof(vih));
  EXPECT_TRUE(type->SameAs(saved.get()));
  type->SetFormatType(FORMAT_VideoInfo2);
  EXPECT_FALSE(type->SameAs(saved.get()));
  type->Assign(*saved);
  saved->SetFormat(nullptr, 0);  // the block freed
  EXPECT_EQ(std::pair(type->FormatLength(), saved->FormatLength()), std::pair(88u, 0u));
  EXPECT_EQ(type->FormatType(), FORMAT_VideoInfo);
  class Other : public TPersistent {};
  Other other;
  EXPECT_THROW(type->Assign(other), EConvertError);
}
