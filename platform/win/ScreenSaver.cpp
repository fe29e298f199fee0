// SystemParametersInfoA for the screen-saver switch, over the session bus's
// org.freedesktop.ScreenSaver service.
//
//  SPI_GETSCREENSAVEACTIVE  *(BOOL*)pvParam = TRUE when the service is on the session bus and
//                           this process does not hold an inhibition, else FALSE.
//  SPI_SETSCREENSAVEACTIVE  uiParam FALSE: Inhibit(application, reason), the cookie is kept (a
//                           second FALSE keeps the first inhibition); TRUE: UnInhibit(cookie)
//                           when one is held.
// Without a session bus or without the service there is no screen saver to switch: GET answers
// FALSE, SET succeeds and does nothing. fWinIni is ignored: nothing is ever written to a user
// profile. Other actions are not provided (FALSE).
//
// Threads: any thread (blocking D-Bus calls); the cookie is guarded by one mutex.
#include <winuser.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <cstdio>
#include <mutex>
#include <optional>

namespace {

constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kPath = "/org/freedesktop/ScreenSaver";
constexpr const char* kInterface = "org.freedesktop.ScreenSaver";
constexpr const char* kInhibitMethod = "Inhibit";
constexpr const char* kUnInhibitMethod = "UnInhibit";
constexpr const char* kDefaultApplicationName = "Vidorra";
constexpr const char* kInhibitReason = "Aperçu et capture vidéo";
constexpr int kCallTimeoutMs = 3000;

struct InhibitionState {
  std::mutex mutex;
  std::optional<uint> cookie;
};

InhibitionState& State() {
  static InhibitionState state;
  return state;
}

// The session bus when it is there and carries the screen-saver service.
std::optional<QDBusConnection> ScreenSaverBus() {
  // QtDBus needs the application object; without one there is no bus to speak of.
  if (QCoreApplication::instance() == nullptr) return std::nullopt;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr) return std::nullopt;
  const QDBusReply<bool> registered =
      bus.interface()->isServiceRegistered(QString::fromLatin1(kService));
  if (!registered.isValid() || !registered.value()) return std::nullopt;
  return bus;
}

QDBusMessage MethodCall(const char* method) {
  return QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                        QString::fromLatin1(kInterface),
                                        QString::fromLatin1(method));
}

BOOL GetActive(PVOID pvParam) {
  if (pvParam == nullptr) return FALSE;
  auto* result = static_cast<BOOL*>(pvParam);
  std::lock_guard lock(State().mutex);
  *result = (!State().cookie && ScreenSaverBus()) ? TRUE : FALSE;
  return TRUE;
}

BOOL Inhibit() {
  std::lock_guard lock(State().mutex);
  if (State().cookie) return TRUE;
  std::optional<QDBusConnection> bus = ScreenSaverBus();
  if (!bus) return TRUE;
  QString application = QCoreApplication::applicationName();
  if (application.isEmpty()) application = QString::fromLatin1(kDefaultApplicationName);
  QDBusMessage call = MethodCall(kInhibitMethod);
  call << application << QString::fromUtf8(kInhibitReason);
  const QDBusReply<uint> reply = bus->call(call, QDBus::Block, kCallTimeoutMs);
  if (!reply.isValid()) {
    std::fprintf(stderr, "screen saver: Inhibit failed: %s\n",
                 qUtf8Printable(reply.error().message()));
    return FALSE;
  }
  State().cookie = reply.value();
  return TRUE;
}

BOOL UnInhibit() {
  std::lock_guard lock(State().mutex);
  if (!State().cookie) return TRUE;
  const uint cookie = *State().cookie;
  State().cookie.reset();
  std::optional<QDBusConnection> bus = ScreenSaverBus();
  if (!bus) return TRUE;  // the service went away, and our inhibition with it
  QDBusMessage call = MethodCall(kUnInhibitMethod);
  call << cookie;
  const QDBusMessage reply = bus->call(call, QDBus::Block, kCallTimeoutMs);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    std::fprintf(stderr, "screen saver: UnInhibit failed: %s\n",
                 qUtf8Printable(reply.errorMessage()));
    return FALSE;
  }
  return TRUE;
}

}  // namespace

BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, PVOID pvParam, UINT /*fWinIni*/) {
  switch (uiAction) {
    case SPI_GETSCREENSAVEACTIVE:
      return GetActive(pvParam);
    case SPI_SETSCREENSAVEACTIVE:
      return uiParam != FALSE ? UnInhibit() : Inhibit();
    default:
      return FALSE;
  }
}
