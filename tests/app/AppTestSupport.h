// The app tests: each runs with its own home folder, configuration folder and session bus and,
// until it describes one, no simulated machine, so the shell folders (and the files the names
// must not replace) are its own. For the window's tests: what they read from the running graph
// and the files it writes (recordings and pictures read back by ffprobe and ffmpeg), and a
// fixture that shows the program on a simulated machine.
#pragma once

#include <VideoRenderer.h>
#include <device_test_support.h>
#include <modal_dialog_driver.h>
#include <widget_snapshot.h>

#include <QTest>
#include <QtWidgets>  // the window's controls, for every window test

#include "../engine/SimulatedPictures.h"
#include "../win/FakeScreenSaverService.h"
#include "AlarmClock.h"
#include "ErrorReport.h"
#include "FolderPicker.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"
#include "ShellExecute.h"
#include "SpinEdit.h"
#include "UrlLabel.h"
#include "WindowTimer.h"
#include "graph.h"
#include "mainFlux.h"

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
    env_.Set("XDG_STATE_HOME", std::nullopt);  // journals in the test's home
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
  // Changes the machine as an editor would: its watcher plugs and unplugs what changed.
  void Replug(const QByteArray& text) { machine_->Rewrite(text.toStdString()); }

  QTemporaryDir dir_;
  QString home_, config_;
  QStringList reports_;

 private:
  ScopedEnv env_;
  std::optional<ScopedMachine> machine_;
  ErrorReporter previousReporter_;
};

// The picture the form's video window shows now (null when there is none).
inline QImage ShownImage(TCaptureForm& form) {
  IBaseFilter* renderer = form.vwEcran->MemberFilter();
  if (renderer == nullptr) return {};
  return static_cast<filters::CVideoRenderer*>(renderer)->WindowForTesting()->LatestFrame();
}

// The menu's entry of that caption, or null.
inline QAction* Entry(const QMenu* menu, const QString& caption) {
  for (QAction* action : menu->actions()) {
    if (action->text() == caption) return action;
  }
  return nullptr;
}

// The menu's captions, a separator as "-" (it has no text of its own: a style would draw it
// beside the line), a submenu's items after ">", the checked ones marked "*".
inline QString Captions(const QMenu* menu) {
  QStringList captions;
  for (const QAction* action : menu->actions()) {
    EXPECT_TRUE(!action->isSeparator() || action->text().isEmpty());
    captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    if (action->menu() != nullptr) captions << QStringLiteral(">") + Captions(action->menu());
    if (action->isChecked()) captions.last() += u'*';
  }
  return captions.join(u',');
}

// The items of a combo box, in order.
inline QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

// A file (a recording, a picture) as ffprobe reads it: each stream's codec, its fourcc when it
// has a readable one and a picture's size, joined by " + " ("dvvideo dvsd 720x576 + pcm_s16le").
inline QString Streams(const QString& file) {
  QStringList streams;
  for (const ProbedStream& s : Probe(file.toStdString())) {
    QString stream = QString::fromStdString(s.codec);
    if (!s.tag.empty() && s.tag[0] != '[') stream += u' ' + QString::fromStdString(s.tag);
    if (s.type == "video") stream += QStringLiteral(" %1x%2").arg(s.width).arg(s.height);
    streams << stream;
  }
  return streams.join(QStringLiteral(" + "));
}

// Reads a recording back: its frames (at least three) numbered one after the other; its Streams().
inline QString ReadBack(const QString& file) {
  const std::vector<ProbedStream> streams = Probe(file.toStdString());
  if (streams.empty()) return QStringLiteral("unreadable");
  EXPECT_GE(NumberedFrames(file.toStdString(), streams[0].width, streams[0].height).size(), 3u)
      << file.toStdString();
  return Streams(file);
}

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
  // The picture shows another frame, then a later one: a device plugged in again numbers its
  // frames anew, below the last one an unplugged device left on the screen.
  bool PictureMoves() {
    std::optional<uint32_t> first, changed;
    return WaitUntil([&] {
      const std::optional<uint32_t> now = FrameNumberOf(ShownImage(*form_));
      if (!now) return false;
      if (!first) first = now;
      if (!changed && *now != *first) changed = now;
      return changed && *now > *changed;
    });
  }
  bool InState(std::uint8_t state) {
    return WaitUntil([&] { return form_->CaptureState == state; });
  }
  // The recordings in the videos folder, by name.
  QStringList Recordings() const {
    return QDir(QFileInfo(form_->VideoFileName).path())
        .entryList({QStringLiteral("*.avi")}, QDir::Files, QDir::Name);
  }
  // Waits until the file holds `bytes` (by default seven frames of PAL DV).
  static bool Written(const QString& file, qint64 bytes = 1000000) {
    return WaitUntil([&] { return QFileInfo(file).size() > bytes; });
  }
  // Presses "Capture" and waits until the recording has written `bytes`; its file.
  QString Capture(qint64 bytes = 1000000) {
    const QString file = form_->VideoFileName;
    Click(form_->CaptureBtn);
    EXPECT_EQ(form_->CaptureState, stRecording);
    EXPECT_TRUE(Written(file, bytes));
    return file;
  }
  // Records with "Capture" and "Stop", the preview going on meanwhile; the file.
  QString Record(qint64 bytes = 1000000) {
    const QString file = Capture(bytes);
    EXPECT_TRUE(PictureMoves()) << "the preview goes on while recording";
    Click(form_->StopBtn);
    EXPECT_EQ(form_->CaptureState, stPreview);
    return file;
  }
  // The error panel's text while it is shown, "" otherwise.
  QString ErrorShown() const {
    return form_->ErreurFrame1->isVisible() ? form_->ErreurFrame1->Memo1->toPlainText() : QString();
  }
  // Opens the dialog of the entry of "Réglages" of that caption, in which `action` is done.
  void OpenDialog(const QString& entry, const ModalDialogDriver::Action& action) {
    ModalDialogDriver driver(action);
    QAction* item = Entry(form_->MENU_OPTIONS, entry);
    ASSERT_NE(item, nullptr) << entry.toStdString();
    item->trigger();
    EXPECT_EQ(driver.DialogsDriven(), 1) << entry.toStdString();
  }
  // The error panel is shown and its text holds `part`; the panel is closed again.
  void PanelSays(const QString& part) {
    EXPECT_TRUE(ErrorShown().contains(part)) << ErrorShown().toStdString();
    Click(form_->ErreurFrame1->FermerErreurBtn);
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

// The resolution of the DV decoder in dmCam's graph (IIPDVDec), 0 when there is none.
inline int DecoderResolution() {
  ComPtr<IBaseFilter> decoder;
  QueryAs<IFilterGraph>(dmCam->fg)->FindFilterByName(L"DV Video Decoder", decoder.GetAddressOf());
  int resolution = 0;
  if (const ComPtr<IIPDVDec> settings = QueryAs<IIPDVDec>(decoder.Get())) {
    settings->get_IPDisplay(&resolution);
  }
  return resolution;
}

// The volume of dmCam's graph's IBasicAudio (1 when the graph has none).
inline long GraphVolume() {
  long volume = 1;
  if (ComPtr<IBasicAudio> audio = QueryAs<IBasicAudio>(dmCam->fg)) audio->get_Volume(&volume);
  return volume;
}

}  // namespace vidorra::test
