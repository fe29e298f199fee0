// Each app test runs with its own home folder, configuration folder and session bus and no
// simulated machine, so the shell folders (and the files the names must not replace) are the test's
// own.
#pragma once

#include <gtest/gtest.h>
#include <scoped_env.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <ostream>

#include "../win/FakeScreenSaverService.h"
#include "ErrorReport.h"
#include "ShellExecute.h"
#include "SimulatedMachine.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace vidorra::test {

// Stands in for the desktop that opens links while it lives: keeps the addresses, answers `opens`.
class RecordingOpener {
 public:
  explicit RecordingOpener(bool opens = true)
      : previous_(win::SetDesktopOpener([this, opens](const std::string& address) {
          addresses_ << QString::fromStdString(address);
          return opens;
        })) {}
  ~RecordingOpener() { win::SetDesktopOpener(previous_); }
  RecordingOpener(const RecordingOpener&) = delete;
  RecordingOpener& operator=(const RecordingOpener&) = delete;
  const QStringList& Addresses() const { return addresses_; }

 private:
  QStringList addresses_;
  win::DesktopOpener previous_;
};

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Before the window first touches the session bus (screen saver).
    FakeScreenSaverService::UsePrivateBus();
    ASSERT_TRUE(dir_.isValid());
    home_ = dir_.path() + QStringLiteral("/home");
    config_ = dir_.path() + QStringLiteral("/config");
    QDir().mkpath(home_);
    QDir().mkpath(config_);
    env_.Set("HOME", home_.toStdString());
    env_.Set("XDG_CONFIG_HOME", config_.toStdString());
    env_.Set("VIDORRA_SIMULATION", std::nullopt);
    win::SimulatedMachine::ReloadCurrentForTesting();
    previousReporter_ = SetErrorReporter([this](const QString& m) { reports_ << m; });
  }

  void TearDown() override {
    SetErrorReporter(previousReporter_);
    env_.Restore();
    win::SimulatedMachine::ReloadCurrentForTesting();
    EXPECT_TRUE(reports_.isEmpty()) << reports_.join(QStringLiteral(" | ")).toStdString();
  }

  void WriteFile(const QString& path, const QByteArray& text = QByteArray()) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(text);
  }

  void Simulate(const QByteArray& text) {
    const QString path = dir_.path() + QStringLiteral("/machine");
    WriteFile(path, text);
    env_.Set("VIDORRA_SIMULATION", path.toStdString());
    win::SimulatedMachine::ReloadCurrentForTesting();
  }

  QTemporaryDir dir_;
  QString home_;
  QString config_;
  QStringList reports_;

 private:
  ScopedEnv env_;
  ErrorReporter previousReporter_;
};

}  // namespace vidorra::test
