// Property pages of this platform's devices and filters: their class ids. Each page is an
// IPropertyPage COM object (ocidl.h) created by CoCreateInstance; the objects whose settings
// they show list them through ISpecifyPropertyPages.
#pragma once

#include <wtypes.h>

// Stream format of a pin: subtype, frame size and rate (video) or rate, bits and channels
// (audio), from IAMStreamConfig's capabilities; Apply calls SetFormat.
// {6B1D2C40-5A7E-4E0B-9C61-3F0A8E2D7101}
DEFINE_GUID(CLSID_StreamFormatPropertyPage, 0x6B1D2C40, 0x5A7E, 0x4E0B, 0x9C, 0x61, 0x3F, 0x0A,
            0x8E, 0x2D, 0x71, 0x01);
// Picture controls (IAMVideoProcAmp): one slider per property the device has.
// {6B1D2C40-5A7E-4E0B-9C61-3F0A8E2D7102}
DEFINE_GUID(CLSID_VideoProcAmpPropertyPage, 0x6B1D2C40, 0x5A7E, 0x4E0B, 0x9C, 0x61, 0x3F, 0x0A,
            0x8E, 0x2D, 0x71, 0x02);
// Camera controls (IAMCameraControl).
// {6B1D2C40-5A7E-4E0B-9C61-3F0A8E2D7103}
DEFINE_GUID(CLSID_CameraControlPropertyPage, 0x6B1D2C40, 0x5A7E, 0x4E0B, 0x9C, 0x61, 0x3F, 0x0A,
            0x8E, 0x2D, 0x71, 0x03);
// Crossbar routing (IAMCrossbar): each output with the input routed to it, related pins linked.
// {6B1D2C40-5A7E-4E0B-9C61-3F0A8E2D7104}
DEFINE_GUID(CLSID_CrossbarPropertyPage, 0x6B1D2C40, 0x5A7E, 0x4E0B, 0x9C, 0x61, 0x3F, 0x0A, 0x8E,
            0x2D, 0x71, 0x04);
// TV tuner (IAMTVTuner): channel, country, input type, standard, signal.
// {6B1D2C40-5A7E-4E0B-9C61-3F0A8E2D7105}
DEFINE_GUID(CLSID_TVTunerPropertyPage, 0x6B1D2C40, 0x5A7E, 0x4E0B, 0x9C, 0x61, 0x3F, 0x0A, 0x8E,
            0x2D, 0x71, 0x05);
// TV audio (IAMTVAudio): mode.
// {6B1D2C40-5A7E-4E0B-9C61-3F0A8E2D7106}
DEFINE_GUID(CLSID_TVAudioPropertyPage, 0x6B1D2C40, 0x5A7E, 0x4E0B, 0x9C, 0x61, 0x3F, 0x0A, 0x8E,
            0x2D, 0x71, 0x06);
// AVI Mux: interleaving mode and times, compatibility index, master stream.
// {6B1D2C40-5A7E-4E0B-9C61-3F0A8E2D7107}
DEFINE_GUID(CLSID_AviMuxPropertyPage, 0x6B1D2C40, 0x5A7E, 0x4E0B, 0x9C, 0x61, 0x3F, 0x0A, 0x8E,
            0x2D, 0x71, 0x07);
// Analogue video decoder (IAMAnalogVideoDecoder): the standard decoded, the lines, the lock.
// {6B1D2C40-5A7E-4E0B-9C61-3F0A8E2D7108}
DEFINE_GUID(CLSID_AnalogVideoDecoderPropertyPage, 0x6B1D2C40, 0x5A7E, 0x4E0B, 0x9C, 0x61, 0x3F,
            0x0A, 0x8E, 0x2D, 0x71, 0x08);
