// TdmCam's preview size: the DV decoder's resolution chosen from the video area, and set on the
// decoder the preview build put behind the DV Splitter.
#include <uuids.h>

#include <cstring>

#include "graph.h"
#include "graphSupport.h"

using graph_support::FilterOfPin;
using graph_support::PinOf;
using graph_support::Require;

namespace {

constexpr int kPalRows = 576;
constexpr int kNtscRows = 480;
// DVINFO's AAUX source pack: the 50/60 bit of its third payload byte, and a pack not there.
constexpr DWORD k50FieldsBit = 0x20;
constexpr DWORD kAbsentPack = 0xFFFFFFFF;

}  // namespace

int TdmCam::DvSourceRows() {
  if (!SourcePin) return kPalRows;
  ComPtr<IEnumMediaTypes> types;
  if (FAILED(SourcePin->EnumMediaTypes(types.GetAddressOf())) || !types) return kPalRows;
  AM_MEDIA_TYPE* mt = nullptr;
  if (types->Next(1, &mt, nullptr) != S_OK || mt == nullptr) return kPalRows;
  int rows = kPalRows;
  if (mt->formattype == FORMAT_DvInfo && mt->pbFormat && mt->cbFormat >= sizeof(DVINFO)) {
    DVINFO info{};
    std::memcpy(&info, mt->pbFormat, sizeof info);
    if (info.dwDVAAuxSrc != kAbsentPack && ((info.dwDVAAuxSrc >> 16) & k50FieldsBit) == 0) {
      rows = kNtscRows;
    }
  }
  DeleteMediaType(mt);
  return rows;
}

int TdmCam::ChoosePreviewResolution() {
  if (!IsDVSource || VideoSourceKind != vskInterleaved || PreviewArea.isEmpty()) {
    return DVRESOLUTION_FULL;
  }
  const int rows = DvSourceRows();
  for (const int resolution : {DVRESOLUTION_QUARTER, DVRESOLUTION_HALF}) {
    const int shownRows = rows >> (resolution - DVRESOLUTION_FULL);
    if (shownRows * 4 / 3 >= PreviewArea.width() && shownRows >= PreviewArea.height()) {
      return resolution;
    }
  }
  return DVRESOLUTION_FULL;
}

ComPtr<IBaseFilter> TdmCam::GrabberFeeder() {
  ComPtr<IPin> feeder;
  const ComPtr<IPin> input = PinOf(Require<IBaseFilter>(sg).Get(), 0);
  if (FAILED(input->ConnectedTo(feeder.GetAddressOf())) || !feeder) return {};
  return FilterOfPin(feeder.Get());
}

void TdmCam::ApplyPreviewResolution() {
  if (PreviewResolution == DVRESOLUTION_FULL) return;
  const ComPtr<IBaseFilter> feeder = GrabberFeeder();
  ComPtr<IIPDVDec> decoder;
  // Without a decoder that has the setting, the picture is shown whole.
  if (!feeder ||
      FAILED(feeder->QueryInterface(IID_IIPDVDec, decoder.ReleaseAndGetVoidAddressOf())) ||
      FAILED(decoder->put_IPDisplay(PreviewResolution))) {
    PreviewResolution = DVRESOLUTION_FULL;
  }
}

std::unique_ptr<TBitmap> TdmCam::GrabFrame() {
  ComPtr<IDvFullFrame> decoder;
  if (PreviewResolution != DVRESOLUTION_FULL) {
    if (const ComPtr<IBaseFilter> feeder = GrabberFeeder()) {
      feeder->QueryInterface(IID_IDvFullFrame, decoder.ReleaseAndGetVoidAddressOf());
    }
  }
  LONG size = 0, width = 0, height = 0;
  // "Désentrelacer" ticked: deinterlaced, as the whole picture's preview shows it.
  const BOOL deinterlaced = UseDeinterlacer ? TRUE : FALSE;
  if (decoder && decoder->GetFullFrame(deinterlaced, nullptr, &size, &width, &height) == S_OK) {
    auto bitmap = std::make_unique<TBitmap>(width, height);
    size = static_cast<LONG>(bitmap->ImageSize());
    if (decoder->GetFullFrame(deinterlaced, bitmap->Bits(), &size, &width, &height) == S_OK) {
      return bitmap;
    }
  }
  auto bitmap = std::make_unique<TBitmap>();
  if (!sg->CopyFrameToBitmap(bitmap.get())) return nullptr;
  return bitmap;
}
