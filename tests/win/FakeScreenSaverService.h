// A small org.freedesktop.ScreenSaver service on the session bus for tests: it answers Inhibit
// with a fresh cookie and UnInhibit for a known cookie, and records the calls. It runs on its
// own connection and thread, so the code under test makes real, blocking bus calls to it.
// Needs DBUS_SESSION_BUS_ADDRESS (scripts/test starts a private bus).
#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QThread>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

namespace vidorra::test {

class FakeScreenSaverService {
 public:
  struct Call {
    QString method;
    QVariantList arguments;
  };

  static bool BusAvailable() {
    return std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr &&
           QDBusConnection::sessionBus().isConnected();
  }

  FakeScreenSaverService()
      : connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnectionName)) {
    thread_.start();
    object_.moveToThread(&thread_);
    object_.owner = this;
    registered_ = connection_.isConnected() && connection_.registerVirtualObject(kPath, &object_) &&
                  connection_.registerService(kService);
  }

  ~FakeScreenSaverService() {
    if (connection_.isConnected()) {
      connection_.unregisterService(kService);
      connection_.unregisterObject(kPath);
    }
    thread_.quit();
    thread_.wait();
    QDBusConnection::disconnectFromBus(kConnectionName);
  }

  bool Registered() const { return registered_; }

  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  size_t ActiveInhibitions() const {
    std::lock_guard lock(mutex_);
    return active_.size();
  }

 private:
  static constexpr const char* kConnectionName = "vidorra-fake-screensaver";
  static constexpr const char* kService = "org.freedesktop.ScreenSaver";
  static constexpr const char* kPath = "/org/freedesktop/ScreenSaver";

  class Object : public QDBusVirtualObject {
   public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
      return owner->Handle(message, connection);
    }
    FakeScreenSaverService* owner = nullptr;
  };

  bool Handle(const QDBusMessage& message, const QDBusConnection& connection) {
    std::lock_guard lock(mutex_);
    calls_.push_back({message.member(), message.arguments()});
    if (message.member() == QLatin1String("Inhibit") && message.arguments().size() == 2) {
      const uint cookie = nextCookie_++;
      active_.insert(cookie);
      connection.send(message.createReply(QVariant::fromValue(cookie)));
      return true;
    }
    if (message.member() == QLatin1String("UnInhibit") && message.arguments().size() == 1) {
      const uint cookie = message.arguments()[0].toUInt();
      if (active_.erase(cookie) == 0) {
        connection.send(
            message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                     QStringLiteral("unknown cookie")));
      } else {
        connection.send(message.createReply());
      }
      return true;
    }
    return false;
  }

  QDBusConnection connection_;
  QThread thread_;
  Object object_;
  bool registered_ = false;
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::set<uint> active_;
  uint nextCookie_ = 7001;
};

}  // namespace vidorra::test
