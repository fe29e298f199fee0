// The picture controls page (CLSID_VideoProcAmpPropertyPage) of a video capture device's
// IAMVideoProcAmp: brightness, contrast, hue, saturation and the rest, one slider each
// (ControlSlidersPage.h gives the page's shape and object names).
#pragma once

#include "ControlSlidersPage.h"

namespace vidorra::filters {

class CVideoProcAmpPage : public CControlSlidersPageFor<IAMVideoProcAmp> {
 public:
  CVideoProcAmpPage();
};

}  // namespace vidorra::filters
