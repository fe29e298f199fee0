// The camera controls page.
#include "CameraControlPage.h"

#include <vidorra_pages.h>

namespace vidorra::filters {

namespace {

constexpr ControlProperty kProperties[] = {
    {CameraControl_Pan, "Pan", u"Panoramique"},
    {CameraControl_Tilt, "Tilt", u"Inclinaison"},
    {CameraControl_Roll, "Roll", u"Rotation"},
    {CameraControl_Zoom, "Zoom", u"Zoom"},
    {CameraControl_Exposure, "Exposure", u"Exposition"},
    {CameraControl_Iris, "Iris", u"Iris"},
    {CameraControl_Focus, "Focus", u"Mise au point"},
};

const ComClassRegistration kRegistration(CLSID_CameraControlPropertyPage, "Camera Control Page",
                                         ComClassFactoryFor<CCameraControlPage>());

}  // namespace

CCameraControlPage::CCameraControlPage()
    : CControlSlidersPageFor(L"Caméra", kProperties,
                             u"Ce périphérique n'a aucun réglage de caméra.") {}

}  // namespace vidorra::filters
