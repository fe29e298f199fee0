// TCaptureForm's menu "Réglages": rebuilt from what the current devices expose after every
// preview build, with one entry per settings dialog (capture driver dialogs, property pages of
// the capture filters, their pins, the crossbars, the tuner and the TV sound) and, for an
// analogue card heard through an audio device, the submenu "Video Input" of the crossbar's
// inputs. The dialogs are modal; each entry stops, empties or leaves the graph as its dialog
// needs and brings the preview back after it.
#include <HwndQt.h>
#include <comptr.h>
#include <olectl.h>
#include <strmif.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <QAction>
#include <QScopeGuard>
#include <QActionGroup>
#include <QMenu>
#include <vector>

#include "Assert.h"
#include "HandlerGuard.h"
#include "MediaGraph.h"
#include "graph.h"
#include "mainFlux.h"

using vidorra::Connect;

namespace {

// The settings entries, in the order they are considered and added (the slots' indexes).
enum OptionsEntry : int {
  oeVideoFormat,
  oeVideoSource,
  oeAudioFilter,
  oeVideoFilter,
  oeVideoCapturePin,
  oeVideoPreviewPin,
  oeVideoCrossbar,
  oeSecondCrossbar,
  oeTvTuner,
  oeAudioCapturePin,
  oeTvAudio,
  oeCount,
};

constexpr const char* kEntryCaptions[oeCount] = {
    "Video Format...",         "Video Source...",      "Audio Capture Filter...",
    "Video Capture Filter...", "Video Capture Pin...", "Video Preview Pin...",
    "Video Crossbar...",       "Second Crossbar...",   "TV Tuner...",
    "Audio Capture Pin...",    "TV Audio...",
};

constexpr const char* kVideoInputCaption = "Video Input";
// Where the property frames open, from the main window's corner.
constexpr UINT kFrameX = 30;
constexpr UINT kFrameY = 30;
// The connector type of a tuner's picture input (PhysConn_Video_Tuner).
constexpr std::int32_t kTunerConnector = 1;

// How an interface of the video source counts as found. When the menu is built, a source whose
// interleaved (DV) pin answers gets no pin, crossbar or tuner entry; when an entry is clicked,
// either media type will do.
enum class Lookup { kBuild, kClick };

ComPtr<ICaptureGraphBuilder2> Builder() { return QueryAs<ICaptureGraphBuilder2>(dmCam->fg); }
ComPtr<IBaseFilter> FilterOf(TFilter* component) { return QueryAs<IBaseFilter>(component); }

ComPtr<IUnknown> VideoLookup(const GUID& category, REFIID iid, Lookup lookup) {
  const ComPtr<ICaptureGraphBuilder2> builder = Builder();
  const ComPtr<IBaseFilter> source = FilterOf(dmCam->VideoSource);
  ComPtr<IUnknown> found;
  if (!builder || !source) return found;
  if (builder->FindInterface(&category, &MEDIATYPE_Interleaved, source.Get(), iid,
                             found.ReleaseAndGetVoidAddressOf()) == S_OK) {
    if (lookup == Lookup::kBuild) found.Reset();
    return found;
  }
  if (builder->FindInterface(&category, &MEDIATYPE_Video, source.Get(), iid,
                             found.ReleaseAndGetVoidAddressOf()) != S_OK) {
    found.Reset();
  }
  return found;
}

// An interface on the audio source's capture pin (or upstream of it); null when not found.
ComPtr<IUnknown> AudioLookup(REFIID iid) {
  const ComPtr<ICaptureGraphBuilder2> builder = Builder();
  const ComPtr<IBaseFilter> source = FilterOf(dmCam->AudioSource);
  ComPtr<IUnknown> found;
  if (!builder || !source) return found;
  if (FAILED(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, source.Get(), iid,
                                    found.ReleaseAndGetVoidAddressOf()))) {
    found.Reset();
  }
  return found;
}

// The crossbar feeding `first` (a crossbar found from the video source), or null.
ComPtr<IUnknown> SecondCrossbar(IUnknown* first) {
  const ComPtr<ICaptureGraphBuilder2> builder = Builder();
  const ComPtr<IBaseFilter> filter = QueryAs<IBaseFilter>(first);
  ComPtr<IUnknown> found;
  if (!builder || !filter) return found;
  if (FAILED(builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, filter.Get(), IID_IAMCrossbar,
                                    found.ReleaseAndGetVoidAddressOf()))) {
    found.Reset();
  }
  return found;
}

// The object's property pages; false (nothing to free) when it has none.
bool GetPages(IUnknown* object, CAUUID& pages) {
  pages = CAUUID{};
  const ComPtr<ISpecifyPropertyPages> specify = QueryAs<ISpecifyPropertyPages>(object);
  if (!specify) return false;
  if (specify->GetPages(&pages) != S_OK) {
    CoTaskMemFree(pages.pElems);
    pages = CAUUID{};
    return false;
  }
  return true;
}

bool HasPages(IUnknown* object) {
  CAUUID pages{};
  const bool has = GetPages(object, pages) && pages.cElems > 0;
  CoTaskMemFree(pages.pElems);
  return has;
}

// Shows the object's pages in a modal frame owned by `owner`; returns when the user closes it.
// Nothing is shown for an object without pages.
void ShowPages(QWidget* owner, IUnknown* object) {
  CAUUID pages{};
  if (object == nullptr || !GetPages(object, pages)) return;
  IUnknown* objects[] = {object};
  OleCreatePropertyFrame(HwndForWidget(owner), kFrameX, kFrameY, nullptr, 1, objects, pages.cElems,
                         pages.pElems, 0, 0, nullptr);
  CoTaskMemFree(pages.pElems);
}

bool IsRecording(std::uint8_t state) { return state == stRecording || state == stRecordingTimed; }

}  // namespace

void TCaptureForm::ClearOptionsMenu() {
  // The clicked entry may be among them (a dialog's entry rebuilds the preview, hence the
  // menu): they go once its click is over.
  for (QAction* action : MENU_OPTIONS->actions()) {
    MENU_OPTIONS->removeAction(action);
    if (action->parent() == MENU_OPTIONS) action->deleteLater();
  }
  if (VideoInputMenu != nullptr) VideoInputMenu->deleteLater();
  VideoInputMenu = nullptr;
  OptionsSlots.fill(-1);
}

void TCaptureForm::AddOptionsEntry(int kind, int& position) {
  QAction* item = MENU_OPTIONS->addAction(QString::fromUtf8(kEntryCaptions[kind]));
  item->setData(position);
  OptionsSlots[static_cast<size_t>(kind)] = position++;
  Connect(item, &QAction::triggered, this, [this, item] { OptionsEntryClick(item); });
}

void TCaptureForm::BuildOptionsMenu() {
  ClearOptionsMenu();
  if (dmCam == nullptr) return;
  int position = 0;
  const auto offer = [&](int kind, bool offered) {
    if (offered) AddOptionsEntry(kind, position);
  };

  IAMVfwCaptureDialogs* dialogs = dmCam->VfwCaptureDialogs.Get();
  offer(oeVideoFormat, dialogs != nullptr && dialogs->HasDialog(VfwCaptureDialog_Format) == S_OK);
  offer(oeVideoSource, dialogs != nullptr && dialogs->HasDialog(VfwCaptureDialog_Source) == S_OK);
  const bool audio = dmCam->HasAudioSources;
  offer(oeAudioFilter, audio && HasPages(FilterOf(dmCam->AudioSource).Get()));

  // Devices driven through the capture driver's dialogs get those and nothing more.
  const bool groupV = dmCam->HasVideoSources && OptionsSlots[oeVideoFormat] == -1;
  if (!groupV) return;
  offer(oeVideoFilter, HasPages(FilterOf(dmCam->VideoSource).Get()));
  offer(oeVideoCapturePin,
        HasPages(VideoLookup(PIN_CATEGORY_CAPTURE, IID_IAMStreamConfig, Lookup::kBuild).Get()));
  offer(oeVideoPreviewPin,
        HasPages(VideoLookup(PIN_CATEGORY_PREVIEW, IID_IAMStreamConfig, Lookup::kBuild).Get()));
  const ComPtr<IUnknown> crossbar =
      VideoLookup(PIN_CATEGORY_CAPTURE, IID_IAMCrossbar, Lookup::kBuild);
  const bool crossbarFilter = crossbar && QueryAs<IBaseFilter>(crossbar.Get());
  offer(oeVideoCrossbar, crossbarFilter && HasPages(crossbar.Get()));
  offer(oeSecondCrossbar, crossbarFilter && HasPages(SecondCrossbar(crossbar.Get()).Get()));
  offer(oeTvTuner,
        HasPages(VideoLookup(PIN_CATEGORY_CAPTURE, IID_IAMTVTuner, Lookup::kBuild).Get()));
  offer(oeAudioCapturePin, audio && HasPages(AudioLookup(IID_IAMStreamConfig).Get()));
  offer(oeTvAudio, audio && HasPages(AudioLookup(IID_IAMTVAudio).Get()));

  if (audio && dmCam->Crossbar && dmCam->CrossbarInputCount > 0) AddVideoInputMenu();
}

void TCaptureForm::AddVideoInputMenu() {
  // A bare separator: styles draw a separator's text as a section title beside its line.
  MENU_OPTIONS->addSeparator();
  VideoInputMenu = MENU_OPTIONS->addMenu(QString::fromLatin1(kVideoInputCaption));
  VideoInputMenu->setObjectName(QStringLiteral("VideoInputMenu"));
  auto* radio = new QActionGroup(VideoInputMenu);
  radio->setExclusive(true);
  TCrossbar& crossbar = *dmCam->Crossbar;
  std::vector<QAction*> items;
  std::int32_t defaultInput = -1;
  for (std::int32_t i = 0; i < dmCam->CrossbarInputCount; ++i) {
    std::int32_t type = 0;
    QString name;
    VIDORRA_ASSERT(crossbar.InputConnectorType(i, type) == S_OK, "");
    VIDORRA_ASSERT(crossbar.InputConnectorName(i, name) == S_OK, "");
    QAction* item = VideoInputMenu->addAction(name);
    item->setData(i);
    item->setCheckable(true);
    radio->addAction(item);
    Connect(item, &QAction::triggered, this, [this, item] { MENU_VIDEOINPUTSELECT(item); });
    items.push_back(item);
    if (defaultInput < 0 && type == kTunerConnector) defaultInput = i;
  }
  // The first tuner input, else input 0.
  if (defaultInput < 0) defaultInput = 0;
  items[static_cast<size_t>(defaultInput)]->setChecked(true);
  VideoInputChecked = items[static_cast<size_t>(defaultInput)];
  // The route goes back to the default input at every rebuild; a refusal shows in the picture.
  crossbar.SelectInput(defaultInput);
}

void TCaptureForm::MENU_VIDEOINPUTSELECT(QObject* Sender) {
  auto* item = qobject_cast<QAction*>(Sender);
  if (item == nullptr) return;
  // The menu's exclusive group has ticked the entry already: a route the crossbar refuses gives
  // the mark back to the input in use.
  QAction* const inUse = VideoInputChecked;
  auto keepMark = qScopeGuard([inUse] {
    if (inUse != nullptr) inUse->setChecked(true);
  });
  if (dmCam != nullptr && dmCam->Crossbar) {
    VIDORRA_ASSERT(dmCam->Crossbar->SelectInput(item->data().toInt()) == S_OK, "");
  }
  keepMark.dismiss();
  item->setChecked(true);
  VideoInputChecked = item;
}

void TCaptureForm::OptionsEntryClick(QObject* Sender) {
  auto* item = qobject_cast<QAction*>(Sender);
  if (item == nullptr || dmCam == nullptr) return;
  const int tag = item->data().toInt();
  int kind = 0;
  while (kind < oeCount && OptionsSlots[static_cast<size_t>(kind)] != tag) ++kind;
  if (kind == oeCount) return;

  TFilterGraph& fg = *dmCam->fg;
  HWND owner = HwndForWidget(this);
  // The dialogs that may change what the graph was connected with are followed by a new
  // preview. A recording it ends is complete; the next one gets a new name.
  const auto rebuild = [this] {
    const std::uint8_t before = CaptureState;
    if (IsRecording(before)) VideoFileName = BuildVideoFileName();
    if (!StartPreview()) {
      SetNoSourceState();
    } else if (before == stProgrammed) {
      SetProgrammedState();
    } else {
      SetPreviewState();
    }
  };

  switch (kind) {
    case oeVideoFormat: {
      fg.StopGraph();
      const HRESULT hr = dmCam->VfwCaptureDialogs
                             ? dmCam->VfwCaptureDialogs->ShowDialog(VfwCaptureDialog_Format, owner)
                             : E_POINTER;
      if (hr == VFW_E_CANNOT_CONNECT) fg.EmptyGraph();
      rebuild();
      break;
    }
    case oeVideoSource:
      RestartGraphAfter([&] {
        if (dmCam->VfwCaptureDialogs) {
          dmCam->VfwCaptureDialogs->ShowDialog(VfwCaptureDialog_Source, owner);
        }
      });
      break;
    case oeVideoFilter:
      fg.StopGraph();
      ShowPages(this, FilterOf(dmCam->VideoSource).Get());
      rebuild();
      break;
    case oeVideoCapturePin:
    case oeVideoPreviewPin:
      fg.StopGraph();
      fg.EmptyGraph();
      ShowPages(this,
                VideoLookup(kind == oeVideoCapturePin ? PIN_CATEGORY_CAPTURE : PIN_CATEGORY_PREVIEW,
                            IID_IAMStreamConfig, Lookup::kClick)
                    .Get());
      rebuild();
      break;
    case oeVideoCrossbar:
      ShowPages(this, VideoLookup(PIN_CATEGORY_CAPTURE, IID_IAMCrossbar, Lookup::kClick).Get());
      break;
    case oeSecondCrossbar:
      ShowPages(this, SecondCrossbar(
                          VideoLookup(PIN_CATEGORY_CAPTURE, IID_IAMCrossbar, Lookup::kClick).Get())
                          .Get());
      break;
    case oeTvTuner:
      ShowPages(this, VideoLookup(PIN_CATEGORY_CAPTURE, IID_IAMTVTuner, Lookup::kClick).Get());
      break;
    case oeAudioFilter:
      RestartGraphAfter([&] { ShowPages(this, FilterOf(dmCam->AudioSource).Get()); });
      break;
    case oeAudioCapturePin:
      RestartGraphAfter([&] { ShowPages(this, AudioLookup(IID_IAMStreamConfig).Get()); });
      break;
    case oeTvAudio:
      if (dmCam->HasAudioSources) ShowPages(this, AudioLookup(IID_IAMTVAudio).Get());
      break;
    default:
      break;
  }
}
