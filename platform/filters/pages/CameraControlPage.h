// The camera controls page (CLSID_CameraControlPropertyPage) of a video capture device's
// IAMCameraControl: pan, tilt, roll, zoom, exposure, iris and focus, one slider each
// (ControlSlidersPage.h gives the page's shape and object names).
#pragma once

#include "ControlSlidersPage.h"

namespace vidorra::filters {

class CCameraControlPage : public CControlSlidersPageFor<IAMCameraControl> {
 public:
  CCameraControlPage();
};

}  // namespace vidorra::filters
