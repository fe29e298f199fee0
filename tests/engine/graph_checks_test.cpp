// The environment checks of the data module: filters found by their category and friendly
// names, a filter bound by them, and the DirectX version text.
#include <FilterRegistry.h>
#include <uuids.h>

#include "EngineTestSupport.h"
#include "streams.h"

using namespace engine_test;

namespace {

// Filters registered for these tests only: two of one name (told apart by their class) and
// one whose name has accented letters.
DEFINE_GUID(CLSID_TwinFirst, 0x5E1D0C10, 0x7A2B, 0x4C3D, 0x9E, 0x4F, 0x10, 0x21, 0x32, 0x43, 0x54,
            0x01);
DEFINE_GUID(CLSID_TwinSecond, 0x5E1D0C10, 0x7A2B, 0x4C3D, 0x9E, 0x4F, 0x10, 0x21, 0x32, 0x43, 0x54,
            0x02);
DEFINE_GUID(CLSID_Accented, 0x5E1D0C10, 0x7A2B, 0x4C3D, 0x9E, 0x4F, 0x10, 0x21, 0x32, 0x43, 0x54,
            0x03);

template <const CLSID& kClsid>
class NoPinFilter : public CBaseFilter {
 public:
  NoPinFilter() : CBaseFilter(L"No pin", kClsid) {}
  int GetPinCount() override { return 0; }
  CBasePin* GetPin(int) override { return nullptr; }
};

FilterRecord TestRecord(const CLSID& clsid, const wchar_t* name, FilterFactory factory) {
  return {.clsid = clsid,
          .friendlyName = name,
          .category = CLSID_LegacyAmFilterCategory,
          .merit = MERIT_DO_NOT_USE,
          .inputTypes = {},
          .outputTypes = {},
          .monikerName = {},
          .factory = std::move(factory)};
}

const FilterRegistration kTwinFirst(TestRecord(CLSID_TwinFirst, L"Filtre jumeau",
                                               FilterFactoryFor<NoPinFilter<CLSID_TwinFirst>>()));
const FilterRegistration kTwinSecond(TestRecord(CLSID_TwinSecond, L"Filtre jumeau",
                                                FilterFactoryFor<NoPinFilter<CLSID_TwinSecond>>()));
const FilterRegistration kAccented(TestRecord(CLSID_Accented, L"Filtre \u00e9l\u00e9gant",
                                              FilterFactoryFor<NoPinFilter<CLSID_Accented>>()));

}  // namespace

TEST_F(EngineTest, IsFilterInstalledComparesTheNamesInAnyCaseOfAToZ) {
  const struct {
    const char16_t* category;
    const char16_t* name;
    bool installed;
  } kCases[] = {
      // The six filters the first show checks are found there (SourcesTest). Other letter case
      // of A to Z:
      {u"directshow filters", u"smart tee", true},
      {u"DIRECTSHOW FILTERS", u"SMART TEE", true},
      {u"DirectShow Filters", u"filtre \u00e9l\u00e9gant", true},
      // Only an exact match of the rest.
      {u"DirectShow Filters", u"FILTRE \u00c9L\u00c9GANT", false},
      {u"DirectShow Filters", u" Smart Tee", false},
      {u"DirectShow Filters", u"Smart Tee ", false},
      {u"DirectShow Filters ", u"Smart Tee", false},
      {u"Video Compressors", u"Smart Tee", false},
      {u"No Such Category", u"Smart Tee", false},
  };
  TdmCam& dm = Module();
  for (const auto& c : kCases) {
    const QString category = QString::fromUtf16(c.category);
    const QString name = QString::fromUtf16(c.name);
    EXPECT_EQ(dm.IsFilterInstalled(category, name), c.installed)
        << (category + QStringLiteral(" / ") + name).toStdString();
  }
}

TEST_F(EngineTest, AHiddenFilterIsNeitherFoundNorBound) {
  Simulate("hide-filter Smart Tee\n");
  TdmCam& dm = Module();
  EXPECT_FALSE(
      dm.IsFilterInstalled(QStringLiteral("DirectShow Filters"), QStringLiteral("Smart Tee")));
  const QByteArray before = dm.Deinterlacer->BaseFilter().Block();
  EXPECT_FALSE(dm.BindFilterByName(QStringLiteral("DirectShow Filters"),
                                   QStringLiteral("Smart Tee"), dm.Deinterlacer));
  EXPECT_EQ(dm.Deinterlacer->BaseFilter().Block(), before) << "the stored moniker is kept";
  EXPECT_TRUE(
      dm.IsFilterInstalled(QStringLiteral("DirectShow Filters"), QStringLiteral("DV Splitter")));
}

TEST_F(EngineTest, BindFilterByNameStoresTheFirstOfTwoNamesakes) {
  TdmCam& dm = Module();
  ASSERT_TRUE(dm.BindFilterByName(QStringLiteral("directshow filters"),
                                  QStringLiteral("FILTRE JUMEAU"), dm.Deinterlacer));
  EXPECT_EQ(DisplayName(dm.Deinterlacer->BaseFilter().Moniker().Get()),
            L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\"
            L"{5E1D0C10-7A2B-4C3D-9E4F-102132435401}");
  dm.Deinterlacer->SetFilterGraph(dm.fg);
  EXPECT_EQ(ClassOf(dm.Deinterlacer->MemberFilter()), CLSID_TwinFirst)
      << "the next joining makes exactly that filter";
  EXPECT_TRUE(FiltersInGraph().contains(QStringLiteral("Deinterlacer")));
  dm.Deinterlacer->SetFilterGraph(nullptr);

  const QByteArray bound = dm.Deinterlacer->BaseFilter().Block();
  EXPECT_FALSE(dm.BindFilterByName(QStringLiteral("DirectShow Filters"),
                                   QStringLiteral("Filtre absent"), dm.Deinterlacer));
  EXPECT_FALSE(dm.BindFilterByName(QStringLiteral("No Such Category"),
                                   QStringLiteral("Filtre jumeau"), dm.Deinterlacer));
  EXPECT_EQ(dm.Deinterlacer->BaseFilter().Block(), bound) << "a failed search changes nothing";
}

TEST_F(EngineTest, DirectXVersionTextFromTheRegistry) {
  const struct {
    const char* directive;  // registry edit of the DirectX key, or none for the platform's own
    const char* text;       // expected text; null: a conversion error is raised
  } kCases[] = {
      {nullptr, "9.0d"},  // the platform's own 4.09.00.0904
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.09.00.0904", "9.0d"},
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.08.01.0810", "8.1 "},
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.09.00.0900", "9.0 "},
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.09.00.0909", "9.0i"},
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.10.00.0901", "10.0a"},  // reads as too old
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.09.00.", "9.0 "},
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.09.00", nullptr},  // three parts
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.09", nullptr},
      {"HKLM\\Software\\Microsoft\\DirectX|Version|", nullptr},  // empty value
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.x9.00.0904", nullptr},
      {"HKLM\\Software\\Microsoft\\DirectX|Version", nullptr},  // value missing
      {"HKLM\\Software\\Microsoft\\DirectX", nullptr},          // key missing: "Erreur"
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.directive ? c.directive : "no directive");
    Simulate(c.directive ? QByteArray("registry ") + c.directive + '\n' : QByteArray());
    QString text = QStringLiteral("unchanged");
    if (c.text == nullptr) {
      EXPECT_THROW(Module().GetDirectXVersion(text), EConvertError);
      EXPECT_EQ(text, QStringLiteral("Erreur"));
    } else {
      Module().GetDirectXVersion(text);
      EXPECT_EQ(text, QString::fromLatin1(c.text));
    }
  }
}
