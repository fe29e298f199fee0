// A small org.freedesktop.ScreenSaver service on the session bus for tests: it answers Inhibit
// with a fresh cookie and UnInhibit for a known cookie, and records the calls. It runs on its
// own connection and thread, so the code under test makes real, blocking bus calls to it.
// Each test process gets a bus daemon of its own (UsePrivateBus), so that tests running at once
// in several processes never see each other's service.
#pragma once

#include <sys/types.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

namespace vidorra::test {

// A service's object on a connection of its own to the test's private bus, answered on a
// thread of its own (what it answers is the derived class's handleMessage), with the calls it
// records.
class FakeBusService : public QDBusVirtualObject {
 public:
  struct Call {
    QString method;
    QVariantList arguments;
  };

  bool Registered() const { return registered_; }
  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  QString introspect(const QString&) const override { return {}; }

 protected:
  explicit FakeBusService(const char* connectionName)
      : connectionName_(QString::fromLatin1(connectionName)),
        connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_)) {
    thread_.start();
    moveToThread(&thread_);
  }
  ~FakeBusService() override {
    Unregister();
    QDBusConnection::disconnectFromBus(connectionName_);
  }
  // Puts the object and the service on the bus: the derived constructor's last step.
  void Register(const char* service, const char* path) {
    service_ = QString::fromLatin1(service);
    path_ = QString::fromLatin1(path);
    registered_ = connection_.isConnected() && connection_.registerVirtualObject(path_, this) &&
                  connection_.registerService(service_);
  }
  // Takes them off the bus and stops the thread: the derived destructor's first step.
  void Unregister() {
    if (connection_.isConnected() && !path_.isEmpty()) {
      connection_.unregisterService(service_);
      connection_.unregisterObject(path_);
      path_.clear();
    }
    thread_.quit();
    thread_.wait();
  }
  // Under mutex_.
  void RecordLocked(const QDBusMessage& message) {
    calls_.push_back({message.member(), message.arguments()});
  }

  mutable std::mutex mutex_;  // guards the calls and the derived class's state

 private:
  const QString connectionName_;
  QDBusConnection connection_;
  QThread thread_;
  QString service_, path_;
  bool registered_ = false;
  std::vector<Call> calls_;
};

class FakeScreenSaverService : public FakeBusService {
 public:
  // Gives this test process a session bus of its own, before anything uses the session bus;
  // the bus daemon is stopped when the process exits. False when no bus could be started.
  static bool UsePrivateBus() {
    static const bool ready = [] {
      QProcess daemon;
      daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--fork"),
                    QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
      if (!daemon.waitForFinished(5000) || daemon.exitCode() != 0) return false;
      const QStringList lines = QString::fromUtf8(daemon.readAllStandardOutput())
                                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
      static const pid_t pid = lines.size() < 2 ? 0 : static_cast<pid_t>(lines[1].toLongLong());
      if (pid <= 0) return false;
      setenv("DBUS_SESSION_BUS_ADDRESS", lines[0].trimmed().toUtf8().constData(), 1);
      std::atexit([] { kill(pid, SIGTERM); });
      return true;
    }();
    return ready;
  }

  static bool BusAvailable() {
    return UsePrivateBus() && QDBusConnection::sessionBus().isConnected();
  }

  FakeScreenSaverService() : FakeBusService("vidorra-fake-screensaver") {
    Register("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver");
  }
  ~FakeScreenSaverService() override { Unregister(); }

  size_t ActiveInhibitions() const {
    std::lock_guard lock(mutex_);
    return active_.size();
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    std::lock_guard lock(mutex_);
    RecordLocked(message);
    const QVariantList arguments = message.arguments();
    if (message.member() == QLatin1String("Inhibit") && arguments.size() == 2) {
      active_.insert(nextCookie_);
      return connection.send(message.createReply(QVariant::fromValue(nextCookie_++)));
    }
    if (message.member() != QLatin1String("UnInhibit") || arguments.size() != 1) return false;
    if (active_.erase(arguments[0].toUInt()) == 0) {
      return connection.send(
          message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                   QStringLiteral("unknown cookie")));
    }
    return connection.send(message.createReply());
  }

 private:
  std::set<uint> active_;
  uint nextCookie_ = 7001;
};

}  // namespace vidorra::test
