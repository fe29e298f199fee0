// Unit graph: the data module TdmCam (instance dmCam), which owns the program's one filter graph
// and every filter the program places in it by name, and the graph routines built on them.
//
// The component set (fg, VideoSource, AudioSource, sg, Deinterlacer, DVencoder, color, color2,
// Smarttee, Infinite, Infinite2, Null) is read at creation from the module's form data (the
// resource ":/graph.form"), as a stored form is: the helper filters' monikers and the sample
// grabber's media type live there. A filter joins the graph under its component name, which is
// how the graph builders find the tees again.
//
// Split by concern: graph.cpp (creation, destruction), graphChecks.cpp (filter availability,
// DirectX version), graphDevices.cpp (device lists and source selection), graphPreview.cpp
// (the preview graph and the source's control interfaces), graphCapture.cpp (the recording
// graphs and the cut), graphMonitor.cpp (listening to the sound).
//
// Thread: the UI thread only. The unit's shared state below (source kind, flags, the source's
// output pin) is kept as members of the one module; the routines of this unit write it.
#pragma once

#include <comptr.h>
#include <strmif.h>
#include <vidorra_dv.h>
#include <vidorra_levels.h>

#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "Bitmap.h"
#include "Component.h"
#include "CrossBar.h"
#include "MediaGraph.h"

// How the chosen video source is driven (VideoSourceKind).
enum : std::uint8_t {
  vskInterleaved = 0,
  vskVideoPort = 1,
  vskPreview = 2,
  vskCapture = 3,
  vskNone = 4,
};

class TdmCam : public TComponent {
 public:
  // Reads the components from the form data and loads them (fg becomes active); becomes
  // dmCam. Raises EReadError when the form data is missing or does not hold the whole set.
  TdmCam();
  // Runs DataModuleDestroy (an error it raises goes to the application's error report), then
  // frees the components; dmCam is cleared.
  ~TdmCam() override;

  QString ClassName() const override { return QStringLiteral("TdmCam"); }

  // Stops and empties the graph, then deactivates it. Errors pass to the caller.
  void DataModuleDestroy();

  // Whether a filter of that friendly name is registered in the category of that friendly
  // name (both compared without regard to the case of A..Z). Enumerator errors pass.
  bool IsFilterInstalled(const QString& category, const QString& name);
  // The same search; on success the found entry's moniker is stored in the component, which
  // instantiates exactly that filter the next time it joins a graph. False leaves the stored
  // moniker unchanged. Enumerator errors pass.
  bool BindFilterByName(const QString& category, const QString& name, TFilter* filter);
  // The DirectX version of the registry ("4.09.00.0904" gives "9.0d"). Raises EConvertError
  // when the key or value is missing or the value does not have four dot-separated parts.
  void GetDirectXVersion(QString& text);

  // Fill `list` with the friendly names of the video (audio) capture devices in the
  // enumerator's order. False when an error was caught; the list is then left empty.
  bool ListVideoDevices(QStringList& list);
  bool ListAudioDevices(QStringList& list);
  // Stop and empty the graph, bind VideoSource to the first device named exactly `name` and
  // classify it (VideoSourceKind, IsDVSource, SourcePin). False when no device has that name
  // or an error was caught; the graph is then stopped and emptied, with VideoSource out of it.
  bool SelectVideoDevice(const QString& name);
  // The same for AudioSource, without classification.
  bool SelectAudioDevice(const QString& name);

  // ---- Preview (graphPreview.cpp); every routine catches what is raised inside it ----

  // Resets the graph, looks up the source's interfaces and renders the source by its kind
  // through the deinterlacer (when UseDeinterlacer) into sg, then sg through color into
  // `renderer`, and attaches listening. False when the source could not be rendered.
  bool BuildPreviewGraph(IBaseFilter* renderer);
  // Stops and empties the graph; every helper filter leaves it (the sources stay).
  bool ResetGraph();
  // The source's compression, stream configuration, dropped frames and driver dialogs
  // interfaces, a DV camcorder's tape transport and frame information, and the crossbar found
  // upstream of its first analogue video input pin.
  bool FindSourceInterfaces();
  // Empties the graph, takes both sources out of it and releases what the look-ups found.
  bool ReleaseSourceInterfaces();
  // The audio source's stream configuration; false (nothing done) when audio is not recorded.
  bool FindAudioStreamConfig();
  // What the video source's output offers, each coding with its sizes ("H264 (1920x1080,
  // 1280x720)"), and whether the preview's converters and decoders take any of its formats
  // (graphFormats.cpp). False when the source has no stream configuration or an error was
  // caught.
  bool DescribeVideoFormats(QStringList& offered, bool& showable);

  // ---- Recording (graphCapture.cpp) ----

  // A new graph: the source's own stream (or the camcorder's interleaved DV) into the AVI file
  // at `path`, the preview rebuilt into `renderer`.
  bool BuildNativeCaptureGraph(const QString& path, IBaseFilter* renderer);
  // Extends the preview of a DV source: the DV video unchanged and the DV sound as two
  // streams. False for any other source, or when the DV Splitter is not in the graph.
  bool BuildDVType2CaptureGraph(const QString& path);
  // Extends the preview: the picture re-encoded to DV, PAL for `standard` 0, else NTSC.
  bool BuildRecompressCaptureGraph(const QString& path, std::uint8_t standard);
  // Names the next file of the running recording (graph stopped); false when no recording
  // graph was built.
  bool SwitchOutputFile(const QString& path);

  // ---- The preview's size (graphPreviewSize.cpp) ----

  // The DV decoder's resolution (IIPDVDec) for a preview of PreviewArea: for a DV source, the
  // smallest of half and quarter whose picture, shown at 4:3 (a PAL half picture is 384x288 on
  // screen), covers the area in both directions, else full; full for other sources and for an
  // empty area (full screen).
  int ChoosePreviewResolution();
  // A still image of the preview's last frame, whole: while the preview shows the DV picture
  // reduced, the DV decoder's last frame decoded whole (and deinterlaced when UseDeinterlacer),
  // else the copy sg keeps. Null when there is no frame.
  std::unique_ptr<TBitmap> GrabFrame();

  // ---- Listening (graphMonitor.cpp); both need the graph stopped ----

  // Renders the separate audio source (through Infinite2 while it is recorded) to the default
  // audio renderer, or takes that renderer out. False when AudioSource is not in the graph.
  bool MonitorAudioSource(bool on);
  // The same for the DV sound (through Infinite, else the DV Splitter's first audio output).
  bool MonitorDVAudio(bool on);

  // ---- Sound levels (graphLevels.cpp) ----

  // The levels of the DV sound (the DV Splitter's, measured also while nobody listens to it)
  // and of the separate audio source (which then runs with the graph even while neither
  // recorded nor listened to), for the window's meter; null when the graph carries no such
  // sound.
  ComPtr<IAudioLevels> DvSoundLevels();
  ComPtr<IAudioLevels> AudioSourceLevels();

  // The components.
  TFilterGraph* fg = nullptr;
  TFilter* VideoSource = nullptr;
  TFilter* AudioSource = nullptr;
  TSampleGrabber* sg = nullptr;
  TFilter* Deinterlacer = nullptr;
  TFilter* DVencoder = nullptr;
  TFilter* color = nullptr;
  TFilter* color2 = nullptr;
  TFilter* Smarttee = nullptr;
  TFilter* Infinite = nullptr;
  TFilter* Infinite2 = nullptr;
  TFilter* Null = nullptr;

  // The unit's shared state.
  std::uint8_t VideoSourceKind = vskInterleaved;
  // The chosen video source delivers an interleaved DV stream (set with vskInterleaved).
  bool IsDVSource = false;
  // The output pin found while classifying (kinds 0, 2 and 3); null otherwise.
  ComPtr<IPin> SourcePin;
  // The source lists hold at least one device (written by the window's fill operations).
  bool HasVideoSources = false;
  bool HasAudioSources = false;
  // A preview graph has been built for the current video device.
  bool PreviewReady = false;
  // Copies of the window's sound choices, taken at each build.
  bool RecordAudioSource = false;
  bool RecordDVAudio = false;
  bool ListenAudioSource = false;
  bool ListenDVAudio = false;
  // Put the Deinterlacer in front of sg; whether its filter was found at start-up.
  bool UseDeinterlacer = false;
  bool DeinterlacerInstalled = false;
  // The source's interfaces, held from one look-up to the next.
  ComPtr<IAMVideoCompression> VideoCompression;
  ComPtr<IAMStreamConfig> VideoStreamConfig;
  ComPtr<IAMVfwCaptureDialogs> VfwCaptureDialogs;
  std::unique_ptr<TCrossbar> Crossbar;
  std::int32_t CrossbarInputCount = 0;
  ComPtr<IAMStreamConfig> AudioStreamConfig;
  // The capture pin's counts of frames delivered and dropped.
  ComPtr<IAMDroppedFrames> DroppedFrames;
  // A DV camcorder's tape transport and what its last frame carried (null for other sources).
  ComPtr<IDvTapeTransport> TapeTransport;
  ComPtr<IDvFrameInfo> DvFrames;
  // The preview's video area in device pixels (empty: full screen), given by the window; and
  // the DV decoder's resolution the last preview build chose from it (below full, the
  // deinterlacer is left out: half a picture's rows are one field's).
  QSize PreviewArea;
  int PreviewResolution = DVRESOLUTION_FULL;
  // The multiplexer and file writer of the last recording graph.
  ComPtr<IBaseFilter> AviMux;
  ComPtr<IFileSinkFilter> FileSink;

 private:
  template <class T>
  T* Component(const char* name);
  bool ListDevices(const GUID& category, QStringList& list);
  // Steps shared by both selections: stop and empty the graph, take `source` out of it, find
  // `name` in `category` and, when found, store its moniker and let `source` join the graph.
  bool BindSource(TFilter* source, const GUID& category, const QString& name);
  void ClassifyVideoSource();
  void ForgetVideoSource();
  // Preview steps.
  HRESULT RenderVideoPort(ICaptureGraphBuilder2* builder, IBaseFilter* deinterlacer,
                          IBaseFilter* grabber);
  ComPtr<IBaseFilter> JoinDeinterlacer();
  void FindCrossbar();
  // The filter that feeds sg (null when sg is not connected).
  ComPtr<IBaseFilter> GrabberFeeder();
  // Sets PreviewResolution on the DV decoder that feeds sg, whose output is then connected to
  // nothing else.
  void ApplyPreviewResolution();
  // The rows of the DV source's picture (576, or 480 for a 525/60 stream).
  int DvSourceRows();
  // Recording steps.
  bool OpenCapture(ICaptureGraphBuilder2* builder, const QString& path, bool strict,
                   bool withAudio, bool dvPicture);
  void CloseCapture(ICaptureGraphBuilder2* builder);
  void AddAudioStream(ICaptureGraphBuilder2* builder, IBaseFilter* source, TFilter* tee);
  // Listening: the pin to render or free, null when there is none.
  bool Monitor(bool on, const ComPtr<IPin>& pin);
  // Listening on a recording's tee: rendered from its free output, or every listener on its
  // outputs taken out.
  bool MonitorTee(bool on, ICaptureGraphBuilder2* builder, IBaseFilter* tee);
  ComPtr<IFilterGraph> Graph();
};

// The program's data module; null before it is created and after it is destroyed.
extern TdmCam* dmCam;
