// How the AVI Mux talks to the File Writer over a MEDIATYPE_Stream connection.
//
// - Data: each sample is a positioned write: its start time is the file offset of its first
//   byte (its stop time the offset past its last byte). A sample without time is appended at
//   the end of what was written. Any upstream filter producing a byte stream can use this.
// - Errors: Receive answers the write failure (disk full, folder gone, permission); the File
//   Writer also sends EC_ERRORABORT with that HRESULT to the graph, once per run.
// - IFileWriterStatus, on the File Writer's input pin: Sync() makes everything received so
//   far durable (flush, fdatasync) and GetWrittenEnd() tells how far the file holds the bytes,
//   so that after a failure the mux can finalise exactly what reached the file.
//   NextFile(name) closes the open file (sync, close) and creates name in its place, between two
//   writes, on the same thread that delivers the samples: what was delivered before it lands in
//   the old file, what comes after it in the new one (offsets count from the new file's start).
//   The new file is created as SetFileName's is, never over an existing file
//   (HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), the existing file untouched); an old file that was
//   never written to (a name given beforehand and replaced before the first byte) is removed.
//   A failure of it is a write failure (Receive answers it from then on, EC_ERRORABORT once).
//   The AVI Mux calls it from its delivery thread in the order of its writes (the old file's
//   indexes and headers queued before it like any bytes), so a split costs the sources'
//   streaming threads no disk I/O and no wait for the File Writer.
// - IFileWriterUpstream, on the mux's output pin: the graph stops the File Writer before the
//   mux (downstream first), so the writer's Stop first asks its upstream to finish the file
//   (indexes, headers) through the still-open connection, then closes the file. FinishStream
//   returns once the file holds everything (the mux delivers on its own thread meanwhile; the
//   File Writer's Receive takes no lock that its Stop holds).
#pragma once

#include <objbase.h>

// {EDB1760E-1ECD-4C1A-8984-F2CE011493AB}
DEFINE_GUID(IID_IFileWriterStatus, 0xEDB1760E, 0x1ECD, 0x4C1A, 0x89, 0x84, 0xF2, 0xCE, 0x01, 0x14,
            0x93, 0xAB);
// {3E05ABDB-346D-4B69-9C80-1DAD3C00280D}
DEFINE_GUID(IID_IFileWriterUpstream, 0x3E05ABDB, 0x346D, 0x4B69, 0x9C, 0x80, 0x1D, 0xAD, 0x3C, 0x00,
            0x28, 0x0D);

struct IFileWriterStatus : IUnknown {
  VIDORRA_INTERFACE(IID_IFileWriterStatus, IUnknown)
  // Flushes and fdatasyncs the open file; the write failure if there was one.
  STDMETHOD(Sync)() PURE;
  // End of the bytes the file holds from offset 0.
  STDMETHOD(GetWrittenEnd)(ULONGLONG* end) PURE;
  // Syncs and closes the open file, then creates name (never over an existing file) for the
  // writes that follow; removes the old file if nothing was ever written to it.
  STDMETHOD(NextFile)(LPCOLESTR name) PURE;
};

struct IFileWriterUpstream : IUnknown {
  VIDORRA_INTERFACE(IID_IFileWriterUpstream, IUnknown)
  // Called by the File Writer's Stop (filter lock held, file still open): write whatever ends
  // the stream now. Returns when done.
  STDMETHOD(FinishStream)() PURE;
};
