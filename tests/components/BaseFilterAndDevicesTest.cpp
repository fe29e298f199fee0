// TBaseFilter's stored block (the moniker's own bytes are the COM tests') and TSysDevEnum.
#include <ScopedMachine.h>

#include <QByteArray>

#include "ComponentsTestSupport.h"

using namespace components_test;

// A stored moniker reads back (the moniker and filter it gives: the filter's joining and the
// engine's form); a damaged value changes nothing; an empty block binds nothing and is always
// written ("no moniker" must survive an ancestor that has one).
TEST(BaseFilter, StoredMonikerReadsBackAndEmptyOrDamagedBlocksBindNothing) {
  const ComPtr<IMoniker> moniker = EncoderMoniker();
  TBaseFilter stored;
  stored.SetMoniker(moniker.Get());
  TBaseFilter loaded;
  loaded.AllocateBlock(8);
  loaded.ReadData(stored.WriteData());
  EXPECT_TRUE(loaded.SameBlockAs(stored));
  EXPECT_THROW(loaded.ReadData(QByteArray::fromHex("0a000000010203")), EReadError);
  EXPECT_TRUE(loaded.SameBlockAs(stored)) << "a truncated value changes nothing";

  TBaseFilter empty;
  empty.Assign(stored);
  EXPECT_TRUE(empty.SameBlockAs(stored));
  empty.ReadData(QByteArray(4, '\0'));
  EXPECT_EQ(empty.Size(), 0u);
  EXPECT_FALSE(empty.Moniker());
  EXPECT_FALSE(empty.BindFilter());
  loaded.SetMoniker(nullptr);
  EXPECT_EQ(loaded.WriteData(), QByteArray(4, '\0'));
  EXPECT_FALSE(loaded.SameBlockAs(empty)) << "an empty block is always written";
}

// The devices of a category as the platform lists them (on a simulated machine): a name cut
// to 255 characters (never inside one), a moniker for each, none past the end.
TEST(SysDevEnum, TheDevicesOfACategory) {
  const QString cut = QString(254, QLatin1Char('a')) + QChar(0xE9);
  vidorra::test::ScopedMachine machine("audio tone Micro\nvideo webcam Webcam\nvideo capture " +
                                       (cut + QStringLiteral("tage")).toStdString() + "\n");
  TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
  ASSERT_EQ(devices.DeviceCount(), 2);
  EXPECT_EQ(devices.DeviceAt(0).FriendlyName, QStringLiteral("Webcam"));
  EXPECT_NE(devices.DeviceAt(0).CLSID, GUID_NULL);
  EXPECT_EQ(devices.DeviceAt(1).FriendlyName, cut);
  EXPECT_NE(DisplayName(devices.DeviceMoniker(1).Get()),
            DisplayName(devices.DeviceMoniker(0).Get()));
  EXPECT_FALSE(devices.DeviceMoniker(2));
  EXPECT_FALSE(devices.DeviceMoniker(-1));
  EXPECT_THROW(devices.DeviceAt(2), EListError);
}

TEST(CutToCharacters, CountsCharactersAndNeverSplitsOne) {
  const struct {
    const char16_t* text;
    int max;
    const char16_t* kept;
  } kCases[] = {
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
