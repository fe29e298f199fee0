// AvSetMmThreadCharacteristicsW and AvRevertMmThreadCharacteristics for the task "Capture",
// as a sound server raises its threads on a Linux desktop:
//
//  1. RealtimeKit (org.freedesktop.RealtimeKit1 on the system bus) makes the thread real-time
//     (SCHED_RR) at kCapturePriority, below a sound server's own threads, once the process's
//     real-time CPU time is limited as the service requires (RLIMIT_RTTIME at most its
//     RTTimeUSecMax);
//  2. otherwise the thread's nice level is lowered to kCaptureNice where the process may do so
//     itself (RLIMIT_NICE, or the capability);
//  3. otherwise RealtimeKit is asked for that nice level (MakeThreadHighPriority, no lower than
//     its MinNiceLevel);
//  4. otherwise nothing changes: null, ERROR_PRIVILEGE_NOT_HELD.
//
// The system bus is only looked for where one can be (DBUS_SYSTEM_BUS_ADDRESS, or the standard
// socket), and only while a Qt application object exists (QtDBus needs one).
//
// Threads: any thread, for itself (blocking bus calls of at most kCallTimeoutMs each).
#include <avrt.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <winbase.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <optional>

namespace {

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kPath = "/org/freedesktop/RealtimeKit1";
constexpr const char* kInterface = "org.freedesktop.RealtimeKit1";
constexpr const char* kStandardSystemBus = "/run/dbus/system_bus_socket";
constexpr int kCallTimeoutMs = 1000;
// Under a sound server's real-time priority (5), so that the sound we listen to is never held
// up by our capture; the nice level a sound server takes when it cannot be real-time.
constexpr uint kCapturePriority = 3;
constexpr int kCaptureNice = -11;

// What a raise changed, to be put back.
struct Raised {
  pid_t thread = 0;
  bool realtime = false;
  int previousNice = 0;
};

std::optional<QDBusConnection> SystemBus() {
  if (QCoreApplication::instance() == nullptr) return std::nullopt;
  // The address is read now, not when the first bus of the process was opened.
  const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  if (address == nullptr && ::access(kStandardSystemBus, F_OK) != 0) return std::nullopt;
  QDBusConnection bus = address != nullptr
                            ? QDBusConnection::connectToBus(QString::fromUtf8(address),
                                                            QStringLiteral("vidorra-system-bus"))
                            : QDBusConnection::systemBus();
  if (!bus.isConnected()) return std::nullopt;
  return bus;
}

QDBusMessage Call(QDBusConnection& bus, const QDBusMessage& call) {
  return bus.call(call, QDBus::Block, kCallTimeoutMs);
}

// A property of the service, as a number.
std::optional<qlonglong> Property(QDBusConnection& bus, const char* name) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kService), QString::fromLatin1(kPath),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  call << QString::fromLatin1(kInterface) << QString::fromLatin1(name);
  const QDBusMessage reply = Call(bus, call);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
  bool ok = false;
  const qlonglong value =
      qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toLongLong(&ok);
  return ok ? std::optional(value) : std::nullopt;
}

bool AskService(QDBusConnection& bus, const char* method, pid_t thread, const QVariant& priority) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kService), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
      QString::fromLatin1(method));
  call << QVariant::fromValue(static_cast<qulonglong>(thread)) << priority;
  return Call(bus, call).type() == QDBusMessage::ReplyMessage;
}

// The service makes a thread real-time only for a process whose real-time CPU time without a
// blocking call is limited to at most its RTTimeUSecMax.
bool LimitRealtimeCpu(QDBusConnection& bus) {
  const std::optional<qlonglong> most = Property(bus, "RTTimeUSecMax");
  if (!most || *most <= 0) return false;
  const auto limit = static_cast<rlim_t>(*most);
  rlimit current{};
  if (::getrlimit(RLIMIT_RTTIME, &current) == 0 && current.rlim_max != RLIM_INFINITY &&
      current.rlim_max <= limit) {
    return true;
  }
  const rlimit wanted{limit, limit};
  return ::setrlimit(RLIMIT_RTTIME, &wanted) == 0;
}

bool MakeRealtime(QDBusConnection& bus, pid_t thread) {
  const std::optional<qlonglong> highest = Property(bus, "MaxRealtimePriority");
  if (!highest || *highest < 1 || !LimitRealtimeCpu(bus)) return false;
  const uint priority = std::min(kCapturePriority, static_cast<uint>(*highest));
  return AskService(bus, "MakeThreadRealtime", thread, QVariant::fromValue(priority));
}

bool LowerNice(pid_t thread) {
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), kCaptureNice) == 0;
}

bool LowerNiceByService(QDBusConnection& bus, pid_t thread) {
  const int lowest = static_cast<int>(Property(bus, "MinNiceLevel").value_or(kCaptureNice));
  return AskService(bus, "MakeThreadHighPriority", thread,
                    QVariant::fromValue(std::max(kCaptureNice, lowest)));
}

}  // namespace

HANDLE WINAPI AvSetMmThreadCharacteristicsW(LPCWSTR TaskName, LPDWORD TaskIndex) {
  if (TaskName == nullptr || std::wcscmp(TaskName, L"Capture") != 0) {
    SetLastError(ERROR_INVALID_TASK_NAME);
    return nullptr;
  }
  auto raised = std::make_unique<Raised>();
  raised->thread = ::gettid();
  errno = 0;
  raised->previousNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(raised->thread));
  if (errno != 0) raised->previousNice = 0;
  std::optional<QDBusConnection> bus = SystemBus();
  if (bus && MakeRealtime(*bus, raised->thread)) {
    raised->realtime = true;
  } else if (raised->previousNice > kCaptureNice && !LowerNice(raised->thread) &&
             !(bus && LowerNiceByService(*bus, raised->thread))) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return nullptr;
  }
  if (TaskIndex != nullptr) *TaskIndex = 0;
  return raised.release();
}

BOOL WINAPI AvRevertMmThreadCharacteristics(HANDLE AvrtHandle) {
  auto* handle = static_cast<Raised*>(AvrtHandle);
  if (handle == nullptr || handle->thread != ::gettid()) {
    SetLastError(ERROR_INVALID_HANDLE);  // none, or another thread's
    return FALSE;
  }
  const std::unique_ptr<Raised> raised(handle);
  // Back to the ordinary policy and the nice level it had: lowering one's own priority needs
  // no privilege.
  if (raised->realtime) {
    const sched_param ordinary{};
    ::sched_setscheduler(0, SCHED_OTHER, &ordinary);
  }
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(raised->thread), raised->previousNice);
  return TRUE;
}
