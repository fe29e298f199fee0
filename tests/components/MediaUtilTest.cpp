// Unit MediaUtil: error checks, media-type records and their persisted form, interface lists,
// running-object-table names.
#include <amvideo.h>

#include <QRegularExpression>
#include <cstring>

#include "Assert.h"
#include "ComponentsTestSupport.h"
#include "MediaUtil.h"

using namespace components_test;

namespace {

// The sample grabber's stored "MediaType.data": MEDIATYPE_Video, MEDIASUBTYPE_RGB24,
// bFixedSizeSamples -1, bTemporalCompression 0, lSampleSize 1, FORMAT_VideoInfo, zeros.
const QByteArray kStoredGrabberType = QByteArray::fromHex(
    "76696473000010008000"
    "00aa00389b71"
    "7deb36e44f52ce119f53"
    "0020af0ba770"
    "ffffffff"
    "00000000"
    "01000000"
    "809f580556c3ce11bf01"
    "00aa0055595a"
    "00000000"
    "00000000"
    "00000000");

std::unique_ptr<TMediaType> GrabberType() {
  auto type = TMediaType::CreateForMajorType(MEDIATYPE_Video);
  type->SetSubType(MEDIASUBTYPE_RGB24);
  type->SetFormatType(FORMAT_VideoInfo);
  return type;
}

VIDEOINFOHEADER PalRgb24Format() {
  VIDEOINFOHEADER vih{};
  vih.rcSource = {0, 0, 720, 576};
  vih.AvgTimePerFrame = 400000;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = 720;
  vih.bmiHeader.biHeight = 576;
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = 24;
  vih.bmiHeader.biSizeImage = 720 * 3 * 576;
  return vih;
}

// A filer that records what DefineProperties declares.
class RecordingFiler : public TFiler {
 public:
  explicit RecordingFiler(const TPersistent* ancestor) : ancestor_(ancestor) {}
  struct Entry {
    QString name;
    bool hasData;
    QByteArray value;
  };
  std::vector<Entry> entries;
  void Define(TPersistent& object) {
    DefinePersistent(QStringLiteral("MediaType"), object, ancestor_);
  }

 protected:
  void DoDefineProperty(const QString& name, const TextReader&, const TextWriter& write,
                        bool hasData) override {
    entries.push_back({name, hasData, write().toUtf8()});
  }
  void DoDefineBinaryProperty(const QString& name, const BinaryReader&, const BinaryWriter& write,
                              bool hasData) override {
    entries.push_back({name, hasData, write()});
  }

 private:
  const TPersistent* ancestor_;
};

}  // namespace

// ---- CheckGraphResult --------------------------------------------------------------------------

TEST(CheckGraphResult, SuccessPassesAndFailureRaisesAProgramExceptionWithTextAndCode) {
  EXPECT_EQ(CheckGraphResult(S_FALSE), 1);
  EXPECT_EQ(CheckGraphResult(S_OK), 0);
  EXPECT_EQ(CheckGraphResult(VFW_S_NO_MORE_ITEMS), VFW_S_NO_MORE_ITEMS);
  const struct {
    HRESULT hr;
    const char* code;  // eight upper-case digits
  } kCases[] = {{static_cast<HRESULT>(0x80040217), " ($80040217)."}, {E_POINTER, " ($80004003)."}};
  for (const auto& c : kCases) {
    try {
      CheckGraphResult(c.hr);
      ADD_FAILURE() << "no exception for" << c.code;
    } catch (const vidorra::Exception& raised) {
      const auto* e = dynamic_cast<const EMediaGraphException*>(&raised);
      ASSERT_NE(e, nullptr) << raised.what();
      EXPECT_EQ(e->ErrorCode(), c.hr);
      EXPECT_EQ(e->Message(), GraphErrorText(c.hr) + QLatin1String(c.code)) << e->what();
    }
  }
  EXPECT_LE(GraphErrorText(VFW_E_NOT_CONNECTED).size(), 255);
  EXPECT_LE(GraphErrorText(static_cast<HRESULT>(0x8123ABCD)).size(), 255);
}

// ---- Media-type records ----------------------------------------------------------------------

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
  ASSERT_NE(copy.pbFormat, nullptr);
  EXPECT_NE(copy.pbFormat, source.pbFormat);
  EXPECT_EQ(std::memcmp(copy.pbFormat, &vih, sizeof(vih)), 0);
  EXPECT_EQ(object->RefCountForTesting(), before + 1);
  FreeMediaTypeRecord(copy);
  EXPECT_EQ(copy.cbFormat, 0u);
  EXPECT_EQ(copy.pbFormat, nullptr);
  EXPECT_EQ(copy.pUnk, nullptr);
  EXPECT_EQ(object->RefCountForTesting(), before);
}

TEST(MediaTypeRecord, CopyWithoutBlockSharesNoPointer) {
  BYTE stray[4] = {};
  AM_MEDIA_TYPE source{};
  source.pbFormat = stray;  // cbFormat 0: the pointer means nothing
  AM_MEDIA_TYPE copy{};
  CopyMediaTypeRecord(copy, source);
  EXPECT_EQ(copy.pbFormat, nullptr);
  EXPECT_EQ(copy.cbFormat, 0u);
}

TEST(MediaTypeRecord, AssertionsGuardTheCopy) {
  AM_MEDIA_TYPE record{};
  try {
    CopyMediaTypeRecord(record, record);
    FAIL() << "no assertion";
  } catch (const vidorra::EAssertionFailed& e) {
    EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Assertion failure"))) << e.what();
    EXPECT_TRUE(e.Message().contains(QStringLiteral("MediaUtil"))) << e.what();
  }
  AM_MEDIA_TYPE broken{};
  broken.cbFormat = 16;  // a length without a block
  AM_MEDIA_TYPE dest{};
  EXPECT_THROW(CopyMediaTypeRecord(dest, broken), vidorra::EAssertionFailed);
}

// ---- TMediaType --------------------------------------------------------------------------------

// The two pointer slots (offsets 60 and 68) mean nothing once read.
TEST(MediaTypePersistence, Stored72BytesReadBackWithoutFormatBlock) {
  TMediaType type;
  const VIDEOINFOHEADER vih = PalRgb24Format();
  type.SetFormat(&vih, sizeof(vih));  // replaced by the read
  QByteArray data = kStoredGrabberType;
  data.replace(60, 4, QByteArray::fromHex("deadbeef"));
  data.replace(68, 4, QByteArray::fromHex("cafef00d"));
  type.ReadData(data);
  EXPECT_EQ(type.FormatLength(), 0u);
  EXPECT_EQ(type.AmMediaType()->pbFormat, nullptr);
  EXPECT_EQ(type.AmMediaType()->pUnk, nullptr);
  EXPECT_EQ(type.MajorType(), MEDIATYPE_Video);
  EXPECT_EQ(type.SubType(), MEDIASUBTYPE_RGB24);
  EXPECT_EQ(type.FormatType(), FORMAT_VideoInfo);
  EXPECT_EQ(type.AmMediaType()->bFixedSizeSamples, -1);
  EXPECT_EQ(type.AmMediaType()->lSampleSize, 1u);
  EXPECT_TRUE(type.SameAs(GrabberType().get()));
}

TEST(MediaTypePersistence, FormatBlockOf88BytesGivesA160ByteValueThatReadsBackSameAs) {
  auto saved = GrabberType();
  const VIDEOINFOHEADER vih = PalRgb24Format();
  saved->SetFormat(&vih, sizeof(vih));
  const QByteArray data = saved->WriteData();
  ASSERT_EQ(data.size(), 160);
  // cbFormat at offset 64; the two pointer slots are zero although a block is held.
  EXPECT_EQ(data.mid(64, 4), QByteArray::fromHex("58000000"));
  EXPECT_EQ(data.mid(60, 4), QByteArray(4, '\0'));
  EXPECT_EQ(data.mid(68, 4), QByteArray(4, '\0'));
  EXPECT_EQ(std::memcmp(data.constData() + 72, &vih, sizeof(vih)), 0);

  TMediaType loaded;
  loaded.ReadData(data);
  EXPECT_EQ(loaded.FormatLength(), 88u);
  EXPECT_TRUE(loaded.SameAs(saved.get()));
  EXPECT_NE(loaded.AmMediaType()->pbFormat, saved->AmMediaType()->pbFormat);
}

TEST(MediaTypePersistence, TruncatedValueRaisesAndLeavesTheTypeAlone) {
  auto type = GrabberType();
  EXPECT_THROW(type->ReadData(kStoredGrabberType.left(71)), EReadError);
  QByteArray promisesBlock = kStoredGrabberType;
  promisesBlock.replace(64, 4, QByteArray::fromHex("58000000"));  // 88 bytes announced
  promisesBlock.append(QByteArray(10, '\x01'));                   // 10 present
  EXPECT_THROW(type->ReadData(promisesBlock), EReadError);
  EXPECT_TRUE(type->SameAs(GrabberType().get()));
  EXPECT_EQ(type->FormatLength(), 0u);
}

TEST(MediaTypePersistence, DataIsWrittenUnlessTheAncestorIsSameAs) {
  auto type = GrabberType();
  RecordingFiler alone(nullptr);
  alone.Define(*type);
  ASSERT_EQ(alone.entries.size(), 1u);
  EXPECT_EQ(alone.entries[0].name, QStringLiteral("MediaType.data"));
  EXPECT_TRUE(alone.entries[0].hasData);
  EXPECT_EQ(alone.entries[0].value, kStoredGrabberType);

  auto same = GrabberType();
  same->AmMediaType()->lSampleSize = 4;  // not compared
  RecordingFiler withSame(same.get());
  withSame.Define(*type);
  EXPECT_FALSE(withSame.entries.at(0).hasData);

  auto other = GrabberType();
  other->SetSubType(MEDIASUBTYPE_RGB32);
  RecordingFiler withOther(other.get());
  withOther.Define(*type);
  EXPECT_TRUE(withOther.entries.at(0).hasData);
}

TEST(MediaType, SameAsComparesTypesAndFormatBlockOnly) {
  auto a = GrabberType();
  auto b = GrabberType();
  b->AmMediaType()->bFixedSizeSamples = 0;
  b->AmMediaType()->bTemporalCompression = 1;
  b->AmMediaType()->lSampleSize = 1234;
  EXPECT_TRUE(a->SameAs(b.get()));
  EXPECT_FALSE(a->SameAs(nullptr));
  VIDEOINFOHEADER vih = PalRgb24Format();
  a->SetFormat(&vih, sizeof(vih));
  EXPECT_FALSE(a->SameAs(b.get()));
  b->SetFormat(&vih, sizeof(vih));
  EXPECT_TRUE(a->SameAs(b.get()));
  vih.bmiHeader.biHeight = -576;
  b->SetFormat(&vih, sizeof(vih));
  EXPECT_FALSE(a->SameAs(b.get()));
  b->SetFormatType(FORMAT_VideoInfo2);
  EXPECT_FALSE(b->SameAs(GrabberType().get()));
}

TEST(MediaType, AssignCopiesDeeplyIgnoresItselfAndRefusesAnotherKind) {
  auto source = GrabberType();
  const VIDEOINFOHEADER vih = PalRgb24Format();
  source->SetFormat(&vih, sizeof(vih));
  TMediaType dest;
  dest.Assign(*source);
  EXPECT_TRUE(dest.SameAs(source.get()));
  EXPECT_NE(dest.AmMediaType()->pbFormat, source->AmMediaType()->pbFormat);
  source->ResetFormat();
  EXPECT_EQ(source->FormatLength(), 0u);
  EXPECT_EQ(source->AmMediaType()->pbFormat, nullptr);
  EXPECT_EQ(dest.FormatLength(), 88u);
  dest.Assign(dest);
  EXPECT_EQ(dest.FormatLength(), 88u);
  class Other : public TPersistent {};
  Other other;
  EXPECT_THROW(dest.Assign(other), EConvertError);
}

// ---- Interface lists ---------------------------------------------------------------------------

TEST(InterfaceLists, NullObjectsGiveEmptyLists) {
  EXPECT_EQ(TFilterList::CreateFromGraph(nullptr).Count(), 0);
  EXPECT_EQ(TPinList::CreateFromFilter(nullptr).Count(), 0);
  const TPinList pins = TPinList::CreateFromFilter(MakeComObject<PinlessFilter>().Get());
  EXPECT_EQ(pins.Count(), 0);
  EXPECT_THROW(pins.PinAt(0), EListError);
}

TEST(InterfaceLists, FilterListFollowsTheGraphsEnumeration) {
  ComPtr<IFilterGraph> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(graph.GetAddressOf())),
            S_OK);
  EXPECT_EQ(TFilterList::CreateFromGraph(graph.Get()).Count(), 0);

  const wchar_t* names[] = {L"First", L"Second", L"Third"};
  std::vector<ComPtr<IBaseFilter>> added;
  for (const wchar_t* name : names) {
    added.emplace_back(MakeComObject<PinlessFilter>());
    ASSERT_TRUE(SUCCEEDED(graph->AddFilter(added.back().Get(), name)));
  }
  std::vector<IBaseFilter*> enumerated;
  ComPtr<IEnumFilters> filters;
  ASSERT_EQ(graph->EnumFilters(filters.GetAddressOf()), S_OK);
  for (ComPtr<IBaseFilter> f; filters->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    enumerated.push_back(f.Get());
  }
  const TFilterList list = TFilterList::CreateFromGraph(graph.Get());
  ASSERT_EQ(list.Count(), 3);
  for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.FilterAt(i).Get(), enumerated[i]);
  QStringList listed;
  for (int i = 0; i < list.Count(); ++i) listed << list.FilterNameAt(i);
  listed.sort();
  EXPECT_EQ(listed, (QStringList{"First", "Second", "Third"}));
  FILTER_INFO info{};
  list.FilterInfoAt(0, info);
  EXPECT_EQ(info.pGraph, graph.Get());
  if (info.pGraph) info.pGraph->Release();
  EXPECT_THROW(list.FilterAt(3), EListError);
  EXPECT_THROW(list.FilterAt(-1), EListError);
}

TEST(InterfaceLists, AddAndRemoveByIdentity) {
  TFilterList list;
  ComPtr<IBaseFilter> a = MakeComObject<PinlessFilter>();
  ComPtr<IBaseFilter> b = MakeComObject<PinlessFilter>();
  EXPECT_EQ(list.Add(a.Get()), 0);
  EXPECT_EQ(list.Add(b.Get()), 1);
  EXPECT_EQ(list.Remove(a.Get()), 0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.FilterAt(0).Get(), b.Get());
  EXPECT_EQ(list.Remove(a.Get()), -1);
}

// ---- Running object table ----------------------------------------------------------------------

TEST(RunningObjectTable, NameCarriesTheWholeAddress) {
  const auto* high = reinterpret_cast<const void*>(uintptr_t{0x00007F12ABCD1234});
  const auto* other = reinterpret_cast<const void*>(uintptr_t{0x00007F13ABCD1234});
  const QString name = GraphRotName(high);
  const QRegularExpression pattern(QStringLiteral("^FilterGraph ([0-9A-F]{16}) pid ([0-9A-F]+)$"));
  const auto match = pattern.match(name);
  ASSERT_TRUE(match.hasMatch()) << name.toStdString();
  EXPECT_EQ(match.captured(1), QStringLiteral("00007F12ABCD1234"));
  EXPECT_EQ(match.captured(2), QString::number(GetCurrentProcessId(), 16).toUpper());
  EXPECT_NE(GraphRotName(other), name);
}

TEST(RunningObjectTable, RegisterAndRevoke) {
  ComPtr<IBaseFilter> object = MakeComObject<PinlessFilter>();
  DWORD cookie = 0;
  const HRESULT hr = RegisterGraphInRot(object.Get(), &cookie);
  ASSERT_EQ(hr, S_OK);
  EXPECT_NE(cookie, 0u);
  ComPtr<IRunningObjectTable> table;
  ASSERT_EQ(GetRunningObjectTable(0, table.GetAddressOf()), S_OK);
  ComPtr<IMoniker> name;
  const std::wstring text = GraphRotName(object.Get()).toStdWString();
  ASSERT_EQ(CreateItemMoniker(L"!", text.c_str(), name.GetAddressOf()), S_OK);
  EXPECT_EQ(table->IsRunning(name.Get()), S_OK);
  RevokeGraphFromRot(cookie);
  EXPECT_NE(table->IsRunning(name.Get()), S_OK);
}
