// The main window TCaptureForm (instance CaptureForm): its layout, the window-level state the
// capture-control code shares, start-up and shut-down, and the file names of recordings and
// images.
//
// Split by concern: mainFlux.cpp (life cycle: FormCreate, FormDestroy, QuitterBtnClick),
// mainFluxLayout.cpp (the controls, their texts, places and initial states), mainFluxNames.cpp
// (file naming and its refresh handlers), mainFluxSources.cpp (the source lists and the
// choice of the video and audio source, through the data module dmCam), mainFluxGraph.cpp
// (starting the preview and the recording on dmCam's graph), mainFluxRecording.cpp (the five
// window states, the recording commands, volume, full screen, device loss and the refresh),
// mainFluxSchedule.cpp (recording programmed by clock time on the page "Programmer"),
// mainFluxImages.cpp (still images and the intervallometer), mainFluxOptions.cpp (the menu
// "Réglages": the devices' settings dialogs and the crossbar's inputs), mainFluxChoices.cpp
// (the choice of source, format and sound and the deinterlacer), mainFluxTape.cpp (a DV
// camcorder's tape: its transport, its timecode on screen and its capture, page "Cassette"),
// mainFluxStatus.cpp (the status line of a running recording).
//
// Thread: the UI thread only; every handler is connected through the handler guard.
// The controls are owned by Qt's parent chain; the pointers below never own.
#pragma once

#include <wtypes.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPoint>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "RecordingFileNamer.h"
#include "aproposUnit.h"
#include "erreurUnit.h"

class QCheckBox;
class QColor;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QAction;
class QPushButton;
class QSlider;
class QTabWidget;
class QThread;
class QTimer;
class QToolButton;

namespace vidorra {
class AlarmClock;
class DiskSpaceWatch;
class FolderPicker;
class OnOffSwitch;
class RecordingJournal;
class RadioGroup;
class SoundMeter;
class SpinEdit;
class WindowTimer;
}  // namespace vidorra

class TBitmap;
class TJpegImage;
class TVideoWindow;
struct IBaseFilter;
struct IUnknown;

// The window's state (CaptureState): an unsigned byte.
enum : std::uint8_t {
  stNoSource = 0,
  stPreview = 1,
  stRecording = 2,
  stProgrammed = 3,
  stRecordingTimed = 4,
};

class TCaptureForm : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 694;
  static constexpr int kClientHeight = 446;

  // Builds the controls, connects the handlers and runs FormCreate.
  explicit TCaptureForm(QWidget* parent = nullptr);
  // Runs FormDestroy.
  ~TCaptureForm() override;

  // Life cycle (mainFlux.cpp).
  void FormCreate();
  void FormDestroy();
  void QuitterBtnClick();
  // "A propos..." (mainFluxLayout.cpp): shows the about panel.
  void HelpBtnClick();

  // File names (mainFluxNames.cpp). A builder uses up one number per name, and more when a
  // file of that name already exists on disk: it never gives the name of an existing file.
  QString BuildVideoFileName();
  QString BuildImageFileName();
  static QString TwoDigits(std::uint16_t n);
  void VideoRacineEditExit();
  void VideoDateClick();
  void VideoDirEditChange();
  void ImageDirEditChange();
  void ImageRacineEditExit();
  // What a recording's usual name starts with: folder, root, "_", the start-up stamp.
  QString VideoNameStem() const;
  void ImageDateClick();
  void rgExtensionClick();

  // Source lists and selection (mainFluxSources.cpp), on the data module dmCam. The fills put
  // the capture devices' names into cboxVideo / cboxAudio and select the first (or show the
  // placeholder text), without firing the boxes' change handlers; false when the list could
  // not be read. The selections bind the device named by the box's text; SelectVideoSource
  // also refills the format choice for the source's kind. False when the device was not
  // bound.
  bool FillVideoSourceList();
  bool FillAudioSourceList();
  bool SelectVideoSource();
  bool SelectAudioSource();
  // The first show: the source lists are filled and the first devices selected.
  void FormShow();

  // The graph (mainFluxGraph.cpp). StartPreview builds the preview of the selected source
  // with the window's sound choices and runs it; when the source cannot be rendered the video
  // box says "Connexion impossible". StartCapture builds the recording graph of the selected
  // format into VideoFileName and runs it. Both give false (and show nothing else) when the
  // graph does not run, but for a source whose formats the preview cannot show at all: the
  // error panel then says which formats it offers (ReportUnshowableSource).
  bool StartPreview();
  bool StartCapture();
  // Gives the recording graph just built its file namer and splitting (the scenes of a DV
  // tape, its first file named by date for a tape capture); nothing for other recordings.
  void SetUpFileSplitting();
  void ReportUnshowableSource(const QString& source);

  // States and recording commands (mainFluxRecording.cpp). Each state operation sets
  // CaptureState, the colour of Panel1 (the border round the picture), the clock alarm's
  // switch and the controls usable in that state. A start, cut or stop that fails never leaves
  // a recording half-stopped: the graph is stopped (the file written so far is closed whole),
  // the error panel says what failed, and the window ends in preview or no-source state.
  void SetNoSourceState();
  void SetPreviewState();
  void SetProgrammedState();
  void SetRecordingState();
  void SetRecordingTimedState();
  void CaptureBtnClick();
  void CouperBtnClick();
  void StopBtnClick();
  // The pop-up menu's "Capture", "Couper" and "Stop": the buttons' handlers.
  void Capture1Click();
  void Couper1Click();
  void Stop1Click();
  void tbChange();
  void cbMuteClick();
  void PleinEcranBtnClick();
  void PLeinEcran1Click();
  // The preview's size (mainFluxPreviewSize.cpp): the video area in device pixels (empty while
  // full screen), from which the preview build picks the DV decoder's resolution; after a change
  // of size (full screen and back, the area resized) a running preview is rebuilt when the
  // resolution changes. A recording keeps its graph: its end rebuilds the preview.
  QSize PreviewAreaInPixels() const;
  void FollowPreviewSize();
  // A capture device went away or came back: the lists are read again and the preview rebuilt.
  void GraphDeviceLost();
  // The graph gave up (EC_ERRORABORT: a write error, a full disk): a recording ends as "Stop"
  // ends it, its file keeping what was written, and the error panel says why.
  void GraphErrorAbort(HRESULT result);
  // Makes GraphDeviceLost and GraphErrorAbort the handlers of dmCam's graph's events.
  void AttachDeviceLost();
  // The refresh button beside the video source list.
  void ActualiserVideoBtnClick();

  // The menu "Réglages" (mainFluxOptions.cpp). BuildOptionsMenu empties it and offers one entry
  // per settings dialog the current devices expose, and for an analogue card the submenu
  // "Video Input" with the default input routed and checked. OptionsEntryClick runs the entry's
  // dialog (the graph stopped, emptied or left running as the dialog needs) and brings the
  // preview back; MENU_VIDEOINPUTSELECT routes the crossbar to the clicked input.
  void BuildOptionsMenu();
  void OptionsEntryClick(QObject* Sender);
  void MENU_VIDEOINPUTSELECT(QObject* Sender);

  // Source, format and sound choices (mainFluxChoices.cpp). A change of source binds the device
  // and rebuilds the preview; the format arranges the window; the listening boxes act on the
  // graph at once when a preview exists (during a recording, the recording goes on in the next
  // file, as a cut does); the deinterlacer box rebuilds the preview.
  void cboxVideoChange();
  void cboxAudioChange();
  void rgFormatClick();
  void cbEnregistrerAudioSourceClick();
  void cbEnregistrerAudioDVClick();
  void cbEcouterAudioSourceClick();
  void cbEcouterAudioDVClick();
  void cbDeinterlacerClick();

  // Programmed recording (mainFluxSchedule.cpp), carried by RxClock2's alarm. TabSheet2Show
  // proposes a start 10 seconds and an end 30 minutes 10 seconds from now (unless a programme
  // is in force). ArmSchedule ("Prog") arms the start, or the end of a running recording;
  // DisarmSchedule ("Stop Prog") drops the programme; both give false when the alarm could not
  // be set. lancerEnregistrement and stopperEnregistrement are the alarm's actions at the
  // start and the end time.
  void TabSheet2Show();
  void ProgBtnClick();
  void ProgStopBtnClick();
  bool ArmSchedule();
  bool DisarmSchedule();
  void NowBtnClick();
  void RxSpinEdit4Change();
  void RxSpinEdit5Change();
  void RxSpinEdit6Change();
  void lancerEnregistrement();
  void stopperEnregistrement();

  // Still images (mainFluxImages.cpp), on the page "Images". GrabFrame copies the grabber's
  // last frame into GrabBitmap and the thumbnail; false (GrabBitmap and the thumbnail as they
  // were) when there is no frame. SaveGrabbedImage writes GrabBitmap as a BMP or JPEG file
  // under ImageFileName, never over an existing file (a name taken since it was formed gives
  // way to the next free one), then forms the next name; it raises vidorra::Exception when the
  // file cannot be written (nothing is left on disk and the name stays). "Grab" and the
  // intervallometer's ticks save only a frame just grabbed; when there is none, or the file
  // cannot be written, the error panel says so and the intervallometer goes on.
  void grabBtnClick();
  bool GrabFrame();
  void SaveGrabbedImage();
  void RxSwitch1Click();
  void Timer1Timer();
  void TrackBar1Change();

  // A DV camcorder's tape (mainFluxTape.cpp), on the page "Cassette", which is there while a
  // DV camcorder is the source. The transport buttons command the tape over the camcorder's
  // link; they are disabled, the page saying why, when it does not answer. "Capturer la
  // cassette" rewinds the tape, then records it from its start, "Capturer à partir d'ici" from
  // where it is, until the end of what was filmed (the camcorder stopped at the tape's end, or
  // no frame for 3 s); the tape is then stopped and the preview comes back. A tape capture is a
  // recording: "Stop" (either page's) ends it, every frame so far kept. TapeTimerTimer shows
  // the timecode and recording date of the frame on show, five times a second, and follows a
  // tape capture.
  void LectureBtnClick();
  void PauseBtnClick();
  void StopBandeBtnClick();
  void RembobinerBtnClick();
  void AvanceBtnClick();
  void CassetteBtnClick();
  void IciBtnClick();
  void TapeTimerTimer();
  // The status line over the picture while a recording runs (mainFluxStatus.cpp), once a second.
  void StatsTimerTimer();

  // Window-level state.
  std::uint8_t CaptureState = stNoSource;
  // The name of the video device last bound, which the video box no longer shows once it says
  // "Connexion impossible".
  QString VideoSourceName;
  QString VideoFileName;
  QString ImageFileName;
  QString PersonalDir;
  QString MyVideoDir;
  QString MyPicturesDir;
  std::int32_t VideoCounter = 0;
  std::int32_t ImageCounter = 0;
  QDateTime StartupTime;
  std::unique_ptr<TBitmap> GrabBitmap;
  std::unique_ptr<TJpegImage> GrabJpeg;
  // 64 bits: the longest period offered (999999 minutes) exceeds a 32-bit count of ms.
  std::int64_t IntervalMs = 0;
  std::int32_t IntervalCountdown = 0;
  BOOL ScreenSaverWasActive = 0;

  // Top bar.
  QFrame* Bevel1 = nullptr;
  QPushButton* PleinEcranBtn = nullptr;
  QPushButton* AproposBtn = nullptr;
  QToolButton* ActualiserVideoBtn = nullptr;
  QComboBox* cboxVideo = nullptr;
  QPushButton* QuitterBtn = nullptr;
  // Preview area.
  QFrame* Panel1 = nullptr;
  TVideoWindow* vwEcran = nullptr;
  QMenu* PopupMenu = nullptr;
  QAction* Capture1 = nullptr;
  QAction* Couper1 = nullptr;
  QAction* Stop1 = nullptr;
  QAction* PLeinEcran1 = nullptr;
  // Pages.
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QWidget* TabSheet4 = nullptr;
  // "Capturer".
  QGroupBox* gbFichier = nullptr;
  vidorra::FolderPicker* VideoDirEdit = nullptr;
  QLineEdit* VideoRacineEdit = nullptr;
  QCheckBox* VideoDate = nullptr;
  QLabel* LabelVideo = nullptr;
  vidorra::RadioGroup* rgFormat = nullptr;
  vidorra::RadioGroup* rgStandard = nullptr;
  QGroupBox* gbAudio = nullptr;
  QCheckBox* cbEnregistrerAudioSource = nullptr;
  QCheckBox* cbEnregistrerAudioDV = nullptr;
  QComboBox* cboxAudio = nullptr;
  QLabel* labAudioDV = nullptr;  // in Bevel4, which stands where gbAudio does
  QFrame* Bevel4 = nullptr;
  QPushButton* CaptureBtn = nullptr;
  QPushButton* CouperBtn = nullptr;
  QPushButton* StopBtn = nullptr;
  // "Programmer".
  vidorra::AlarmClock* RxClock2 = nullptr;
  QLabel* labDebut = nullptr;
  vidorra::SpinEdit* RxSpinEdit1 = nullptr;
  vidorra::SpinEdit* RxSpinEdit2 = nullptr;
  vidorra::SpinEdit* RxSpinEdit3 = nullptr;
  QLabel* labFin = nullptr;
  vidorra::SpinEdit* RxSpinEdit4 = nullptr;
  vidorra::SpinEdit* RxSpinEdit5 = nullptr;
  vidorra::SpinEdit* RxSpinEdit6 = nullptr;
  QToolButton* NowBtn = nullptr;
  QPushButton* ProgBtn = nullptr;
  QPushButton* ProgStopBtn = nullptr;
  // "Images".
  QFrame* Bevel2 = nullptr;
  QLabel* Image = nullptr;
  QPushButton* grabBtn = nullptr;
  vidorra::OnOffSwitch* RxSwitch1 = nullptr;
  QLabel* labIntervallometre = nullptr;
  QLabel* chronoLab = nullptr;
  QLabel* destlab = nullptr;
  // "Options".
  QCheckBox* cbDeinterlacer = nullptr;
  QGroupBox* gbFichiersImages = nullptr;
  vidorra::FolderPicker* ImageDirEdit = nullptr;
  QLineEdit* ImageRacineEdit = nullptr;
  QCheckBox* ImageDate = nullptr;
  QLabel* LabelImage = nullptr;
  vidorra::RadioGroup* rgExtension = nullptr;
  QGroupBox* gbQuality = nullptr;
  QSlider* TrackBar1 = nullptr;
  QLabel* labQuality = nullptr;
  QGroupBox* gbIntervallometre = nullptr;
  vidorra::SpinEdit* RxSpinEdit7 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QCheckBox* cbRapport = nullptr;  // a report beside each recording
  // "Cassette".
  QWidget* TabSheet5 = nullptr;
  QPushButton* RembobinerBtn = nullptr;
  QPushButton* AvanceBtn = nullptr;
  QPushButton* LectureBtn = nullptr;
  QPushButton* PauseBtn = nullptr;
  QPushButton* StopBandeBtn = nullptr;
  QLabel* labCommandes = nullptr;  // why the transport is disabled
  QCheckBox* cbUnFichierParScene = nullptr;
  QCheckBox* cbNommerParDate = nullptr;
  QPushButton* CassetteBtn = nullptr;
  QPushButton* IciBtn = nullptr;
  QLabel* labTimecode = nullptr;  // under the picture, in Panel1
  QLabel* labStatistiques = nullptr;  // over the picture, in Panel1, while recording
  QTimer* StatsTimer = nullptr;
  vidorra::SoundMeter* SoundMeter1 = nullptr;  // beside the picture, in Panel1's border
  QTimer* TapeTimer = nullptr;
  // Bottom bar.
  QLabel* LabelIntervallo = nullptr;
  QCheckBox* cbEcouterAudioSource = nullptr;
  QCheckBox* cbEcouterAudioDV = nullptr;
  QSlider* tb = nullptr;
  QCheckBox* cbMute = nullptr;
  // Panels, menu and timer.
  TAproposFrame* AproposFrame1 = nullptr;
  TErreurFrame* ErreurFrame1 = nullptr;
  QMenuBar* MainMenu1 = nullptr;
  QMenu* MENU_OPTIONS = nullptr;
  vidorra::WindowTimer* Timer1 = nullptr;
  // The free space where recordings go: checked at each start, watched while one runs.
  vidorra::DiskSpaceWatch* DiskSpace = nullptr;
  // The files being recorded, noted for a repair at the next start should the program die.
  std::unique_ptr<vidorra::RecordingJournal> Journal;
  // Repairs the recordings a program that died left unfinished (started by FormCreate).
  std::unique_ptr<QThread> RepairThread;
  // Names the files the recording's multiplexer begins while it runs (a DV stream recorded as
  // DV type 1 or 2: its scenes, its cuts); null for other recordings. While a recording runs,
  // the usual names come from it.
  ComPtr<vidorra::RecordingFileNamer> FileNamer;
  qsizetype FileNamesSeen = 0;  // of its names, those the window has shown

 protected:
  // Keeps the panel's hint from showing over the picture (the video window has no tooltip).
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Runs FormShow the first time the window is shown.
  void showEvent(QShowEvent* event) override;

 private:
  // mainFluxLayout.cpp
  void BuildLayout();
  void BuildTopBar(QWidget* client);
  void BuildPreview(QWidget* client);
  void BuildPages(QWidget* client);
  void BuildCapturePage();
  void BuildProgramPage();
  void BuildImagesPage();
  void BuildOptionsPage();
  void BuildTapePage();
  // Shows or hides the fifth page, the tabs narrowed to fit five.
  void ShowTapePage(bool shown);
  void BuildBottomBar(QWidget* client);
  void BuildPanelsMenusAndTimer(QWidget* client);
  void ConnectHandlers();

  // mainFlux.cpp
  void ReadShellFolders();

  // mainFluxRecording.cpp
  void ConnectRecordingHandlers();
  // `handler` as a slot that acts only when the data module exists (a window made alone, as the
  // layout tests make it, has no graph to act on).
  std::function<void()> OnGraph(void (TCaptureForm::*handler)());
  // Sets the border colour and the controls common to every state (the table's rows).
  void ApplyStateControls(std::uint8_t state, const QColor& border);
  // Rebuilds the preview and enters `previewState` (stPreview or stProgrammed), or
  // stNoSource with the graph stopped and emptied when the preview does not run.
  void EndInPreview(std::uint8_t previewState = stPreview);
  // Keeps an unplugged device in the emptied graph so that its return is heard.
  void HearReturnOf(IUnknown* device);
  // Ends a failed start, cut or stop: the preview or no-source state, then the error panel.
  void RecordingFailed(const QString& message);
  // A recording that cannot go on is stopped as "Stop" does, then the error panel says why.
  void RecordingEnded(const QString& message);
  // False, with the error panel saying so, when VideoFileName's disk has too little room.
  bool EnoughSpaceToRecord();

  // Repairs, off the window's thread, the files noted by programs that ended before finishing
  // them; the error panel then names each file repaired, with its frames and length.
  void RepairUnfinishedRecordings();

  // Ends a start that failed: a file it left is not reused, the preview (or no-source state)
  // comes back as `previewState` says, and the error panel names the file.
  void CaptureFailed(std::uint8_t previewState);

  // mainFluxOptions.cpp
  void AddOptionsEntry(int kind, int& position);
  void AddVideoInputMenu();
  void ClearOptionsMenu();
  // The entries' position numbers in the current build, by kind; -1 when not offered.
  std::array<int, 11> OptionsSlots{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  QMenu* VideoInputMenu = nullptr;
  QAction* VideoInputChecked = nullptr;  // the input in use, ticked in VideoInputMenu

  // mainFluxChoices.cpp
  void ConnectChoiceHandlers();
  // Stops the graph, runs `change`, and runs the graph again; a running recording goes on in
  // the next file (a stopped file writer does not write over the file it finished), or ends
  // with the error panel when it cannot.
  void RestartGraphAfter(const std::function<void()>& change);
  // Where the layout puts the listening boxes and how wide the format group is beside the
  // standard group or alone.
  QPoint ListenPlaces[3];  // stacked: the upper and the lower place; a box alone
  int FormatNarrowWidth = 0;
  int FormatWideWidth = 0;

  // mainFluxStatus.cpp: shows and starts the status line as a recording begins, hides it as it
  // ends (called by every state change).
  void UpdateStatusLine(bool recording);
  // Gives the sound meter the sounds of the graph as it now is (every state change).
  void UpdateSoundMeter(bool recording);
  QElapsedTimer RecordingClock;
  bool DropsSeen = false;
  // For the report of the running recording: its start, the drops counted so far and when they
  // were seen ("0:00:12 : 2"), and the file it is written beside (noted as the recording ends,
  // before its graph stops).
  QDateTime RecordingStart;
  long DropsNoted = 0;
  // The capture pin's counts before the recording's graph last ran again (a cut that stops and
  // restarts the graph, a settings dialog), and the frames shown last.
  long DeliveredBefore = 0;
  long DroppedBefore = 0;
  long DeliveredShown = 0;
  // Before the recording's graph stops to run again: its counts so far are kept.
  void CarryCaptureCounts();
  QStringList DropTimes;
  QString ReportFile;
  // Writes ReportFile's report when "Rapport d'enregistrement" is ticked (the file finished).
  void WriteRecordingReport();

  // mainFluxTape.cpp
  void ConnectTapeHandlers();
  // Shows the page and the timecode line for a DV camcorder, and sets its controls for the
  // window's state and the tape capture's step (called by every state change).
  void UpdateTapePage();
  // Asks the tape transport for `mode`; false, with the error panel naming `caption`'s
  // command, when the camcorder refused it or did not answer.
  bool TapeCommand(long mode, const char* caption);
  void BeginTapeCapture(bool rewind);
  // The tape is where the capture starts: the recording begins, then the tape plays.
  void StartTapeRecording();
  // Ends a tape capture: the tape stops, the recording ends as "Stop" ends it.
  void EndTapeCapture();
  enum class TapeStep { kNone, kRewinding, kRecording };
  TapeStep TapeCapture = TapeStep::kNone;
  std::uint64_t TapeFramesSeen = 0;
  QElapsedTimer SinceTapeFrame;

  // mainFluxSchedule.cpp
  void ConnectScheduleHandlers();
  // Sets the alarm time from three spin edits (hour, minute, second); raises EInvalidTime.
  void SetAlarmFrom(const vidorra::SpinEdit* hour, const vidorra::SpinEdit* minute,
                    const vidorra::SpinEdit* second);
  // Sets one component of the alarm time from an end spin edit during a timed recording.
  void MoveProgrammedEnd(void (vidorra::AlarmClock::*set)(std::uint8_t),
                         const vidorra::SpinEdit* edit);

  // mainFluxImages.cpp
  void ConnectImageHandlers();
  // Grabs and saves one picture; a failure goes to the error panel.
  void GrabAndSave();
  void ShowGrabError(const QString& message);

  // mainFluxGraph.cpp
  void CopyAudioChoices();
  void ApplyVolume();
  // The video window in dmCam's graph, and its renderer.
  IBaseFilter* VideoRenderer();

  QString grabError_;  // the grab error on show, not shown again while the panel is up
  bool destroyed_ = false;
  bool shown_ = false;
};
