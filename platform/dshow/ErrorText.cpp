// AMGetErrorTextA/W: one sentence for every DirectShow result code and the common COM codes.
#include <errors.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <string_view>

namespace {

struct ErrorText {
  HRESULT hr;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {E_FAIL, "Unspecified error."},
    {E_POINTER, "An invalid pointer was passed."},
    {E_NOINTERFACE, "No such interface is supported."},
    {E_NOTIMPL, "This function is not implemented."},
    {E_INVALIDARG, "One or more arguments are invalid."},
    {E_OUTOFMEMORY, "There is not enough memory to complete the operation."},
    {E_UNEXPECTED, "An unexpected failure occurred."},
    {E_ABORT, "The operation was aborted."},
    {E_ACCESSDENIED, "Access is denied."},
    {E_HANDLE, "The handle is invalid."},
    {HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), "The file exists."},
    {HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS),
     "Cannot create a file when that file already exists."},
    {HRESULT_FROM_WIN32(ERROR_DISK_FULL), "There is not enough space on the disk."},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL), "The disk is full."},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "The system cannot find the path specified."},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified."},
    {HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), "The system cannot write to the specified device."},
    {HRESULT_FROM_WIN32(ERROR_READ_FAULT), "The system cannot read from the specified device."},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), "Reached the end of the file."},
    {HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE),
     "The file size exceeds the limit allowed and cannot be saved."},
    {VFW_S_NO_MORE_ITEMS, "The end of the list has been reached."},
    {VFW_E_INVALIDMEDIATYPE, "An invalid media type was specified."},
    {VFW_E_INVALIDSUBTYPE, "An invalid media subtype was specified."},
    {VFW_E_NEED_OWNER, "This object can only be created as an aggregated object."},
    {VFW_E_ENUM_OUT_OF_SYNC, "The enumerator has become invalid."},
    {VFW_E_ALREADY_CONNECTED,
     "At least one of the pins involved in the operation is already connected."},
    {VFW_E_FILTER_ACTIVE, "This operation cannot be performed because the filter is active."},
    {VFW_E_NO_TYPES, "One of the specified pins supports no media types."},
    {VFW_E_NO_ACCEPTABLE_TYPES, "There is no common media type between these pins."},
    {VFW_E_INVALID_DIRECTION, "Two pins of the same direction cannot be connected together."},
    {VFW_E_NOT_CONNECTED, "The operation cannot be performed because the pins are not connected."},
    {VFW_E_NO_ALLOCATOR, "No sample buffer allocator is available."},
    {VFW_E_RUNTIME_ERROR, "A run-time error occurred."},
    {VFW_E_BUFFER_NOTSET, "No buffer space has been set."},
    {VFW_E_BUFFER_OVERFLOW, "The buffer is not big enough."},
    {VFW_E_BADALIGN, "An invalid alignment was specified."},
    {VFW_E_ALREADY_COMMITTED, "Cannot change allocated memory while the filter is active."},
    {VFW_E_BUFFERS_OUTSTANDING, "One or more buffers are still active."},
    {VFW_E_NOT_COMMITTED, "Cannot allocate a sample when the allocator is not active."},
    {VFW_E_SIZENOTSET, "Cannot allocate memory because no size has been set."},
    {VFW_E_NO_CLOCK, "Cannot lock for synchronization because no clock has been defined."},
    {VFW_E_NO_SINK, "Quality messages could not be sent because no quality sink has been defined."},
    {VFW_E_NO_INTERFACE, "A required interface has not been implemented."},
    {VFW_E_NOT_FOUND, "An object or name was not found."},
    {VFW_E_CANNOT_CONNECT,
     "No combination of intermediate filters could be found to make the connection."},
    {VFW_E_CANNOT_RENDER, "No combination of filters could be found to render the stream."},
    {VFW_E_CHANGING_FORMAT, "Could not change formats dynamically."},
    {VFW_E_NO_COLOR_KEY_SET, "No color key has been set."},
    {VFW_E_NOT_OVERLAY_CONNECTION,
     "The current pin connection is not using the overlay transport."},
    {VFW_E_NOT_SAMPLE_CONNECTION, "The current pin connection is not using the memory transport."},
    {VFW_E_PALETTE_SET, "Setting a color key would conflict with the palette already set."},
    {VFW_E_COLOR_KEY_SET, "Setting a palette would conflict with the color key already set."},
    {VFW_E_NO_COLOR_KEY_FOUND, "No matching color key is available."},
    {VFW_E_NO_PALETTE_AVAILABLE, "No palette is available."},
    {VFW_E_NO_DISPLAY_PALETTE, "The display does not use a palette."},
    {VFW_E_TOO_MANY_COLORS, "Too many colors for the current display settings."},
    {VFW_E_STATE_CHANGED, "The state changed while waiting to process the sample."},
    {VFW_E_NOT_STOPPED, "The operation could not be performed because the filter is not stopped."},
    {VFW_E_NOT_PAUSED, "The operation could not be performed because the filter is not paused."},
    {VFW_E_NOT_RUNNING, "The operation could not be performed because the filter is not running."},
    {VFW_E_WRONG_STATE,
     "The operation could not be performed because the filter is in the wrong state."},
    {VFW_E_START_TIME_AFTER_END, "The sample start time is after the sample end time."},
    {VFW_E_INVALID_RECT, "The supplied rectangle is invalid."},
    {VFW_E_TYPE_NOT_ACCEPTED, "This pin cannot use the supplied media type."},
    {VFW_E_SAMPLE_REJECTED, "This sample cannot be rendered."},
    {VFW_E_SAMPLE_REJECTED_EOS,
     "This sample cannot be rendered because the end of the stream has been reached."},
    {VFW_E_DUPLICATE_NAME, "An attempt to add a filter with a duplicate name failed."},
    {VFW_S_DUPLICATE_NAME,
     "The filter was added under a changed name because its name was already in use."},
    {VFW_E_TIMEOUT, "A time-out has expired."},
    {VFW_E_INVALID_FILE_FORMAT, "The file format is invalid."},
    {VFW_E_ENUM_OUT_OF_RANGE, "The list has already been exhausted."},
    {VFW_E_CIRCULAR_GRAPH, "The filter graph is circular."},
    {VFW_E_NOT_ALLOWED_TO_SAVE, "Updates are not allowed in this state."},
    {VFW_E_TIME_ALREADY_PASSED, "An attempt was made to queue a command for a time in the past."},
    {VFW_E_ALREADY_CANCELLED, "The queued command has already been canceled."},
    {VFW_E_CORRUPT_GRAPH_FILE, "Cannot render the file because it is corrupt."},
    {VFW_E_ADVISE_ALREADY_SET, "An overlay advise link already exists."},
    {VFW_S_STATE_INTERMEDIATE, "The state transition has not completed."},
    {VFW_E_NO_MODEX_AVAILABLE, "No full-screen modes are available."},
    {VFW_E_NO_ADVISE_SET, "This advise cannot be canceled because it was not successfully set."},
    {VFW_E_NO_FULLSCREEN, "A full-screen mode is not available."},
    {VFW_E_IN_FULLSCREEN_MODE, "Cannot call window methods while in full-screen mode."},
    {VFW_E_UNKNOWN_FILE_TYPE, "The media type of this file is not recognized."},
    {VFW_E_CANNOT_LOAD_SOURCE_FILTER, "The source filter for this file could not be loaded."},
    {VFW_S_PARTIAL_RENDER, "Some of the streams in this movie are in an unsupported format."},
    {VFW_E_FILE_TOO_SHORT, "A file appeared to be incomplete."},
    {VFW_E_INVALID_FILE_VERSION, "The version number of the file is invalid."},
    {VFW_S_SOME_DATA_IGNORED, "The file contained some property settings that were not used."},
    {VFW_S_CONNECTIONS_DEFERRED, "Some connections have failed and have been deferred."},
    {VFW_E_INVALID_CLSID, "This file is corrupt: it contains an invalid class identifier."},
    {VFW_E_INVALID_MEDIA_TYPE, "This file is corrupt: it contains an invalid media type."},
    {VFW_E_SAMPLE_TIME_NOT_SET, "No time stamp has been set for this sample."},
    {VFW_S_RESOURCE_NOT_NEEDED, "The resource specified is no longer needed."},
    {VFW_E_MEDIA_TIME_NOT_SET, "No media time stamp has been set for this sample."},
    {VFW_E_NO_TIME_FORMAT_SET, "No media time format has been selected."},
    {VFW_E_MONO_AUDIO_HW, "Cannot change balance because the audio device is mono only."},
    {VFW_S_MEDIA_TYPE_IGNORED,
     "The media type was ignored because a connection could not be made with it."},
    {VFW_E_NO_DECOMPRESSOR,
     "Cannot play back the video stream: no suitable decompressor could be found."},
    {VFW_E_NO_AUDIO_HARDWARE,
     "Cannot play back the audio stream: no audio hardware is available, or the hardware is not "
     "responding."},
    {VFW_S_VIDEO_NOT_RENDERED,
     "Cannot play back the video stream: no suitable decompressor could be found."},
    {VFW_S_AUDIO_NOT_RENDERED,
     "Cannot play back the audio stream: no audio hardware is available."},
    {VFW_E_RPZA, "Cannot play back the video stream: format RPZA is not supported."},
    {VFW_S_RPZA, "Cannot play back the video stream: format RPZA is not supported."},
    {VFW_E_PROCESSOR_NOT_SUITABLE, "This processor is not suitable for playing this media."},
    {VFW_E_UNSUPPORTED_AUDIO,
     "Cannot play back the audio stream: the audio format is not supported."},
    {VFW_E_UNSUPPORTED_VIDEO,
     "Cannot play back the video stream: the video format is not supported."},
    {VFW_E_MPEG_NOT_CONSTRAINED,
     "This video stream does not conform to the constrained MPEG parameters it claims."},
    {VFW_E_NOT_IN_GRAPH,
     "Cannot perform the requested function on an object that is not in the filter graph."},
    {VFW_S_ESTIMATED, "The value returned had to be estimated."},
    {VFW_E_NO_TIME_FORMAT,
     "Cannot get or set time related information on an object that is using a time format of "
     "TIME_FORMAT_NONE."},
    {VFW_E_READ_ONLY,
     "The connection cannot be made because the stream is read only and the filter alters the "
     "data."},
    {VFW_S_RESERVED, "This success code is reserved for internal purposes."},
    {VFW_E_BUFFER_UNDERFLOW, "The buffer is not full enough."},
    {VFW_E_UNSUPPORTED_STREAM, "Cannot play back the file: the format is not supported."},
    {VFW_E_NO_TRANSPORT, "Pins cannot connect because they do not support the same transport."},
    {VFW_S_STREAM_OFF, "The stream has been turned off."},
    {VFW_S_CANT_CUE, "The filter is active, but cannot deliver data in the paused state."},
    {VFW_E_BAD_VIDEOCD,
     "The Video CD cannot be read correctly by the device or the data is corrupt."},
    {VFW_S_NO_STOP_TIME, "The sample had a start time but not a stop time."},
    {VFW_E_OUT_OF_VIDEO_MEMORY,
     "There is not enough video memory at this display resolution and number of colors."},
    {VFW_E_VP_NEGOTIATION_FAILED, "The video port connection negotiation process has failed."},
    {VFW_E_DDRAW_CAPS_NOT_SUITABLE, "The display hardware is not suitable for this operation."},
    {VFW_E_NO_VP_HARDWARE,
     "No video port hardware is available, or the hardware is not responding."},
    {VFW_E_NO_CAPTURE_HARDWARE,
     "No capture hardware is available, or the hardware is not responding."},
    {VFW_E_DVD_OPERATION_INHIBITED,
     "This user operation is prohibited by the DVD content at this point."},
    {VFW_E_DVD_INVALIDDOMAIN, "This operation is not permitted in the current DVD domain."},
    {VFW_E_DVD_NO_BUTTON, "The requested button is not available."},
    {VFW_E_DVD_GRAPHNOTREADY, "The DVD graph has not been built yet."},
    {VFW_E_DVD_RENDERFAIL, "The DVD graph could not be built."},
    {VFW_E_DVD_DECNOTENOUGH, "No suitable DVD decoder is available."},
    {VFW_E_DDRAW_VERSION_NOT_SUITABLE,
     "The display driver version is not suitable for this operation."},
    {VFW_E_COPYPROT_FAILED, "Copy protection could not be enabled."},
    {VFW_S_NOPREVIEWPIN,
     "There is no preview pin available, so the capture pin output is being split to provide both "
     "capture and preview."},
    {VFW_E_TIME_EXPIRED, "The seek or step time has expired."},
    {VFW_S_DVD_NON_ONE_SEQUENTIAL,
     "The current title is not a sequential set of chapters, so the time is not accurate."},
    {VFW_E_DVD_WRONG_SPEED, "The operation cannot be performed at the current playback speed."},
    {VFW_E_DVD_MENU_DOES_NOT_EXIST, "The specified DVD menu does not exist."},
    {VFW_E_DVD_CMD_CANCELLED, "The DVD command was canceled."},
    {VFW_E_DVD_STATE_WRONG_VERSION, "The DVD state information contains the wrong version number."},
    {VFW_E_DVD_STATE_CORRUPT, "The DVD state information is corrupted."},
    {VFW_E_DVD_STATE_WRONG_DISC, "The DVD state information is from a different disc."},
    {VFW_E_DVD_INCOMPATIBLE_REGION, "The DVD region is not compatible with the current drive."},
    {VFW_E_DVD_NO_ATTRIBUTES, "The requested DVD stream attributes do not exist."},
    {VFW_E_DVD_NO_GOUP_PGC, "The DVD has no GoUp program chain."},
    {VFW_E_DVD_LOW_PARENTAL_LEVEL, "The DVD content is prohibited at the current parental level."},
    {VFW_E_DVD_NOT_IN_KARAOKE_MODE, "The DVD navigator is not in karaoke mode."},
    {VFW_S_DVD_CHANNEL_CONTENTS_NOT_AVAILABLE,
     "The audio stream does not contain sufficient information to determine the contents of each "
     "channel."},
    {VFW_S_DVD_NOT_ACCURATE, "The seek into the movie was not frame accurate."},
    {VFW_E_FRAME_STEP_UNSUPPORTED, "Frame stepping is not supported on this configuration."},
    {VFW_E_DVD_STREAM_DISABLED, "The requested DVD stream is disabled."},
    {VFW_E_DVD_TITLE_UNKNOWN,
     "The operation depends on the current title number, which cannot be determined."},
    {VFW_E_DVD_INVALID_DISC, "The specified path does not point to a valid DVD disc."},
    {VFW_E_DVD_NO_RESUME_INFORMATION, "There is currently no resume information."},
    {VFW_E_PIN_ALREADY_BLOCKED_ON_THIS_THREAD, "This thread has already blocked this output pin."},
    {VFW_E_PIN_ALREADY_BLOCKED, "This output pin is already blocked by another thread."},
    {VFW_E_CERTIFICATION_FAILURE, "The operation failed because of a certification failure."},
    {VFW_E_VMR_NOT_IN_MIXER_MODE, "The video renderer is not in mixer mode."},
    {VFW_E_VMR_NO_AP_SUPPLIED, "The application has not supplied a valid allocator-presenter."},
    {VFW_E_VMR_NO_DEINTERLACE_HW, "The video renderer could not find any deinterlacing hardware."},
    {VFW_E_VMR_NO_PROCAMP_HW, "The video renderer could not find any colour adjustment hardware."},
    {VFW_E_DVD_VMR9_INCOMPATIBLEDEC,
     "The hardware decoder is not compatible with the video renderer."},
    {VFW_E_NO_COPP_HW, "The display driver does not support output protection."},
    {VFW_E_BAD_KEY, "A registry entry is corrupt."},
};

const char* FindText(HRESULT hr) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.hr == hr) return entry.text;
  }
  return nullptr;
}

// Copies at most maxLen - 1 characters and a terminating zero; returns the characters copied.
template <class Char>
DWORD CopyText(const char* text, Char* buffer, DWORD maxLen) {
  if (!text || !buffer || maxLen == 0) return 0;
  const std::string_view view(text);
  const DWORD count = static_cast<DWORD>(std::min<size_t>(view.size(), maxLen - 1));
  // The texts are ASCII, so each byte is one character in either width.
  for (DWORD i = 0; i < count; ++i) buffer[i] = static_cast<Char>(view[i]);
  buffer[count] = 0;
  return count;
}

}  // namespace

DWORD AMGetErrorTextA(HRESULT hr, LPSTR pBuffer, DWORD MaxLen) {
  return CopyText(FindText(hr), pBuffer, MaxLen);
}

DWORD AMGetErrorTextW(HRESULT hr, LPWSTR pBuffer, DWORD MaxLen) {
  return CopyText(FindText(hr), pBuffer, MaxLen);
}
