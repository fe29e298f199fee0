// TBaseFilter (stored monikers) and TSysDevEnum (categories and devices).
#include <devmoniker.h>

#include <QByteArray>

#include "ComponentsTestSupport.h"
#include "FakeDevices.h"

using namespace components_test;

namespace {

const std::wstring kEncoderName =
    L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\DV Video Encoder";

// A device category of the tests, listed by a replacement of the system device enumerator.
DEFINE_GUID(kTestCategory, 0x5E1D0C02, 0x7A2B, 0x4C3D, 0x9E, 0x4F, 0x10, 0x21, 0x32, 0x43, 0x54,
            0x66);

}  // namespace

// ---- TBaseFilter -------------------------------------------------------------------------------

TEST(BaseFilter, EmptySavesAsFourZeroBytesAndBindsNothing) {
  TBaseFilter empty;
  EXPECT_EQ(empty.WriteData(), QByteArray(4, '\0'));
  EXPECT_FALSE(empty.Moniker());
  EXPECT_FALSE(empty.BindFilter());
  TBaseFilter loaded;
  loaded.AllocateBlock(8);
  loaded.ReadData(QByteArray(4, '\0'));
  EXPECT_EQ(loaded.Size(), 0u);
  EXPECT_FALSE(loaded.BindFilter());
}

TEST(BaseFilter, EncoderMonikerSavesAs158BytesAndLoadsBack) {
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(CreateDeviceMoniker(kEncoderName, moniker.GetAddressOf()), S_OK);
  TBaseFilter stored;
  stored.SetMoniker(moniker.Get());
  const QByteArray data = stored.WriteData();
  ASSERT_EQ(data.size(), 158);
  EXPECT_EQ(data.left(4), QByteArray::fromHex("9a000000"));  // block of 154 bytes
  // CLSID_CDeviceMoniker in the GUID layout, then N = 134 and the UTF-16LE name.
  EXPECT_EQ(data.mid(4, 16).toHex(), QByteArray("37d415438c5bd011bd3b00a0c911ce86"));
  EXPECT_EQ(data.mid(20, 4), QByteArray::fromHex("86000000"));
  EXPECT_EQ(data.mid(24, 2), QByteArray("@\0", 2));
  EXPECT_EQ(data.right(2), QByteArray(2, '\0'));

  TBaseFilter loaded;
  loaded.ReadData(data);
  ComPtr<IMoniker> back = loaded.Moniker();
  ASSERT_TRUE(back);
  EXPECT_EQ(DisplayName(back.Get()), kEncoderName);
  ComPtr<IBaseFilter> encoder = loaded.BindFilter();
  EXPECT_TRUE(encoder);
  EXPECT_NE(encoder.Get(), loaded.BindFilter().Get()) << "a new instance at every binding";
}

TEST(BaseFilter, WriteRuleAndAssign) {
  TBaseFilter a;
  a.AllocateBlock(3);
  TBaseFilter b;
  b.Assign(a);
  EXPECT_EQ(b.Block(), a.Block());
  EXPECT_TRUE(a.SameBlockAs(b));
  TBaseFilter empty1;
  TBaseFilter empty2;
  EXPECT_FALSE(empty1.SameBlockAs(empty2)) << "an empty block is always written";
  EXPECT_THROW(b.ReadData(QByteArray::fromHex("0a000000010203")), EReadError);
  EXPECT_EQ(b.Size(), 3u) << "a truncated value changes nothing";
  b.SetMoniker(nullptr);
  EXPECT_EQ(b.Size(), 0u);
}

// ---- TSysDevEnum -------------------------------------------------------------------------------

TEST(SysDevEnum, CategoriesAreListedWithTheirGuids) {
  TSysDevEnum devices;
  ASSERT_GT(devices.CategoryCount(), 0);
  bool foundCompressors = false;
  for (int i = 0; i < devices.CategoryCount(); ++i) {
    const TDeviceEntry entry = devices.CategoryAt(i);
    if (entry.CLSID == CLSID_VideoCompressorCategory) {
      foundCompressors = true;
      EXPECT_EQ(entry.FriendlyName, QStringLiteral("Video Compressors"));
      devices.SelectCategoryAt(i);
      EXPECT_EQ(devices.Category(), CLSID_VideoCompressorCategory);
    }
  }
  EXPECT_TRUE(foundCompressors);
  EXPECT_THROW(devices.CategoryAt(devices.CategoryCount()), EListError);
}

TEST(SysDevEnum, EmptyCategoryGivesNoDeviceAndNoMoniker) {
  TSysDevEnum devices(kTestCategory);  // no filter is registered in it
  EXPECT_EQ(devices.DeviceCount(), 0);
  EXPECT_FALSE(devices.DeviceMoniker(0));
  EXPECT_FALSE(devices.DeviceMoniker(-1));
  EXPECT_THROW(devices.DeviceAt(0), EListError);
}

TEST(SysDevEnum, DeviceWithoutClsidAndLongNames) {
  const std::wstring longName(300, L'x');
  // 254 ASCII letters then accented ones: the cut counts characters, not their bytes.
  const std::wstring accented = std::wstring(254, L'a') + L"\u00e9tage";
  FakeDevices fake(
      kTestCategory,
      {{L"@device:test:first", {{L"FriendlyName", L"No class"}}},
       {L"@device:test:second",
        {{L"FriendlyName", longName}, {L"CLSID", L"{1643E180-90F5-11CE-97D5-00AA0055595A}"}}},
       {L"@device:test:third", {{L"FriendlyName", accented}}}});
  TSysDevEnum devices(kTestCategory);
  ASSERT_EQ(devices.DeviceCount(), 3);
  EXPECT_EQ(devices.DeviceAt(0).FriendlyName, QStringLiteral("No class"));
  EXPECT_EQ(devices.DeviceAt(0).CLSID, GUID_NULL);
  EXPECT_EQ(devices.DeviceAt(1).FriendlyName, QString(255, QLatin1Char('x')));
  EXPECT_EQ(devices.DeviceAt(1).CLSID, CLSID_Colour);
  EXPECT_EQ(devices.DeviceAt(2).FriendlyName, QString(254, QLatin1Char('a')) + QChar(0xE9));
  ComPtr<IMoniker> second = devices.DeviceMoniker(1);
  ASSERT_TRUE(second);
  EXPECT_EQ(DisplayName(second.Get()), L"@device:test:second");
  EXPECT_FALSE(devices.DeviceMoniker(3));
}

TEST(SysDevEnum, MalformedClsidRaisesAConversionError) {
  FakeDevices fake(kTestCategory,
                   {{L"@device:test:bad", {{L"FriendlyName", L"Bad"}, {L"CLSID", L"not a guid"}}}});
  EXPECT_THROW(TSysDevEnum devices(kTestCategory), EConvertError);
}

TEST(CutToCharacters, CountsCharactersAndNeverSplitsOne) {
  const struct {
    const char16_t* text;
    int max;
    const char16_t* kept;
  } kCases[] = {
      {u"abc", 255, u"abc"},
      {u"\u00e9t\u00e9", 2, u"\u00e9t"},       // accented letters count one each
      {u"ab\U0001F600c", 3, u"ab\U0001F600"},  // a surrogate pair is one character
      {u"ab\U0001F600c", 2, u"ab"},
      {u"abe\u0301c", 3, u"ab"},  // e + combining accent: the whole letter goes
      {u"abe\u0301c", 4, u"abe\u0301"},
      {u"abc", 0, u""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(CutToCharacters(QString::fromUtf16(c.text), c.max), QString::fromUtf16(c.kept))
        << QString::fromUtf16(c.text).toStdString() << " cut to " << c.max;
  }
}
