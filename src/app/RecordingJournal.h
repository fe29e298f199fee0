// Recordings in progress, written down where the program's next start finds them if this one
// dies before they are finished (killed, crashed, the machine down). Each running program keeps
// one journal in the user's state folder ($XDG_STATE_HOME/vidorra, else ~/.local/state/vidorra),
// named after its process and locked (flock) while it lives: one line per file, made durable
// before the file's first byte is written, emptied once the recording is finished.
//
// A journal whose program has ended (no such process, and its lock free) lists the files that
// may be unfinished: FindLeftBehind locks such journals and hands their files over; the journals
// go when the caller is done with them (a program that dies while repairing leaves them for the
// next start).
//
// Threads: Begin and Finished on one thread at a time: the window's, or, while a recording runs,
// the thread of its multiplexer that asks for the name of each file it begins (the window does
// not use the journal then); FindLeftBehind and LeftBehind from any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace vidorra {

class RecordingJournal {
 public:
  RecordingJournal() = default;
  ~RecordingJournal();
  RecordingJournal(const RecordingJournal&) = delete;
  RecordingJournal& operator=(const RecordingJournal&) = delete;

  // The state folder the journals are kept in.
  static QString Folder();
  // Notes file as being recorded; false when the journal cannot be written (the recording
  // goes on: a repair by hand stays possible).
  bool Begin(const QString& file);
  // Every file noted is finished.
  void Finished();
  // Journals of programs that ended, locked by this one: their files (each once), and the
  // journals removed when this goes.
  class LeftBehind {
   public:
    LeftBehind() = default;
    ~LeftBehind();
    LeftBehind(const LeftBehind&) = delete;
    LeftBehind& operator=(const LeftBehind&) = delete;
    QStringList files;

   private:
    friend class RecordingJournal;
    QList<QPair<QString, int>> journals_;
  };
  static std::unique_ptr<LeftBehind> FindLeftBehind();
  // The files that running programs (this one included) are recording now.
  static QStringList BeingRecorded();

 private:
  bool Open();
  int fd_ = -1;
  QString path_;
  bool noted_ = false;
};

}  // namespace vidorra
