// TCaptureForm's life cycle: creation (folders, first names, screen saver off), destruction
// (screen saver back on) and "Quitter".
#include "mainFlux.h"

#include <winuser.h>

#include <QDateTime>
#include <QLabel>
#include <QThread>

#include "Bitmap.h"
#include "FolderPicker.h"
#include "JpegImage.h"
#include "MediaGraph.h"
#include "RecordingJournal.h"
#include "RegistryKey.h"
#include "graph.h"

namespace {

constexpr const char* kCaption = "Vidorra de Orvale";
constexpr const char* kShellFoldersKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kPersonalValue = "Personal";
constexpr const char* kMyVideoValue = "My Video";
constexpr const char* kMyPicturesValue = "My Pictures";
// Folder texts are kept to this many characters, as the window has always done.
constexpr qsizetype kMaxFolderLength = 255;
constexpr int kGrabWidth = 720;
constexpr int kGrabHeight = 576;
constexpr QChar kPathSeparator = QLatin1Char('/');

// Cuts to kMaxFolderLength characters without splitting a character in two.
QString CutFolder(QString folder) {
  if (folder.size() <= kMaxFolderLength) return folder;
  qsizetype length = kMaxFolderLength;
  if (folder.at(length - 1).isHighSurrogate()) --length;
  folder.truncate(length);
  return folder;
}

}  // namespace

TCaptureForm::TCaptureForm(QWidget* parent) : QMainWindow(parent) {
  BuildLayout();
  ConnectHandlers();
  ConnectRecordingHandlers();
  ConnectScheduleHandlers();
  ConnectImageHandlers();
  ConnectChoiceHandlers();
  ConnectTapeHandlers();
  FormCreate();
}

TCaptureForm::~TCaptureForm() {
  // A destructor must not throw: FormDestroy only calls the platform and frees objects.
  FormDestroy();
  if (RepairThread) RepairThread->wait();
}

void TCaptureForm::FormCreate() {
  setWindowTitle(QString::fromUtf8(kCaption));
  ReadShellFolders();
  if (MyPicturesDir.isEmpty()) MyPicturesDir = PersonalDir;
  if (MyVideoDir.isEmpty()) MyVideoDir = PersonalDir;

  VideoDirEdit->SetInitialDir(MyVideoDir);
  VideoDirEdit->SetText(MyVideoDir);
  StartupTime = QDateTime::currentDateTime();
  VideoFileName = BuildVideoFileName();

  const QString imageFolder = MyPicturesDir + kPathSeparator;
  ImageDirEdit->SetInitialDir(imageFolder);
  ImageDirEdit->SetText(imageFolder);
  ImageFileName = BuildImageFileName();

  GrabBitmap = std::make_unique<TBitmap>(kGrabWidth, kGrabHeight);  // black until a grab
  GrabJpeg = std::make_unique<TJpegImage>();

  // Whether the screen saver was on, then off for the run (restored by FormDestroy).
  SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &ScreenSaverWasActive, 0);
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);

  Journal = std::make_unique<vidorra::RecordingJournal>();
  RepairUnfinishedRecordings();
}

void TCaptureForm::ReadShellFolders() {
  RegistryKey key;
  if (!key.OpenOrCreate(HKEY_CURRENT_USER, kShellFoldersKey)) return;
  PersonalDir = CutFolder(key.ReadString(kPersonalValue));
  MyVideoDir = CutFolder(key.ReadString(kMyVideoValue));
  MyPicturesDir = CutFolder(key.ReadString(kMyPicturesValue));
}

void TCaptureForm::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // The graph outlives a window closed before it: its device-lost event no longer reaches here.
  if (dmCam != nullptr) {
    dmCam->fg->OnGraphDeviceLost = nullptr;
    dmCam->fg->OnGraphErrorAbort = nullptr;
  }
  if (ScreenSaverWasActive != 0) {
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
  }
  GrabBitmap.reset();
  GrabJpeg.reset();
}

void TCaptureForm::QuitterBtnClick() { close(); }
