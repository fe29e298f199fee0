// The capture driver dialogs of the `vfw` kind, driven without a person through the platform's
// property frame: the source dialog's picture controls act on the device, and the format
// dialog sets the device's format, answering VFW_E_CANNOT_CONNECT when that no longer fits the
// connected pin.
#include <modal_dialog_driver.h>

#include <QComboBox>
#include <QSlider>
#include <QTabWidget>

#include "device_test_support.h"

namespace vidorra::test {
namespace {

class DriverDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = g_.AddDevice(CLSID_VideoInputDeviceCategory, L"Old Driver");
    ASSERT_TRUE(device_);
    dialogs_ = QueryAs<IAMVfwCaptureDialogs>(device_.Get());
    ASSERT_TRUE(dialogs_);
    capture_ = CapturePinOf(device_.Get());
  }
  CMediaType Format() {
    AM_MEDIA_TYPE* type = nullptr;
    QueryAs<IAMStreamConfig>(capture_.Get())->GetFormat(&type);
    CMediaType mt;
    mt.Adopt(*type);
    CoTaskMemFree(type);
    return mt;
  }

  ScopedMachine machine_{"video vfw Old Driver\n"};
  ClockedGraph g_;
  ComPtr<IBaseFilter> device_;
  ComPtr<IAMVfwCaptureDialogs> dialogs_;
  ComPtr<IPin> capture_;
};

// (Which dialogs the driver has: the program's Options menu tests, from the entries it offers.)
TEST_F(DriverDialogs, TheSourceDialogSetsThePictureControls) {
  ModalDialogDriver driver([](QWidget& frame) {
    ASSERT_EQ(frame.findChild<QTabWidget*>()->count(), 1);
    QSlider* brightness = frame.findChild<QSlider*>("sliderBrightness");
    ASSERT_TRUE(brightness);
    brightness->setValue(200);
    ClickButton(frame, "OK");
  });
  EXPECT_EQ(S_OK, dialogs_->ShowDialog(VfwCaptureDialog_Source, nullptr));
  EXPECT_EQ(driver.DialogsDriven(), 1);
  long value = 0, flags = 0;
  QueryAs<IAMVideoProcAmp>(device_.Get())->Get(VideoProcAmp_Brightness, &value, &flags);
  EXPECT_EQ(value, 200);
}

TEST_F(DriverDialogs, TheFormatDialogChangesTheDeviceAndSaysWhenThePinMustConnectAgain) {
  ComPtr<PatternSink> sink = MakeComObject<PatternSink>();
  ASSERT_EQ(S_OK, g_.ConnectToSink(capture_.Get(), sink.Get(), sink->Input()));
  const CMediaType connected = Format();
  ModalDialogDriver driver([](QWidget& frame) {
    ASSERT_TRUE(ChooseItem(frame.findChild<QComboBox*>("cboxSize"), "320 x 240"));
    ClickButton(frame, "OK");
  });
  EXPECT_EQ(VFW_E_CANNOT_CONNECT, dialogs_->ShowDialog(VfwCaptureDialog_Format, nullptr));
  EXPECT_EQ(driver.DialogsDriven(), 1);
  // The pin keeps its connection until the graph is built again; then it takes the new size.
  EXPECT_TRUE(Format() == connected);
  ASSERT_EQ(S_OK, g_.graph->Disconnect(capture_.Get()));
  ASSERT_EQ(S_OK, g_.graph->Disconnect(sink->Input()));
  ASSERT_EQ(S_OK, g_.graph->ConnectDirect(capture_.Get(), sink->Input(), nullptr));
  const auto size = VideoSizeOf(Format());
  EXPECT_EQ(size, std::make_pair(320, 240));
  // Closing the dialog without a change leaves a fitting connection alone.
  driver.Then([](QWidget& frame) { ClickButton(frame, "Annuler"); });
  EXPECT_EQ(S_OK, dialogs_->ShowDialog(VfwCaptureDialog_Format, nullptr));
  EXPECT_EQ(driver.DialogsDriven(), 2);
  EXPECT_EQ(E_INVALIDARG, dialogs_->ShowDialog(VfwCaptureDialog_Display, nullptr));
}

}  // namespace
}  // namespace vidorra::test
