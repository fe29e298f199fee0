// A small org.freedesktop.ScreenSaver service on the session bus for tests: it answers Inhibit
// with a fresh cookie and UnInhibit for a known cookie, and records the calls. It runs on its
// own connection and thread, so the code under test makes real, blocking bus calls to it.
// Each test process gets a bus daemon of its own (UsePrivateBus), so that tests running at once
// in several processes never see each other's service.
#pragma once

#include <sys/types.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
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

class FakeScreenSaverService {
 public:
  struct Call {
    QString method;
    QVariantList arguments;
  };

  // Gives this test process a session bus of its own, before anything uses the session bus:
  // tests of several processes run at once, and each registers the one screen-saver name.
  // The bus daemon is stopped when the process exits. False when no bus could be started.
  static bool UsePrivateBus() {
    static const bool ready = [] {
      QProcess daemon;
      daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--fork"),
                    QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
      if (!daemon.waitForFinished(kDaemonStartMs) || daemon.exitCode() != 0) return false;
      const QStringList lines = QString::fromUtf8(daemon.readAllStandardOutput())
                                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
      if (lines.size() < 2) return false;
      static const pid_t pid = static_cast<pid_t>(lines[1].trimmed().toLongLong());
      if (pid <= 0) return false;
      setenv("DBUS_SESSION_BUS_ADDRESS", lines[0].trimmed().toUtf8().constData(), 1);
      std::atexit([] { kill(pid, SIGTERM); });
      return true;
    }();
    return ready;
  }

  // libdbus and QtDBus are not instrumented: ThreadSanitizer sees their internal hand-overs
  // (atomics it cannot observe) as races that are not in our code, so bus tests skip under it.
  static bool ThreadSanitizerBuild() {
#if defined(__SANITIZE_THREAD__)
    return true;
#else
    return false;
#endif
  }

  static bool BusAvailable() {
    return UsePrivateBus() && QDBusConnection::sessionBus().isConnected();
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
  static constexpr int kDaemonStartMs = 5000;
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
