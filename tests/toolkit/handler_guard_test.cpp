// The handler guard and the error report: nothing escapes into Qt, everything reaches the
// report; the assertion names its file and line.
#include <gtest/gtest.h>

#include <QPushButton>
#include <stdexcept>

#include "Assert.h"
#include "ErrorReport.h"
#include "HandlerGuard.h"

namespace vidorra {
namespace {

class ReportRecorder {
 public:
  ReportRecorder() {
    previous_ = SetErrorReporter([this](const QString& message) { messages.push_back(message); });
  }
  ~ReportRecorder() { SetErrorReporter(previous_); }
  QStringList messages;

 private:
  ErrorReporter previous_;
};

class Receiver : public QObject {
 public:
  void Throwing() { throw Exception(QStringLiteral("Échec du gestionnaire")); }
  void Counting() { ++calls; }
  void WithArgument(bool checked) { lastChecked = checked; }
  int calls = 0;
  bool lastChecked = false;
};

TEST(HandlerGuard, EveryExceptionReachesTheReportAndTheOtherHandlersStillRun) {
  ReportRecorder recorder;
  QPushButton button;
  Receiver receiver;
  Connect(&button, &QPushButton::clicked, &receiver, &Receiver::Throwing);
  Connect(&button, &QPushButton::clicked, &receiver, [] { throw std::runtime_error("boom"); });
  Connect(&button, &QPushButton::clicked, &receiver, [] { throw 42; });
  Connect(&button, &QPushButton::clicked, &receiver, &Receiver::Counting);
  button.click();
  ASSERT_EQ(recorder.messages.size(), 3);
  EXPECT_EQ(recorder.messages[0], QStringLiteral("Échec du gestionnaire"));
  EXPECT_EQ(recorder.messages[1], QStringLiteral("boom"));
  EXPECT_FALSE(recorder.messages[2].isEmpty());
  EXPECT_EQ(receiver.calls, 1);
}

TEST(HandlerGuard, HandlersGetTheSignalArgumentsOrNone) {
  QPushButton button;
  button.setCheckable(true);
  Receiver receiver;
  Connect(&button, &QPushButton::toggled, &receiver, &Receiver::WithArgument);
  Connect(&button, &QPushButton::toggled, &receiver, &Receiver::Counting);
  button.setChecked(true);
  EXPECT_TRUE(receiver.lastChecked);
  EXPECT_EQ(receiver.calls, 1);
}

TEST(HandlerGuard, TheConnectionEndsWithTheReceiver) {
  QPushButton button;
  int calls = 0;
  {
    Receiver receiver;
    Connect(&button, &QPushButton::clicked, &receiver, [&] { ++calls; });
    button.click();
  }
  button.click();
  EXPECT_EQ(calls, 1);
}

TEST(ErrorReport, SetErrorReporterReturnsThePreviousOne) {
  QStringList first;
  ErrorReporter original = SetErrorReporter([&](const QString& m) { first << m; });
  ReportError(QStringLiteral("un"));
  ErrorReporter mine = SetErrorReporter(original);
  ASSERT_TRUE(static_cast<bool>(mine));
  mine(QStringLiteral("deux"));
  EXPECT_EQ(first, (QStringList{QStringLiteral("un"), QStringLiteral("deux")}));
}

TEST(Assertion, RaisesOnlyWhenFalseWithTheMessageFileAndLine) {
  try {
    RaiseAssertion("", "/some/where/mainFlux.cpp", 42);
    FAIL();
  } catch (const EAssertionFailed& error) {
    EXPECT_EQ(error.Message(), QStringLiteral("Assertion failure (mainFlux.cpp, line 42)"));
  }
  EXPECT_NO_THROW(VIDORRA_ASSERT(1 + 1 == 2, "arith"));
  try {
    VIDORRA_ASSERT(false, "index hors limites");
    FAIL();
  } catch (const EAssertionFailed& error) {
    EXPECT_TRUE(error.Message().startsWith(QStringLiteral("index hors limites (")));
    EXPECT_TRUE(error.Message().contains(QStringLiteral("handler_guard_test.cpp, line ")));
    EXPECT_STREQ(error.what(), error.Message().toStdString().c_str());
  }
}

}  // namespace
}  // namespace vidorra
