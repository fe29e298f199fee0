// Test filters of the capture graph builder suite (see capture_builder_test_filters.h).
#include "capture_builder_test_filters.h"

#include <CaptureGraphBuilder.h>
#include <amvideo.h>

#include <algorithm>
#include <cstring>

namespace vidorra::test::capture_builder {

// {6C2E1A10-5B7D-4E2A-9C41-0F3D2B7A9E01} and neighbours: classes of the test filters.
DEFINE_GUID(CLSID_TestTableFilter, 0x6C2E1A10, 0x5B7D, 0x4E2A, 0x9C, 0x41, 0x0F, 0x3D, 0x2B, 0x7A,
            0x9E, 0x01);
const CLSID CLSID_TestCrossbar = {
    0x6C2E1A11, 0x5B7D, 0x4E2A, {0x9C, 0x41, 0x0F, 0x3D, 0x2B, 0x7A, 0x9E, 0x01}};
const CLSID CLSID_TestTvTuner = {
    0x6C2E1A12, 0x5B7D, 0x4E2A, {0x9C, 0x41, 0x0F, 0x3D, 0x2B, 0x7A, 0x9E, 0x01}};
const CLSID CLSID_TestTvAudio = {
    0x6C2E1A13, 0x5B7D, 0x4E2A, {0x9C, 0x41, 0x0F, 0x3D, 0x2B, 0x7A, 0x9E, 0x01}};
// The medium set of the test cards' wires.
DEFINE_GUID(kTestMediumSet, 0x6C2E1A20, 0x5B7D, 0x4E2A, 0x9C, 0x41, 0x0F, 0x3D, 0x2B, 0x7A, 0x9E,
            0x01);

namespace {

constexpr LONG kVideoWidth = 320;
constexpr LONG kVideoHeight = 240;
constexpr REFERENCE_TIME kFrameTime25Fps = 400000;
constexpr WORD kYuy2BitsPerPixel = 16;
constexpr DWORD kYuy2FourCc = 0x32595559;
constexpr DWORD kSampleRate = 48000;
constexpr WORD kChannels = 2;
constexpr WORD kBitsPerSample = 16;
constexpr ULONG kPalDvFrameBytes = 144000;
constexpr long kTestBufferBytes = 1 << 16;
// AAUX/VAUX source packs of a PAL camcorder stream (48 kHz audio, 625/50 system).
constexpr DVINFO kPalDvInfo = {0xD1C0C000, 0xFFFF0000, 0xD1C0C000, 0xFFFF0000,
                               0xFF20FFFF, 0xFFFFFF3F, {0, 0}};

bool TypeMatches(const PinType& wanted, const CMediaType& type) {
  if (type.majortype != wanted.major) return false;
  return wanted.subtype == GUID_NULL || type.subtype == wanted.subtype;
}

// The pin behaviour shared by inputs and outputs: types from the table, the medium through
// IKsPropertySet, and IAMStreamConfig when asked for.
template <class Base>
class TablePin : public Base, public IAMStreamConfig {
 public:
  TablePin(CBaseFilter* filter, PinDesc description)
      : Base(filter, description.name), spec_(std::move(description)) {
    if (spec_.category) this->SetPinCategory(*spec_.category);
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return Base::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return Base::Release(); }
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IKsPropertySet && spec_.medium) {
      return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
    }
    if (riid == IID_IAMStreamConfig && spec_.streamConfig) {
      return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    }
    return Base::NonDelegatingQueryInterface(riid, ppv);
  }

  STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceBytes, LPVOID data,
                   DWORD dataBytes, DWORD* returned) override {
    if (set == AMPROPSETID_Pin && id == AMPROPERTY_PIN_MEDIUM && spec_.medium) {
      if (returned) *returned = sizeof(KSPIN_MEDIUM);
      if (!data || dataBytes < sizeof(KSPIN_MEDIUM)) return E_POINTER;
      std::memcpy(data, &*spec_.medium, sizeof(KSPIN_MEDIUM));
      return S_OK;
    }
    return Base::Get(set, id, instance, instanceBytes, data, dataBytes, returned);
  }

  HRESULT CheckMediaType(const CMediaType* mt) override {
    if (spec_.types.empty()) return spec_.direction == PINDIR_INPUT ? S_OK : S_FALSE;
    for (const PinType& type : spec_.types) {
      if (TypeMatches(type, *mt)) return S_OK;
    }
    return S_FALSE;
  }
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position < 0 || static_cast<size_t>(position) >= spec_.types.size()) {
      return VFW_S_NO_MORE_ITEMS;
    }
    *mt = MakeMediaType(spec_.types[position]);
    return S_OK;
  }

  // IAMStreamConfig: only found by the builder's look-ups, never called.
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE**) override { return E_NOTIMPL; }
  STDMETHODIMP GetNumberOfCapabilities(int*, int*) override { return E_NOTIMPL; }
  STDMETHODIMP GetStreamCaps(int, AM_MEDIA_TYPE**, BYTE*) override { return E_NOTIMPL; }

 protected:
  const PinDesc spec_;
};

class TableOutputPin : public TablePin<CBaseOutputPin> {
 public:
  using TablePin::TablePin;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    return DecideBuffers(allocator, *request, {.buffers = 1, .bytes = kTestBufferBytes});
  }
};

class TableInputPin : public TablePin<CBaseInputPin> {
 public:
  using TablePin::TablePin;
};

// One analogue pin of a card's front end, joined to its partner on the medium when given.
PinDesc Analog(std::wstring name, PIN_DIRECTION direction, std::optional<KSPIN_MEDIUM> medium,
               const GUID& major) {
  return {std::move(name), direction, std::nullopt, medium, {{major, MEDIASUBTYPE_None}}};
}

ComPtr<IBaseFilter> MakeFrontEndFilter(const wchar_t* name, REFCLSID clsid,
                                       const std::vector<PinDesc>& pins) {
  return ComPtr<IBaseFilter>(MakeComObject<TableFilter>(name, clsid, pins).Get());
}

// The builder only looks the crossbar up by interface: its routing is never called here.
class TestCrossbar : public TableFilter, public IAMCrossbar {
 public:
  explicit TestCrossbar(const FrontEndMediums& m)
      : TableFilter(
            L"Test Crossbar", CLSID_TestCrossbar,
            {Analog(L"Video Tuner In", PINDIR_INPUT, m.tunerVideoToCrossbar, MEDIATYPE_AnalogVideo),
             Analog(L"Video Composite In", PINDIR_INPUT, std::nullopt, MEDIATYPE_AnalogVideo),
             Analog(L"Audio Tuner In", PINDIR_INPUT, m.tvAudioToCrossbar, MEDIATYPE_AnalogAudio),
             Analog(L"Video Decoder Out", PINDIR_OUTPUT, m.crossbarToCapture,
                    MEDIATYPE_AnalogVideo),
             Analog(L"Audio Decoder Out", PINDIR_OUTPUT, std::nullopt, MEDIATYPE_AnalogAudio)}) {}

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAMCrossbar) return GetInterface(static_cast<IAMCrossbar*>(this), ppv);
    return TableFilter::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP get_PinCounts(long*, long*) override { return E_NOTIMPL; }
  STDMETHODIMP CanRoute(long, long) override { return E_NOTIMPL; }
  STDMETHODIMP Route(long, long) override { return E_NOTIMPL; }
  STDMETHODIMP get_IsRoutedTo(long, long*) override { return E_NOTIMPL; }
  STDMETHODIMP get_CrossbarPinInfo(BOOL, long, long*, long*) override { return E_NOTIMPL; }
};

std::vector<PinDesc> OutputOf(const std::wstring& name, const GUID& category, PinType type,
                              bool streamConfig) {
  return {{name, PINDIR_OUTPUT, category, std::nullopt, {type}, streamConfig}};
}

const PinType kYuy2{MEDIATYPE_Video, MEDIASUBTYPE_YUY2};

ComPtr<TableFilter> MakeTable(const std::wstring& name, const std::vector<PinDesc>& pins) {
  return MakeComObject<TableFilter>(name, CLSID_TestTableFilter, pins);
}

}  // namespace

CMediaType MakeMediaType(const PinType& type) {
  CMediaType mt(&type.major);
  mt.SetSubtype(&type.subtype);
  if (type.major == MEDIATYPE_Video) {
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    info->AvgTimePerFrame = kFrameTime25Fps;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = kVideoWidth;
    info->bmiHeader.biHeight = kVideoHeight;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = kYuy2BitsPerPixel;
    info->bmiHeader.biCompression = kYuy2FourCc;
    info->bmiHeader.biSizeImage = kVideoWidth * kVideoHeight * kYuy2BitsPerPixel / 8;
    mt.SetSampleSize(info->bmiHeader.biSizeImage);
  } else if (type.major == MEDIATYPE_Audio) {
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    auto* wave = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    wave->wFormatTag = WAVE_FORMAT_PCM;
    wave->nChannels = kChannels;
    wave->nSamplesPerSec = kSampleRate;
    wave->wBitsPerSample = kBitsPerSample;
    wave->nBlockAlign = kChannels * kBitsPerSample / 8;
    wave->nAvgBytesPerSec = kSampleRate * wave->nBlockAlign;
    mt.SetSampleSize(wave->nBlockAlign);
  } else if (type.major == MEDIATYPE_Interleaved) {
    mt.SetFormatType(&FORMAT_DvInfo);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&kPalDvInfo), sizeof(DVINFO));
    mt.SetSampleSize(kPalDvFrameBytes);
  } else {
    mt.SetFormatType(&FORMAT_None);
  }
  return mt;
}

TableFilter::TableFilter(std::wstring name, REFCLSID clsid, const std::vector<PinDesc>& pins)
    : CBaseFilter(std::move(name), clsid) {
  for (const PinDesc& pin : pins) {
    if (pin.direction == PINDIR_INPUT) {
      pins_.push_back(std::make_unique<TableInputPin>(this, pin));
    } else {
      pins_.push_back(std::make_unique<TableOutputPin>(this, pin));
    }
  }
}

TableFilter::~TableFilter() = default;

int TableFilter::GetPinCount() { return static_cast<int>(pins_.size()); }

CBasePin* TableFilter::GetPin(int n) {
  return n >= 0 && n < GetPinCount() ? pins_[static_cast<size_t>(n)].get() : nullptr;
}

IPin* TableFilter::Pin(const std::wstring& name) {
  for (const auto& pin : pins_) {
    if (pin->Name() == name) return pin.get();
  }
  return nullptr;
}

ComPtr<TableFilter> MakeWebcam() {
  std::vector<PinDesc> pins = OutputOf(L"Capture", PIN_CATEGORY_CAPTURE, kYuy2, true);
  pins.push_back(OutputOf(L"Preview", PIN_CATEGORY_PREVIEW, kYuy2, true).front());
  return MakeTable(L"Test Webcam", pins);
}

ComPtr<TableFilter> MakeCaptureOnly() {
  return MakeTable(L"Test Capture", OutputOf(L"Capture", PIN_CATEGORY_CAPTURE, kYuy2, true));
}

ComPtr<TableFilter> MakeDvCamcorder() {
  return MakeTable(L"Test DV", OutputOf(L"DV Vid Out", PIN_CATEGORY_CAPTURE,
                                        {MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}, true));
}

ComPtr<TableFilter> MakeVideoPortSource() {
  std::vector<PinDesc> pins = OutputOf(L"Capture", PIN_CATEGORY_CAPTURE, kYuy2, true);
  pins.push_back(OutputOf(L"VP", PIN_CATEGORY_VIDEOPORT, kYuy2, false).front());
  return MakeTable(L"Test Video Port", pins);
}

ComPtr<TableFilter> MakeTvCard(const KSPIN_MEDIUM& analogIn) {
  std::vector<PinDesc> pins = OutputOf(L"Capture", PIN_CATEGORY_CAPTURE, kYuy2, true);
  pins.insert(pins.begin(),
              Analog(L"Analog Video In", PINDIR_INPUT, analogIn, MEDIATYPE_AnalogVideo));
  pins.front().category = PIN_CATEGORY_ANALOGVIDEOIN;
  return MakeTable(L"Test TV Card", pins);
}

ComPtr<TableFilter> MakeAudioSource() {
  return MakeTable(L"Test Audio", OutputOf(L"Capture", PIN_CATEGORY_CAPTURE,
                                           {MEDIATYPE_Audio, MEDIASUBTYPE_PCM}, true));
}

ComPtr<TableFilter> MakeSink(const std::wstring& name, std::vector<PinType> accepted) {
  return MakeTable(name, {{L"In", PINDIR_INPUT, std::nullopt, std::nullopt, std::move(accepted)}});
}

ComPtr<TableFilter> MakeTeeLookalike() {
  return MakeComObject<TableFilter>(
      L"Tee lookalike", CLSID_SmartTee,
      std::vector<PinDesc>{{L"Input", PINDIR_INPUT, std::nullopt, std::nullopt, {}},
                           {L"Capture", PINDIR_OUTPUT, std::nullopt, std::nullopt, {kYuy2}},
                           {L"Preview", PINDIR_OUTPUT, std::nullopt, std::nullopt, {kYuy2}}});
}

ComPtr<TableFilter> MakeVideoTransform(const std::wstring& name, const GUID& outSubtype) {
  return MakeTable(
      name, {{L"In", PINDIR_INPUT, std::nullopt, std::nullopt, {{MEDIATYPE_Video}}},
             {L"Out", PINDIR_OUTPUT, std::nullopt, std::nullopt, {{MEDIATYPE_Video, outSubtype}}}});
}

FrontEndMediums MediumsOfCard(DWORD card) {
  constexpr DWORD kWiresPerCard = 16;
  const DWORD base = card * kWiresPerCard;
  return {{kTestMediumSet, base + 1, 0},
          {kTestMediumSet, base + 2, 0},
          {kTestMediumSet, base + 3, 0},
          {kTestMediumSet, base + 4, 0}};
}

ComPtr<IBaseFilter> MakeCrossbar(const FrontEndMediums& mediums) {
  return ComPtr<IBaseFilter>(MakeComObject<TestCrossbar>(mediums).Get());
}

ComPtr<IBaseFilter> MakeTvTuner(const FrontEndMediums& m) {
  return MakeFrontEndFilter(
      L"Test TV Tuner", CLSID_TestTvTuner,
      {Analog(L"Analog Video", PINDIR_OUTPUT, m.tunerVideoToCrossbar, MEDIATYPE_AnalogVideo),
       Analog(L"Analog Audio", PINDIR_OUTPUT, m.tunerAudioToTvAudio, MEDIATYPE_AnalogAudio)});
}

ComPtr<IBaseFilter> MakeTvAudio(const FrontEndMediums& m) {
  return MakeFrontEndFilter(
      L"Test TV Audio", CLSID_TestTvAudio,
      {Analog(L"TVAudio In", PINDIR_INPUT, m.tunerAudioToTvAudio, MEDIATYPE_AnalogAudio),
       Analog(L"TVAudio Out", PINDIR_OUTPUT, m.tvAudioToCrossbar, MEDIATYPE_AnalogAudio)});
}

// ---- Fixtures and graph helpers ----------------------------------------------------------

void CaptureBuilderTest::SetUp() {
  vidorra::dshow::EnsureCaptureGraphBuilderRegistered();
  ASSERT_EQ(S_OK,
            CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                             IID_ICaptureGraphBuilder2, builder_.ReleaseAndGetVoidAddressOf()));
}

void CaptureBuilderGraphTest::SetUp() {
  CaptureBuilderTest::SetUp();
  if (HasFatalFailure()) return;
  graph_ = NewGraph();
  ASSERT_EQ(S_OK, builder_->SetFiltergraph(graph_.Get()));
}

void CaptureBuilderGraphTest::Add(IBaseFilter* filter, const wchar_t* name) {
  ASSERT_TRUE(SUCCEEDED(graph_->AddFilter(filter, name)));
}

int CaptureBuilderGraphTest::FilterCount() {
  return static_cast<int>(FilterNames(graph_.Get()).size());
}

ComPtr<IBaseFilter> CaptureBuilderGraphTest::FindByName(const wchar_t* name) {
  ComPtr<IBaseFilter> filter;
  if (FAILED(graph_->FindFilterByName(name, filter.GetAddressOf()))) return nullptr;
  return filter;
}

ComPtr<IPin> PeerOf(IPin* pin) {
  ComPtr<IPin> peer;
  if (!pin || pin->ConnectedTo(peer.GetAddressOf()) != S_OK) return nullptr;
  return peer;
}

ComPtr<IBaseFilter> OwnerOf(IPin* pin) {
  PIN_INFO info{};
  if (!pin || FAILED(pin->QueryPinInfo(&info))) return nullptr;
  ComPtr<IBaseFilter> owner;
  owner.Attach(info.pFilter);
  return owner;
}

std::wstring NameInGraph(IBaseFilter* filter) {
  FILTER_INFO info{};
  if (!filter || FAILED(filter->QueryFilterInfo(&info))) return {};
  if (info.pGraph) info.pGraph->Release();
  return info.achName;
}

CLSID ClassOf(IBaseFilter* filter) {
  CLSID clsid = GUID_NULL;
  if (filter) filter->GetClassID(&clsid);
  return clsid;
}

bool AreConnected(IPin* output, IPin* input) {
  ComPtr<IPin> peer = PeerOf(output);
  return peer && IsSameObject(peer.Get(), input);
}

}  // namespace vidorra::test::capture_builder
