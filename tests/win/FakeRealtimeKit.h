// A small org.freedesktop.RealtimeKit1 service for tests, on the test process's private bus
// made the system bus too (DBUS_SYSTEM_BUS_ADDRESS). It
// answers the properties a client reads (MaxRealtimePriority 20, MinNiceLevel -15,
// RTTimeUSecMax 200000), grants or refuses MakeThreadRealtime and MakeThreadHighPriority as told
// (without changing any thread), and records the calls.
#pragma once

#include <QDBusVariant>
#include <cstdlib>

#include "FakeScreenSaverService.h"

namespace vidorra::test {

class FakeRealtimeKit : public FakeBusService {
 public:
  // The private session bus, made the system bus as well.
  static bool BusAvailable() {
    if (!FakeScreenSaverService::BusAvailable()) return false;
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", std::getenv("DBUS_SESSION_BUS_ADDRESS"), 1);
    return true;
  }

  FakeRealtimeKit(bool grantsRealtime, bool grantsNice)
      : FakeBusService(kConnectionName), grantsRealtime_(grantsRealtime), grantsNice_(grantsNice) {
    Register(kService, kPath);
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
    return connection.send(grants ? message.createReply()
                                  : message.createErrorReply(
                                        QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                        QStringLiteral("refused")));
  }

 private:
  static constexpr const char* kConnectionName = "vidorra-fake-rtkit";
  static constexpr const char* kService = "org.freedesktop.RealtimeKit1";
  static constexpr const char* kPath = "/org/freedesktop/RealtimeKit1";

  const bool grantsRealtime_;
  const bool grantsNice_;
};

}  // namespace vidorra::test
