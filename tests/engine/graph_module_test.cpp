// The data module: its destruction, the environment checks (filters found by their category
// and friendly names, a filter bound by them, the DirectX version text), the device lists and
// the source selection. Each kind of source's classification is checked with its preview; empty
// lists with the window's source boxes.
#include <FilterRegistry.h>

#include "EngineTestSupport.h"

using namespace engine_test;

namespace {

// Filters registered for these tests only: two of one name, told apart by their class (the
// first's ends in 01), and one whose name has accented letters.
FilterRegistration Register(uint8_t last, const wchar_t* name) {
  FilterRecord record;
  record.clsid = {0x5E1D0C10, 0x7A2B, 0x4C3D, {0x9E, 0x4F, 0x10, 0x21, 0x32, 0x43, 0x54, last}};
  record.friendlyName = name;
  record.category = CLSID_LegacyAmFilterCategory;
  record.factory = FilterFactoryFor<components_test::PinlessFilter>();
  return FilterRegistration(std::move(record));
}
const FilterRegistration kFilters[] = {Register(1, L"Filtre jumeau"), Register(2, L"Filtre jumeau"),
                                       Register(3, L"Filtre \u00e9l\u00e9gant")};

}  // namespace

// One module from its making to its destruction: destroyed at the end, it stops, empties and
// deactivates the graph.
TEST_F(EngineTest, TheModuleItsChecksItsDevicesAndItsDestruction) {
  TdmCam& dm = Module();

  // IsFilterInstalled compares the names in any case of A to Z.
  const struct {
    const char16_t *category, *name;
    bool installed;
  } kCases[] = {
      // The six filters the first show checks are found there (SourcesTest). Other letter case
      // of A to Z:
      {u"directshow filters", u"smart tee", true},
      {u"DIRECTSHOW FILTERS", u"SMART TEE", true},
      {u"DirectShow Filters", u"filtre \u00e9l\u00e9gant", true},
      // Only an exact match of the rest (a missing category: the failed searches below).
      {u"DirectShow Filters", u"FILTRE \u00c9L\u00c9GANT", false},
      {u"Video Compressors", u"Smart Tee", false},
  };
  for (const auto& c : kCases) {
    const QString category = QString::fromUtf16(c.category), name = QString::fromUtf16(c.name);
    EXPECT_EQ(dm.IsFilterInstalled(category, name), c.installed)
        << (category + QStringLiteral(" / ") + name).toStdString();
  }

  // The first of two namesakes is stored, and joins the graph; a failed search changes nothing
  // (filters the machine hides: SourcesTest).
  ASSERT_TRUE(dm.BindFilterByName(QStringLiteral("directshow filters"),
                                  QStringLiteral("FILTRE JUMEAU"), dm.Deinterlacer));
  EXPECT_EQ(vt::DisplayName(dm.Deinterlacer->BaseFilter().Moniker().Get()),
            L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\"
            L"{5E1D0C10-7A2B-4C3D-9E4F-102132435401}");
  dm.Deinterlacer->SetFilterGraph(dm.fg);
  EXPECT_TRUE(FiltersInGraph().contains(QStringLiteral("Deinterlacer")));
  dm.Deinterlacer->SetFilterGraph(nullptr);

  const QByteArray bound = dm.Deinterlacer->BaseFilter().Block();
  EXPECT_FALSE(dm.BindFilterByName(QStringLiteral("DirectShow Filters"),
                                   QStringLiteral("Filtre absent"), dm.Deinterlacer));
  EXPECT_FALSE(dm.BindFilterByName(QStringLiteral("No Such Category"),
                                   QStringLiteral("Filtre jumeau"), dm.Deinterlacer));
  EXPECT_EQ(dm.Deinterlacer->BaseFilter().Block(), bound) << "a failed search changes nothing";

  // The DirectX version text from the registry.
  const struct {
    const char* directive;  // registry edit of the DirectX key, or none for the platform's own
    const char* text;       // expected text; null: a conversion error is raised
  } kVersions[] = {
      {nullptr, "9.0d"},  // the platform's own 4.09.00.0904
      // 4.08.01.0810, "8.1 ": the window's report of an old version (SourcesTest).
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.10.00.0901", "10.0a"},  // reads as too old
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.09.00.", "9.0 "},
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.09.00", nullptr},  // three parts
      {"HKLM\\Software\\Microsoft\\DirectX|Version|4.x9.00.0904", nullptr},
      {"HKLM\\Software\\Microsoft\\DirectX|Version", nullptr},  // value missing
      {"HKLM\\Software\\Microsoft\\DirectX", nullptr},          // key missing: "Erreur"
  };
  for (const auto& c : kVersions) {
    SCOPED_TRACE(c.directive ? c.directive : "no directive");
    Simulate(c.directive ? std::string("registry ") + c.directive + '\n' : std::string());
    QString text = QStringLiteral("unchanged");
    if (c.text == nullptr) {
      EXPECT_THROW(Module().GetDirectXVersion(text), EConvertError);
      EXPECT_EQ(text, QStringLiteral("Erreur"));
    } else {
      Module().GetDirectXVersion(text);
      EXPECT_EQ(text, QString::fromLatin1(c.text));
    }
  }

  // The lists in the machine's order, namesakes included (the first is bound); a name that
  // matches no device, in its whole or its case, or a device that cannot be bound, leaves the
  // source out of a graph emptied of everything but the members' filters.
  Simulate(std::string(kEveryKindMachine) + "video webcam Caméscope DV\n");
  QStringList names;
  ASSERT_TRUE(dm.ListAudioDevices(names));
  EXPECT_EQ(names, (QStringList{QStringLiteral("Micro"), QStringLiteral("Son TV")}));
  ASSERT_TRUE(dm.ListVideoDevices(names));
  ASSERT_EQ(names.size(), 9);
  EXPECT_EQ(names.front(), QStringLiteral("Caméscope DV"));
  EXPECT_EQ(names.back(), QStringLiteral("Caméscope DV"));
  ASSERT_TRUE(dm.SelectVideoDevice(QStringLiteral("Caméscope DV")));
  EXPECT_EQ(dm.VideoSourceKind, vskInterleaved) << "the camcorder, first in the list";
  ASSERT_TRUE(dm.SelectAudioDevice(QStringLiteral("Son TV")));
  EXPECT_EQ(dm.AudioSource->FilterGraph(), dm.fg);
  EXPECT_NE(dm.AudioSource->MemberFilter(), nullptr);

  dm.Smarttee->SetFilterGraph(dm.fg);
  ASSERT_EQ(Graph()->AddFilter(vt::CreateFilter(CLSID_NullRenderer).Get(), L"stranger"), S_OK);
  EXPECT_FALSE(dm.SelectAudioDevice(QStringLiteral("son tv")));
  EXPECT_EQ(dm.AudioSource->FilterGraph(), nullptr);
  for (const char* name : {"Aucune source vidéo", "En panne"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(dm.SelectVideoDevice(QString::fromUtf8(name)));
    EXPECT_EQ(dm.VideoSource->FilterGraph(), nullptr);
    EXPECT_FALSE(dm.SourcePin) << "the camcorder's pin went with the camcorder";
    EXPECT_EQ(dm.VideoSourceKind, vskNone);
    EXPECT_EQ(dm.fg->GraphState(), grsStopped);
    QStringList left = FiltersInGraph();
    left.sort();
    EXPECT_EQ(left, (QStringList{QStringLiteral("Smarttee"), QStringLiteral("sg")}));
  }
  dm.Infinite->SetFilterGraph(dm.fg);
  ASSERT_EQ(Graph()->AddFilter(vt::CreateFilter(CLSID_NullRenderer).Get(), L"stranger"), S_OK);
  ComPtr<IFilterGraph> graph = Graph();
  dm.DataModuleDestroy();
  EXPECT_FALSE(dm.fg->Active());
  EXPECT_TRUE(vt::FilterNames(graph.Get()).empty())
      << "the members left with the deactivation, the stranger with EmptyGraph";
  module_.reset();
  EXPECT_EQ(dmCam, nullptr);
}
