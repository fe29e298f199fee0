// AvSetMmThreadCharacteristicsW for the task "Capture" against a RealtimeKit service on a
// private bus: real-time when the service grants it, else a nice level (lowered by the process
// itself where it may, else by the service), else nothing, and never a failure the thread has to
// stop for.
#include <avrt.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <winbase.h>

#include <QDBusVariant>
#include <thread>

#include "FakeScreenSaverService.h"

namespace vidorra {
namespace {

// A small org.freedesktop.RealtimeKit1 service on the test process's private bus, made the
// system bus too (DBUS_SYSTEM_BUS_ADDRESS). It answers the properties a client reads
// (MaxRealtimePriority 20, MinNiceLevel -15, RTTimeUSecMax 200000), grants or refuses
// MakeThreadRealtime and MakeThreadHighPriority as told (without changing any thread), and records
// the calls.
class FakeRealtimeKit : public test::FakeBusService {
 public:
  FakeRealtimeKit(bool grantsRealtime, bool grantsNice)
      : FakeBusService("vidorra-rtkit"), grantsRealtime_(grantsRealtime), grantsNice_(grantsNice) {
    Register("org.freedesktop.RealtimeKit1", "/org/freedesktop/RealtimeKit1");
  }
  ~FakeRealtimeKit() override { Unregister(); }

  // Calls() holds the calls of the two methods (not the property reads).
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    const QString member = message.member();
    if (member == QLatin1String("Get") && message.arguments().size() == 2) {
      const QString name = message.arguments()[1].toString();
      QVariant value;
      if (name == QLatin1String("MaxRealtimePriority")) value = QVariant::fromValue(20);
      if (name == QLatin1String("MinNiceLevel")) value = QVariant::fromValue(-15);
      if (name == QLatin1String("RTTimeUSecMax")) value = QVariant::fromValue(qlonglong{200000});
      return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(value))));
    }
    const bool realtime = member == QLatin1String("MakeThreadRealtime");
    if (!realtime && member != QLatin1String("MakeThreadHighPriority")) return false;
    const bool grants = realtime ? grantsRealtime_ : grantsNice_;
    {
      std::lock_guard lock(mutex_);
      RecordLocked(message);
    }
    return connection.send(
        grants ? message.createReply()
               : message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                          QStringLiteral("refused")));
  }

 private:
  const bool grantsRealtime_, grantsNice_;
};

struct Outcome {
  HANDLE handle = nullptr;
  DWORD error = 0;
  pid_t thread = 0;
  int niceRaised = 0, niceAfter = 0;  // the thread's nice level while raised, after the revert
};

// Drops CAP_SYS_NICE from the calling thread's effective capabilities (they are per thread).
void DropNicePrivilege() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return;
  data[0].effective &= ~(1u << CAP_SYS_NICE);
  ::syscall(SYS_capset, &header, data);
}

// Asks for "Capture" on a thread of its own (without the privilege to lower its own nice level
// when dropNice), then reverts.
Outcome RaiseOnAThread(bool dropNice) {
  Outcome o;
  std::thread([&] {
    if (dropNice) DropNicePrivilege();
    o.thread = ::gettid();
    DWORD task = 99;
    o.handle = AvSetMmThreadCharacteristicsW(L"Capture", &task);
    o.error = o.handle ? 0 : GetLastError();
    o.niceRaised = ::getpriority(PRIO_PROCESS, static_cast<id_t>(o.thread));
    if (o.handle) {
      EXPECT_EQ(task, 0u);
      std::thread([&] { EXPECT_FALSE(AvRevertMmThreadCharacteristics(o.handle)) << "another's"; }).join();
      EXPECT_TRUE(AvRevertMmThreadCharacteristics(o.handle));
    }
    o.niceAfter = ::getpriority(PRIO_PROCESS, static_cast<id_t>(o.thread));
  }).join();
  return o;
}

// Whether a thread of this process may lower its own nice level to -11 (privilege or limit).
bool MayLowerNice(bool dropNice) {
  bool may = false;
  std::thread([&] {
    if (dropNice) DropNicePrivilege();
    may = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -11) == 0;
  }).join();
  return may;
}

TEST(ThreadCharacteristics, CaptureIsRealtimeWhenGrantedElseANiceLevelElseAsItWas) {
#if defined(__SANITIZE_THREAD__)
  // libdbus and QtDBus are not instrumented: ThreadSanitizer sees their internal hand-overs
  // (atomics it cannot observe) as races that are not in our code.
  GTEST_SKIP() << "uninstrumented D-Bus";
#endif
  if (!test::FakeScreenSaverService::BusAvailable()) GTEST_SKIP() << "no private bus";
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", std::getenv("DBUS_SESSION_BUS_ADDRESS"), 1);
  DWORD task = 0;
  EXPECT_EQ(AvSetMmThreadCharacteristicsW(L"Pro Audio", &task), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_TASK_NAME));
  EXPECT_TRUE(!AvRevertMmThreadCharacteristics(nullptr) && GetLastError() == ERROR_INVALID_HANDLE);
  {
    SCOPED_TRACE("the service grants real-time");
    FakeRealtimeKit kit(true, true);
    ASSERT_TRUE(kit.Registered());
    const Outcome o = RaiseOnAThread(false);
    EXPECT_NE(o.handle, nullptr);
    const auto calls = kit.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, QStringLiteral("MakeThreadRealtime"));
    EXPECT_EQ(calls[0].arguments[0].toULongLong(), static_cast<qulonglong>(o.thread));
    EXPECT_EQ(calls[0].arguments[1].toUInt(), 3u) << "under a sound server's priority";
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_RTTIME, &limit), 0);
    EXPECT_LE(limit.rlim_max, 200000u) << "the service's condition: real-time CPU time limited";
  }
  {
    SCOPED_TRACE("the service refuses real-time");
    FakeRealtimeKit kit(false, true);
    const Outcome o = RaiseOnAThread(false);
    EXPECT_NE(o.handle, nullptr);
    const auto calls = kit.Calls();
    ASSERT_FALSE(calls.empty());
    if (MayLowerNice(false)) {
      EXPECT_EQ(o.niceRaised, -11) << "lowered by the process itself";
      EXPECT_EQ(o.niceAfter, 0) << "put back";
      EXPECT_EQ(calls.size(), 1u);
    } else {
      EXPECT_EQ(calls.back().method, QStringLiteral("MakeThreadHighPriority"));
      EXPECT_EQ(calls.back().arguments[1].toInt(), -11);
    }
  }
  if (!MayLowerNice(true)) {
    SCOPED_TRACE("nothing allowed");
    FakeRealtimeKit kit(false, false);
    const Outcome o = RaiseOnAThread(true);
    EXPECT_EQ(o.handle, nullptr);
    EXPECT_EQ(o.error, static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
    EXPECT_EQ(o.niceRaised, 0) << "the thread runs as it was";
    EXPECT_EQ(kit.Calls().size(), 2u) << "real-time, then a nice level, both asked";
  }
}

}  // namespace
}  // namespace vidorra
