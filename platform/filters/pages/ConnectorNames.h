// Display names of crossbar connectors (PhysicalConnectorType): "Video Tuner",
// "Video Composite", "Audio Line", ... and "Unknown" for any other value.
#pragma once

namespace vidorra::filters {

const char* PhysicalConnectorName(long type);

}  // namespace vidorra::filters
