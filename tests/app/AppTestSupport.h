// The app tests: each runs with its own home folder, configuration folder and session bus and,
// until it describes one, no simulated machine, so the shell folders (and the files the names
// must not replace) are its own. For the window's tests: what they read from the running graph
// and the files it writes (recordings and pictures read back by ffprobe and ffmpeg), and a
// fixture that shows the program on a simulated machine.
#pragma once

#include <FilterPins.h>
#include <ScopedMachine.h>
#include <VideoRenderer.h>
#include <device_test_support.h>
#include <gtest/gtest.h>
#include <recording_readback.h>
#include <scoped_env.h>
#include <wait_until.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>

#include "../win/FakeScreenSaverService.h"
#include "ErrorReport.h"
#include "MediaGraph.h"
#include "ShellExecute.h"
#include "SimulatedMachine.h"
#include "erreurUnit.h"
#include "graph.h"
#include "mainFlux.h"
#include "sim/TestPattern.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace vidorra::test {

// Stands in for the desktop that opens links while it lives: keeps the addresses, answers `opens`.
class RecordingOpener {
 public:
  explicit RecordingOpener(bool opens = true)
      : previous_(win::SetDesktopOpener([this, opens](const std::string& address) {
          addresses_ << QString::fromStdString(address);
          return opens;
        })) {}
  ~RecordingOpener() { win::SetDesktopOpener(previous_); }
  RecordingOpener(const RecordingOpener&) = delete;
  RecordingOpener& operator=(const RecordingOpener&) = delete;
  const QStringList& Addresses() const { return addresses_; }

 private:
  QStringList addresses_;
  win::DesktopOpener previous_;
};

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Before the window first touches the session bus (screen saver).
    FakeScreenSaverService::UsePrivateBus();
    ASSERT_TRUE(dir_.isValid());
    home_ = dir_.path() + QStringLiteral("/home");
    config_ = dir_.path() + QStringLiteral("/config");
    QDir().mkpath(home_);
    QDir().mkpath(config_);
    env_.Set("HOME", home_.toStdString());
    env_.Set("XDG_CONFIG_HOME", config_.toStdString());
    env_.Set("VIDORRA_SIMULATION", std::nullopt);
    win::SimulatedMachine::ReloadCurrentForTesting();
    previousReporter_ = SetErrorReporter([this](const QString& m) { reports_ << m; });
  }
  void TearDown() override {
    SetErrorReporter(previousReporter_);
    machine_.reset();
    env_.Restore();
    win::SimulatedMachine::ReloadCurrentForTesting();
    EXPECT_TRUE(reports_.isEmpty()) << reports_.join(QStringLiteral(" | ")).toStdString();
  }

  void WriteFile(const QString& path, const QByteArray& text = QByteArray()) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(text);
  }
  void Simulate(const QByteArray& text) {
    machine_.reset();
    machine_.emplace(text.toStdString());
  }
  // Changes the machine as an editor would (a new file renamed over the old one).
  void Replug(const QByteArray& text) {
    const QString path = QString::fromLocal8Bit(qgetenv("VIDORRA_SIMULATION"));
    WriteFile(path + QStringLiteral(".next"), text);
    ASSERT_EQ(std::rename((path + QStringLiteral(".next")).toUtf8().constData(),
                          path.toUtf8().constData()),
              0);
  }

  QTemporaryDir dir_;
  QString home_;
  QString config_;
  QStringList reports_;

 private:
  ScopedEnv env_;
  std::optional<ScopedMachine> machine_;
  ErrorReporter previousReporter_;
};

// The frame number a picture carries.
inline std::optional<uint32_t> FrameNumberOf(const QImage& image) {
  if (image.isNull()) return std::nullopt;
  return devices::sim::ReadFrameNumber([&](int x, int y) { return qGray(image.pixel(x, y)); },
                                       image.width());
}

// The picture the form's video window shows now (null when there is none).
inline QImage ShownImage(TCaptureForm& form) {
  IBaseFilter* renderer = form.vwEcran->MemberFilter();
  if (renderer == nullptr) return {};
  return static_cast<filters::CVideoRenderer*>(renderer)->WindowForTesting()->LatestFrame();
}

inline std::optional<uint32_t> ShownFrame(TCaptureForm& form) {
  return FrameNumberOf(ShownImage(form));
}

// The window alone, made on the test's own folders without a simulated machine or data module.
class FormTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    form_ = std::make_unique<TCaptureForm>();
  }
  void TearDown() override {
    form_.reset();
    AppTest::TearDown();
  }
  std::unique_ptr<TCaptureForm> form_;
};

// The program on a simulated machine, its window made and shown as main() does.
class WindowTest : public AppTest {
 protected:
  // Makes the window and the data module on `machine` (a program made before is closed first).
  void Make(const QByteArray& machine) {
    Close();
    Simulate(machine);
    form_ = std::make_unique<TCaptureForm>();
    module_ = std::make_unique<TdmCam>();
  }
  // Makes and shows it: the first show fills the lists, selects the first devices and starts
  // the preview.
  void Start(const QByteArray& machine) {
    Make(machine);
    form_->show();
  }
  void Close() {
    if (dmCam != nullptr) dmCam->fg->StopGraph();
    module_.reset();
    form_.reset();
  }
  void TearDown() override {
    Close();
    AppTest::TearDown();
  }

  // Clicks near the left edge, where a check box's mark is whatever its width.
  static void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
  }
  // The picture moves on: two different numbered frames are shown one after the other.
  bool PictureMoves() {
    std::optional<uint32_t> first;
    return WaitUntil([&] {
      const std::optional<uint32_t> now = ShownFrame(*form_);
      if (!first) first = now;
      return first && now && *now > *first;
    });
  }
  bool InState(std::uint8_t state) {
    return WaitUntil([&] { return form_->CaptureState == state; });
  }
  // Waits until the file holds some frames (seven of PAL DV).
  static bool Written(const QString& file) {
    return WaitUntil([&] { return QFileInfo(file).size() > 1000000; });
  }
  // Presses "Capture" and waits until the recording has written some frames; its file.
  QString Capture() {
    const QString file = form_->VideoFileName;
    Click(form_->CaptureBtn);
    EXPECT_EQ(form_->CaptureState, stRecording);
    EXPECT_TRUE(Written(file));
    return file;
  }
  // The error panel's text while it is shown, "" otherwise.
  QString ErrorShown() const {
    return form_->ErreurFrame1->isVisible() ? form_->ErreurFrame1->Memo1->toPlainText() : QString();
  }
  void CloseError() { Click(form_->ErreurFrame1->FermerErreurBtn); }
  // The error panel is shown and its text holds `part`; the panel is closed again.
  void PanelSays(const QString& part) {
    EXPECT_TRUE(ErrorShown().contains(part)) << ErrorShown().toStdString();
    CloseError();
  }

  std::unique_ptr<TCaptureForm> form_;
  std::unique_ptr<TdmCam> module_;
};

// The filters in dmCam's graph whose name starts with `name` (the graph numbers the names of a
// second and later filter of the same name).
inline int FiltersNamed(const QString& name) {
  int count = 0;
  for (const std::wstring& filter : FilterNames(QueryAs<IFilterGraph>(dmCam->fg).Get())) {
    count += QString::fromStdWString(filter).startsWith(name);
  }
  return count;
}

// The volume of dmCam's graph's IBasicAudio (1 when the graph has none).
inline long GraphVolume() {
  long volume = 1;
  if (ComPtr<IBasicAudio> audio = QueryAs<IBasicAudio>(dmCam->fg)) audio->get_Volume(&volume);
  return volume;
}

// The streams of a file (a recording, a picture) as ffprobe reads them: "codec widthxheight"
// for a picture, the codec for a sound, joined by " + ".
inline QString Streams(const QString& file) {
  QStringList streams;
  for (const ProbedStream& s : Probe(file.toStdString())) {
    streams << (s.type == "video" ? QStringLiteral("%1 %2x%3")
                                        .arg(QString::fromStdString(s.codec))
                                        .arg(s.width)
                                        .arg(s.height)
                                  : QString::fromStdString(s.codec));
  }
  return streams.join(QStringLiteral(" + "));
}

// The file (720 x 576) is whole: ffprobe reads its frames, each with its number, one after the
// other.
inline void ExpectWholeRecording(const QString& path) {
  SCOPED_TRACE(path.toStdString());
  const long probed = ProbedFrames(path.toStdString());
  EXPECT_GE(probed, 3);
  const auto numbers = RecordedFrameNumbers(path.toStdString(), 720, 576);
  EXPECT_EQ(static_cast<long>(numbers.size()), probed);
  for (size_t i = 0; i < numbers.size(); ++i) {
    ASSERT_TRUE(numbers[i].has_value()) << "frame " << i;
    if (i > 0) {
      EXPECT_EQ(*numbers[i], *numbers[i - 1] + 1) << "frame " << i;
    }
  }
}

}  // namespace vidorra::test
