// What the sound meter and the status line cost: the main window on the simulated DV camcorder
// (with the tone device added as a second sound), previewing and then recording DV type 2, its
// process CPU per frame with the meter and the status line at work and with both switched off
// (no levels measured by the DV Splitter or the audio device, no meter polled or painted, no
// status line), in interleaved rounds (on, off, on, off, ...) of the same length. "Ecouter DV" is
// unticked, so that in the preview the DV sound is read from the frames only for the meter, and
// the added device runs in the preview only for the meter (each preview round builds the
// preview again, as the program does, with or without the metering). The
// difference is given per frame and as a share of one core (CPU seconds per second); medians
// over the rounds with the lowest and highest round. Goal: under 2 % of one core.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <vector>

#include "BenchCompare.h"
#include "BenchWindow.h"
#include "SoundMeter.h"

namespace {

using vidorra::bench::ProcessCpuSeconds;
using vidorra::bench::Pump;
using vidorra::bench::SpreadOf;

constexpr double kSeconds = 4;
constexpr double kSettleSeconds = 0.5;
constexpr double kFramesPerSecond = 25.0;

// The window with the tone device added to the camcorder's sound, not listening to the DV sound.
struct Window : vidorra::bench::WindowOnMachine {
  Window()
      : WindowOnMachine("video dv Camcorder\naudio tone Micro\n", [](TCaptureForm& form) {
          form.cbEcouterAudioDV->setChecked(false);
          form.cbEnregistrerAudioSource->setChecked(true);
        }) {}
  // The meter and the status line at work (as the state operations set them), or switched off.
  // The preview is built again each time: metered, the added device runs with it although
  // nobody listens to it; not metered, it does not.
  void Figures(bool on, bool recording) {
    if (!recording) form->StartPreview();
    if (on) {
      if (recording) {
        form->SetRecordingState();
      } else {
        form->SetPreviewState();
      }
      return;
    }
    form->SoundMeter1->SetSources({});
    for (const ComPtr<IAudioLevels>& levels : {dmCam->DvSoundLevels(), dmCam->AudioSourceLevels()}) {
      if (levels) levels->SetMetering(FALSE);
    }
    form->StatsTimer->stop();
    form->labStatistiques->hide();
    if (!recording) {
      dmCam->fg->StopGraph();
      dmCam->fg->RunGraph();
    }
  }
};

// One side's process CPU per second of a run.
double Share(Window& window, bool on, bool recording) {
  window.Figures(on, recording);
  Pump(kSettleSeconds);
  const double cpu = ProcessCpuSeconds();
  Pump(kSeconds);
  return (ProcessCpuSeconds() - cpu) / kSeconds;
}

void Compare(benchmark::State& state, bool recording) {
  int argc = 0;
  QApplication app(argc, nullptr);
  Window window;
  TCaptureForm& form = *window.form;
  if (form.CaptureState != stPreview) {
    state.SkipWithError("no preview");
    return;
  }
  if (recording) {
    form.CaptureBtnClick();
    if (form.CaptureState != stRecording) {
      state.SkipWithError("the recording did not start");
      return;
    }
  }
  std::vector<double> onMs, offMs, points;
  for (auto _ : state) {
    const double on = Share(window, true, recording);
    const double off = Share(window, false, recording);
    onMs.push_back(on / kFramesPerSecond * 1000);
    offMs.push_back(off / kFramesPerSecond * 1000);
    points.push_back((on - off) * 100);
    std::printf("round: with %.3f ms, without %.3f ms per frame, difference %.2f %% of a core\n",
                onMs.back(), offMs.back(), points.back());
  }
  if (recording) form.StopBtnClick();
  const auto report = [&](const char* name, const std::vector<double>& values) {
    const auto spread = SpreadOf(values);
    state.counters[std::string(name)] = spread.median;
    state.counters[std::string(name) + "_low"] = spread.low;
    state.counters[std::string(name) + "_high"] = spread.high;
  };
  report("with_ms_per_frame", onMs);
  report("without_ms_per_frame", offMs);
  report("difference_percent_of_core", points);
}

void BM_Preview(benchmark::State& state) { Compare(state, false); }
void BM_RecordingDVType2(benchmark::State& state) { Compare(state, true); }

BENCHMARK(BM_Preview)->Iterations(7)->Unit(benchmark::kSecond);
BENCHMARK(BM_RecordingDVType2)->Iterations(7)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
