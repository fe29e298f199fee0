// The names of the files a recording's AVI Mux begins while it runs: at each new scene of a DV
// tape, at a cut made without stopping the stream, and, for a tape capture named by date, the
// first file at its first frame.
//
// A file named by date is ROOT_AAAA-MM-JJ_hh-mm-ss.avi after the recording date and time of its
// first frame (ROOT with the recordings' folder before it), "_2", "_3"... added when that name
// is taken; a frame without a date, or a recording not named by date, gets the next of the
// window's usual names. No name given is ever the name of something on disk. Each name is noted
// in the recording journal before the mux writes the file's first byte.
//
// Threads: NextFileName on the mux's own thread (no lock of the mux held); the rest on the
// window's. The window does not use the journal while the recording runs.
#pragma once

#include <comimpl.h>
#include <vidorra_filters.h>

#include <QString>
#include <QStringList>
#include <cstdint>
#include <mutex>

namespace vidorra {

class RecordingJournal;

class RecordingFileNamer : public CUnknown, public IAviFileNamer {
 public:
  struct Rules {
    QString dateStem;   // folder, separator, ROOT and "_": where the date goes
    bool byDate = false;
    QString usualStem;  // the window's usual names: stem + number + ".avi"
    std::int32_t counter = 0;
  };
  RecordingFileNamer(Rules rules, RecordingJournal* journal);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP NextFileName(const SYSTEMTIME* recordedAt, LPOLESTR* name) override;

  // Window's thread: the next of the usual names from `stem` (the window's folder and root as
  // they are now, kept for the files named later; its number used up), and the name the next
  // file the mux begins is to have (a cut's).
  QString NextUsualName(const QString& stem);
  void NameNextFile(const QString& file);
  // The names given so far, in order, and the usual names' next number.
  QStringList Names() const;
  std::int32_t Counter() const;

  // "ROOT_AAAA-MM-JJ_hh-mm-ss" (without the extension) for that date and time.
  static QString DateName(const QString& dateStem, const SYSTEMTIME& at);

 private:
  QString UsualNameLocked();

  mutable std::mutex mutex_;
  Rules rules_;
  RecordingJournal* const journal_;
  QStringList names_;
  QString pending_;  // the next file's name, when the window gave one
};

}  // namespace vidorra
