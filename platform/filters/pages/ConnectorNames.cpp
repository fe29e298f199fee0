// Display names of crossbar connectors.
#include "ConnectorNames.h"

#include <strmif.h>

namespace vidorra::filters {

namespace {

struct ConnectorName {
  long type;
  const char* name;
};

constexpr ConnectorName kConnectorNames[] = {
    {PhysConn_Video_Tuner, "Video Tuner"},
    {PhysConn_Video_Composite, "Video Composite"},
    {PhysConn_Video_SVideo, "Video SVideo"},
    {PhysConn_Video_RGB, "Video RGB"},
    {PhysConn_Video_YRYBY, "Video YRYBY"},
    {PhysConn_Video_SerialDigital, "Video SerialDigital"},
    {PhysConn_Video_ParallelDigital, "Video ParallelDigital"},
    {PhysConn_Video_SCSI, "Video SCSI"},
    {PhysConn_Video_AUX, "Video AUX"},
    {PhysConn_Video_1394, "Video 1394"},
    {PhysConn_Video_USB, "Video USB"},
    {PhysConn_Video_VideoDecoder, "Video Decoder"},
    {PhysConn_Video_VideoEncoder, "Video Encoder"},
    {PhysConn_Video_SCART, "Video Scart"},
    {PhysConn_Audio_Tuner, "Audio Tuner"},
    {PhysConn_Audio_Line, "Audio Line"},
    {PhysConn_Audio_Mic, "Audio Mic"},
    {PhysConn_Audio_AESDigital, "Audio AESDigital"},
    {PhysConn_Audio_SPDIFDigital, "Audio SPDIFDigital"},
    {PhysConn_Audio_SCSI, "Audio SCSI"},
    {PhysConn_Audio_AUX, "Audio AUX"},
    {PhysConn_Audio_1394, "Audio 1394"},
    {PhysConn_Audio_USB, "Audio USB"},
    {PhysConn_Audio_AudioDecoder, "Audio Decoder"},
};

}  // namespace

const char* PhysicalConnectorName(long type) {
  for (const ConnectorName& entry : kConnectorNames) {
    if (entry.type == type) return entry.name;
  }
  return "Unknown";
}

}  // namespace vidorra::filters
