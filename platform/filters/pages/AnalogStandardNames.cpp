// Names of analogue broadcast standards; see AnalogStandardNames.h.
#include "AnalogStandardNames.h"

#include <strmif.h>

#include <QStringList>
#include <vector>

namespace vidorra::filters {

namespace {

struct StandardName {
  long standard;
  const char16_t* name;
};
constexpr StandardName kStandards[] = {
    {AnalogVideo_NTSC_M, u"NTSC M"},      {AnalogVideo_NTSC_M_J, u"NTSC M Japon"},
    {AnalogVideo_NTSC_433, u"NTSC 4,43"}, {AnalogVideo_PAL_B, u"PAL B"},
    {AnalogVideo_PAL_D, u"PAL D"},        {AnalogVideo_PAL_G, u"PAL G"},
    {AnalogVideo_PAL_H, u"PAL H"},        {AnalogVideo_PAL_I, u"PAL I"},
    {AnalogVideo_PAL_M, u"PAL M"},        {AnalogVideo_PAL_N, u"PAL N"},
    {AnalogVideo_PAL_60, u"PAL 60"},      {AnalogVideo_SECAM_B, u"SECAM B"},
    {AnalogVideo_SECAM_D, u"SECAM D"},    {AnalogVideo_SECAM_G, u"SECAM G"},
    {AnalogVideo_SECAM_H, u"SECAM H"},    {AnalogVideo_SECAM_K, u"SECAM K"},
    {AnalogVideo_SECAM_K1, u"SECAM K1"},  {AnalogVideo_SECAM_L, u"SECAM L"},
    {AnalogVideo_SECAM_L1, u"SECAM L1"},  {AnalogVideo_PAL_N_COMBO, u"PAL N combiné"},
};

}  // namespace

QString AnalogStandardName(long standard) {
  for (const StandardName& entry : kStandards) {
    if (entry.standard == standard) return QString::fromUtf16(entry.name);
  }
  return {};
}

std::vector<long> AnalogStandardsOf(long standards) {
  std::vector<long> each;
  for (const StandardName& entry : kStandards) {
    if (standards & entry.standard) each.push_back(entry.standard);
  }
  return each;
}

QString AnalogStandardsText(long standards) {
  QStringList names;
  for (long standard : AnalogStandardsOf(standards)) names << AnalogStandardName(standard);
  return names.isEmpty() ? QStringLiteral("Aucun") : names.join(QStringLiteral(", "));
}

}  // namespace vidorra::filters
