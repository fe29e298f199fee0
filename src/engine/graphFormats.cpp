// TdmCam's account of what the video source offers, for a preview that could not be built: the
// codings and sizes of its stream capabilities, and whether the converters and decoders the
// preview is made of take any of them.
#include <amvideo.h>
#include <uuids.h>

#include <QList>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "graph.h"

namespace {

// The filters a preview picture can go through first: the colour converter (every
// uncompressed layout), the JPEG and DV decoders and the DV splitter.
const CLSID* const kPreviewDecoders[] = {&CLSID_Colour, &CLSID_MjpegDec, &CLSID_DVVideoCodec,
                                         &CLSID_DVSplitter};

// Subtypes that are no FOURCC, by name.
struct NamedSubtype {
  const GUID* subtype;
  const char* name;
};
const NamedSubtype kNamedSubtypes[] = {
    {&MEDIASUBTYPE_RGB24, "RGB24"},
    {&MEDIASUBTYPE_RGB32, "RGB32"},
    {&MEDIASUBTYPE_RGB565, "RGB565"},
    {&MEDIASUBTYPE_RGB555, "RGB555"},
};

// "YUY2", "H264", "RGB24", "DV".
QString CodingName(const AM_MEDIA_TYPE& type) {
  if (type.subtype == MEDIASUBTYPE_dvsd) return QStringLiteral("DV");
  for (const NamedSubtype& named : kNamedSubtypes) {
    if (*named.subtype == type.subtype) return QString::fromLatin1(named.name);
  }
  QString fourcc;
  for (int shift = 0; shift < 32; shift += 8) {
    const char c = static_cast<char>((type.subtype.Data1 >> shift) & 0xFF);
    if (c > ' ' && c < 0x7F) fourcc += QLatin1Char(c);
  }
  return fourcc;
}

QString SizeOf(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER) ||
      !type.pbFormat) {
    return {};
  }
  const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
  return QStringLiteral("%1x%2").arg(info->bmiHeader.biWidth).arg(std::abs(info->bmiHeader.biHeight));
}

// Whether one of the preview's first filters takes the type on its input.
bool PreviewTakes(const AM_MEDIA_TYPE& type, const std::vector<ComPtr<IPin>>& inputs) {
  for (const ComPtr<IPin>& input : inputs) {
    if (input->QueryAccept(&type) == S_OK) return true;
  }
  return false;
}

}  // namespace

bool TdmCam::DescribeVideoFormats(QStringList& offered, bool& showable) {
  offered.clear();
  showable = false;
  try {
    ComPtr<IAMStreamConfig> config;
    if (!SourcePin ||
        FAILED(SourcePin->QueryInterface(IID_IAMStreamConfig, config.ReleaseAndGetVoidAddressOf()))) {
      return false;
    }
    std::vector<ComPtr<IPin>> inputs;
    for (const CLSID* clsid : kPreviewDecoders) {
      ComPtr<IBaseFilter> filter;
      if (FAILED(CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  filter.ReleaseAndGetVoidAddressOf()))) {
        continue;
      }
      const TPinList pins = TPinList::CreateFromFilter(filter.Get());
      for (int i = 0; i < pins.Count(); ++i) {
        PIN_DIRECTION direction = PINDIR_OUTPUT;
        ComPtr<IPin> pin = pins.PinAt(i);
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_INPUT) {
          inputs.push_back(pin);
        }
      }
    }
    int count = 0;
    int size = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &size))) return false;
    std::vector<BYTE> caps(static_cast<size_t>(std::max(size, 1)));
    // Each coding with its sizes, in the order the device gives them.
    QStringList codings;
    QList<QStringList> sizes;
    for (int i = 0; i < count; ++i) {
      AM_MEDIA_TYPE* type = nullptr;
      if (config->GetStreamCaps(i, &type, caps.data()) != S_OK || !type) continue;
      const QString coding = CodingName(*type);
      const QString pictureSize = SizeOf(*type);
      showable = showable || PreviewTakes(*type, inputs);
      DeleteMediaType(type);
      qsizetype at = codings.indexOf(coding);
      if (at < 0) {
        codings.append(coding);
        sizes.append(QStringList());
        at = codings.size() - 1;
      }
      if (!pictureSize.isEmpty() && !sizes[at].contains(pictureSize)) sizes[at].append(pictureSize);
    }
    for (qsizetype i = 0; i < codings.size(); ++i) {
      offered.append(sizes[i].isEmpty() ? codings[i]
                                        : QStringLiteral("%1 (%2)").arg(codings[i], sizes[i].join(QStringLiteral(", "))));
    }
    return true;
  } catch (...) {
    offered.clear();
    return false;
  }
}
