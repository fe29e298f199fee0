// Display names of analogue broadcast standards (AnalogVideoStandard bits): "PAL B",
// "SECAM L", "NTSC M Japon" ...
#pragma once

#include <QString>
#include <vector>

namespace vidorra::filters {

// The name of one standard ("" for a value that is not one).
QString AnalogStandardName(long standard);
// The names of the standards whose bits are set, comma-separated, or "Aucun".
QString AnalogStandardsText(long standards);
// Each standard whose bit is set, in the order of the names' table.
std::vector<long> AnalogStandardsOf(long standards);

}  // namespace vidorra::filters
