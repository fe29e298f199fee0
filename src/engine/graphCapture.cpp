// TdmCam's recording graphs: the AVI multiplexer and file writer on the output file, the
// video of each format, the sound streams through the Infinite Pin Tees, and the cut.
#include <uuids.h>

#include <memory>

#include "MediaUtil.h"
#include "graph.h"
#include "graphSupport.h"

using graph_support::FilterOfPin;
using graph_support::FindFilterNamed;
using graph_support::PinOf;
using graph_support::Require;

namespace {

const QString kDvSplitterName = QStringLiteral("DV Splitter");
// The multiplexer's stream the others follow: the picture, the first sound stream, or none.
constexpr LONG kVideoMasterStream = 0;
constexpr LONG kAudioMasterStream = 1;
constexpr LONG kNoMasterStream = -1;
constexpr wchar_t kLockedSoundProperty[] = L"locked";
// Pins of the Smart Tee and of the Color Space Converter, in their order.
constexpr int kTeeInput = 0;
constexpr int kTeeCapture = 1;
constexpr int kTeePreview = 2;
constexpr int kConverterInput = 0;
constexpr int kConverterOutput = 1;
// The DV Splitter's video output.
constexpr int kSplitterVideo = 1;

// Connects `output` to the preview chain's `head` again. The chain downstream of the head was
// built for the type the head had: when the new output does not settle on a type by itself,
// it is offered that one.
void ReconnectHead(IPin* output, IPin* head, const AM_MEDIA_TYPE& previous) {
  if (SUCCEEDED(output->Connect(head, nullptr))) return;
  output->Connect(head, &previous);
}

// With sound recorded, the streams follow the first sound stream, except a DV camcorder's
// picture, which keeps its system's exact rate: the streams follow it (its own sound is locked
// to it, a separate device's is stretched to it).
LONG MasterStream(bool withAudio, bool dvPicture) {
  if (!withAudio) return kNoMasterStream;
  return dvPicture ? kVideoMasterStream : kAudioMasterStream;
}

// Tells the multiplexer that the sound it takes from `tee` belongs to the picture's frames (a DV
// camcorder's sound): placed by its time stamps, the sound of a frame the camcorder lost is
// filled with silence, so that picture and sound keep in step at the picture's rate.
void LockSoundToPicture(IBaseFilter* tee, IBaseFilter* mux) {
  const TPinList pins = TPinList::CreateFromFilter(tee);
  for (int i = 0; i < pins.Count(); ++i) {
    ComPtr<IPin> peer;
    if (FAILED(pins.PinAt(i)->ConnectedTo(peer.GetAddressOf()))) continue;
    if (FilterOfPin(peer.Get()).Get() != mux) continue;
    ComPtr<IPropertyBag> bag;
    CheckGraphResult(peer->QueryInterface(IID_IPropertyBag, bag.ReleaseAndGetVoidAddressOf()));
    VARIANT locked{};
    locked.vt = VT_BOOL;
    locked.boolVal = VARIANT_TRUE;
    CheckGraphResult(bag->Write(kLockedSoundProperty, &locked));
  }
}

}  // namespace

bool TdmCam::OpenCapture(ICaptureGraphBuilder2* builder, const QString& path, bool strict,
                         bool withAudio, bool dvPicture) {
  AviMux.Reset();
  FileSink.Reset();
  const std::wstring file = path.toStdWString();
  const HRESULT hr = builder->SetOutputFileName(&MEDIASUBTYPE_Avi, file.c_str(),
                                                AviMux.GetAddressOf(), FileSink.GetAddressOf());
  if (strict ? FAILED(hr) : hr != S_OK) return false;
  ComPtr<IConfigAviMux> mux;
  CheckGraphResult(AviMux->QueryInterface(IID_IConfigAviMux, mux.ReleaseAndGetVoidAddressOf()));
  CheckGraphResult(mux->SetOutputCompatibilityIndex(TRUE));
  CheckGraphResult(mux->SetMasterStream(MasterStream(withAudio, dvPicture)));
  JoinDeinterlacer();
  return true;
}

void TdmCam::AddAudioStream(ICaptureGraphBuilder2* builder, IBaseFilter* source, TFilter* tee) {
  ComPtr<IPin> output;
  CheckGraphResult(builder->FindPin(source, PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, FALSE, 0,
                                    output.GetAddressOf()));
  // The preview's listening renderer gives the pin up to the tee.
  ComPtr<IPin> peer;
  if (SUCCEEDED(output->ConnectedTo(peer.GetAddressOf()))) {
    CheckGraphResult(Graph()->RemoveFilter(FilterOfPin(peer.Get()).Get()));
  }
  tee->SetFilterGraph(fg);
  // A recording asked to carry this sound must not start without it.
  CheckGraphResult(builder->RenderStream(nullptr, &MEDIATYPE_Audio, source,
                                         Require<IBaseFilter>(tee).Get(), AviMux.Get()));
}

void TdmCam::CloseCapture(ICaptureGraphBuilder2* builder) {
  if (RecordAudioSource) {
    AddAudioStream(builder, Require<IBaseFilter>(AudioSource).Get(), Infinite2);
  }
  MonitorDVAudio(ListenDVAudio);
  MonitorAudioSource(ListenAudioSource);
}

bool TdmCam::BuildNativeCaptureGraph(const QString& path, IBaseFilter* renderer) {
  try {
    ResetGraph();
    PreviewResolution = ChoosePreviewResolution();
    ComPtr<ICaptureGraphBuilder2> builder = Require<ICaptureGraphBuilder2>(fg);
    if (!OpenCapture(builder.Get(), path, false, RecordAudioSource,
                     VideoSourceKind == vskInterleaved)) {
      return false;
    }
    const ComPtr<IBaseFilter> deinterlacer = JoinDeinterlacer();
    const ComPtr<IBaseFilter> grabber = Require<IBaseFilter>(sg);
    HRESULT hr = S_OK;
    switch (VideoSourceKind) {
      case vskInterleaved:
      case vskPreview:
      case vskCapture: {
        const GUID* type =
            VideoSourceKind == vskInterleaved ? &MEDIATYPE_Interleaved : &MEDIATYPE_Video;
        const ComPtr<IBaseFilter> source = Require<IBaseFilter>(VideoSource);
        builder->RenderStream(&PIN_CATEGORY_PREVIEW, type, source.Get(), deinterlacer.Get(),
                              grabber.Get());
        hr =
            builder->RenderStream(&PIN_CATEGORY_CAPTURE, type, source.Get(), nullptr, AviMux.Get());
        break;
      }
      case vskVideoPort: {
        Smarttee->SetFilterGraph(fg);
        const ComPtr<IBaseFilter> tee = Require<IBaseFilter>(Smarttee);
        hr = builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr,
                                   Require<IBaseFilter>(VideoSource).Get(), nullptr, tee.Get());
        if (FAILED(hr)) return false;
        builder->RenderStream(&PIN_CATEGORY_PREVIEW, nullptr, tee.Get(), deinterlacer.Get(),
                              grabber.Get());
        hr =
            builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, tee.Get(), nullptr, AviMux.Get());
        break;
      }
      default:
        break;  // no video: the recording carries the sound alone
    }
    if (FAILED(hr)) return false;
    ApplyPreviewResolution();
    color->SetFilterGraph(fg);
    builder->RenderStream(nullptr, nullptr, grabber.Get(), Require<IBaseFilter>(color).Get(),
                          renderer);
    CloseCapture(builder.Get());
    return true;
  } catch (...) {
    return false;
  }
}

bool TdmCam::BuildDVType2CaptureGraph(const QString& path) {
  try {
    if (VideoSourceKind != vskInterleaved) return false;
    ComPtr<ICaptureGraphBuilder2> builder = Require<ICaptureGraphBuilder2>(fg);
    const ComPtr<IFilterGraph> graph = Graph();
    // Looked for before the output is opened, so that a graph without the splitter leaves no
    // empty file behind.
    const ComPtr<IBaseFilter> splitter = FindFilterNamed(graph.Get(), kDvSplitterName);
    if (!splitter) return false;
    if (!OpenCapture(builder.Get(), path, false, RecordDVAudio, true)) return false;
    const ComPtr<IPin> video = PinOf(splitter.Get(), kSplitterVideo);
    ComPtr<IPin> decoder;
    CheckGraphResult(video->ConnectedTo(decoder.GetAddressOf()));
    CheckGraphResult(graph->Disconnect(decoder.Get()));
    CheckGraphResult(graph->Disconnect(video.Get()));
    Smarttee->SetFilterGraph(fg);
    const ComPtr<IBaseFilter> tee = Require<IBaseFilter>(Smarttee);
    CheckGraphResult(video->Connect(PinOf(tee.Get(), kTeeInput).Get(), nullptr));
    CheckGraphResult(builder->RenderStream(nullptr, nullptr, PinOf(tee.Get(), kTeeCapture).Get(),
                                           nullptr, AviMux.Get()));
    CheckGraphResult(PinOf(tee.Get(), kTeePreview)->Connect(decoder.Get(), nullptr));
    if (RecordDVAudio) {
      AddAudioStream(builder.Get(), splitter.Get(), Infinite);
      LockSoundToPicture(Require<IBaseFilter>(Infinite).Get(), AviMux.Get());
    }
    CloseCapture(builder.Get());
    return true;
  } catch (...) {
    return false;
  }
}

bool TdmCam::BuildRecompressCaptureGraph(const QString& path, std::uint8_t standard) {
  try {
    ComPtr<ICaptureGraphBuilder2> builder = Require<ICaptureGraphBuilder2>(fg);
    if (!OpenCapture(builder.Get(), path, true, RecordDVAudio || RecordAudioSource, false)) {
      return false;
    }
    const ComPtr<IFilterGraph> graph = Graph();
    DVencoder->SetFilterGraph(fg);
    const ComPtr<IBaseFilter> encoder = Require<IBaseFilter>(DVencoder);
    ComPtr<IDVEnc> settings;
    CheckGraphResult(encoder->QueryInterface(IID_IDVEnc, settings.ReleaseAndGetVoidAddressOf()));
    DVINFO unused{};
    CheckGraphResult(settings->put_IFormatResolution(
        standard == 0 ? DVENCODERVIDEOFORMAT_PAL : DVENCODERVIDEOFORMAT_NTSC, DVENCODERFORMAT_DVSD,
        DVENCODERRESOLUTION_720x480, FALSE, &unused));
    if (IsDVSource) {
      // The decoded picture is split by a Smart Tee in front of the preview chain's head.
      const ComPtr<IPin> head = Deinterlacer->FilterGraph() == fg
                                    ? PinOf(Require<IBaseFilter>(Deinterlacer).Get(), 0)
                                    : PinOf(Require<IBaseFilter>(sg).Get(), 0);
      ComPtr<IPin> decoded;
      CheckGraphResult(head->ConnectedTo(decoded.GetAddressOf()));
      AM_MEDIA_TYPE headType{};
      CheckGraphResult(head->ConnectionMediaType(&headType));
      const std::unique_ptr<AM_MEDIA_TYPE, void (*)(AM_MEDIA_TYPE*)> freeHeadType(
          &headType, [](AM_MEDIA_TYPE* type) { FreeMediaTypeRecord(*type); });
      graph->Disconnect(decoded.Get());
      graph->Disconnect(head.Get());
      Smarttee->SetFilterGraph(fg);
      const ComPtr<IBaseFilter> tee = Require<IBaseFilter>(Smarttee);
      decoded->Connect(PinOf(tee.Get(), kTeeInput).Get(), nullptr);
      builder->RenderStream(nullptr, nullptr, PinOf(tee.Get(), kTeeCapture).Get(), encoder.Get(),
                            AviMux.Get());
      if (const ComPtr<IBaseFilter> splitter = FindFilterNamed(graph.Get(), kDvSplitterName)) {
        color2->SetFilterGraph(fg);
        const ComPtr<IBaseFilter> converter = Require<IBaseFilter>(color2);
        PinOf(tee.Get(), kTeePreview)
            ->Connect(PinOf(converter.Get(), kConverterInput).Get(), nullptr);
        ReconnectHead(PinOf(converter.Get(), kConverterOutput).Get(), head.Get(), headType);
        if (RecordDVAudio) AddAudioStream(builder.Get(), splitter.Get(), Infinite);
      } else {
        ReconnectHead(PinOf(tee.Get(), kTeePreview).Get(), head.Get(), headType);
      }
    } else {
      builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                            Require<IBaseFilter>(VideoSource).Get(), encoder.Get(), AviMux.Get());
    }
    CloseCapture(builder.Get());
    return true;
  } catch (...) {
    return false;
  }
}

bool TdmCam::SwitchOutputFile(const QString& path) {
  try {
    if (!FileSink) return false;
    const std::wstring file = path.toStdWString();
    FileSink->SetFileName(file.c_str(), nullptr);
    return true;
  } catch (...) {
    return false;
  }
}
