// The picture controls page.
#include "VideoProcAmpPage.h"

#include <vidorra_pages.h>

namespace vidorra::filters {

namespace {

constexpr ControlProperty kProperties[] = {
    {VideoProcAmp_Brightness, "Brightness", u"Luminosité"},
    {VideoProcAmp_Contrast, "Contrast", u"Contraste"},
    {VideoProcAmp_Hue, "Hue", u"Teinte"},
    {VideoProcAmp_Saturation, "Saturation", u"Saturation"},
    {VideoProcAmp_Sharpness, "Sharpness", u"Netteté"},
    {VideoProcAmp_Gamma, "Gamma", u"Gamma"},
    {VideoProcAmp_ColorEnable, "ColorEnable", u"Couleur"},
    {VideoProcAmp_WhiteBalance, "WhiteBalance", u"Balance des blancs"},
    {VideoProcAmp_BacklightCompensation, "BacklightCompensation", u"Compensation du contre-jour"},
    {VideoProcAmp_Gain, "Gain", u"Gain"},
};

const ComClassRegistration kRegistration(CLSID_VideoProcAmpPropertyPage, "Video Proc Amp Page",
                                         ComClassFactoryFor<CVideoProcAmpPage>());

}  // namespace

CVideoProcAmpPage::CVideoProcAmpPage()
    : CControlSlidersPageFor(L"Image", kProperties, u"Ce périphérique n'a aucun réglage d'image.") {
}

}  // namespace vidorra::filters
