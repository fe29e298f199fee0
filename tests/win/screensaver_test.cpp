// SystemParametersInfoA's screen-saver switch against a ScreenSaver service on the private bus.
#include <gtest/gtest.h>
#include <winuser.h>

#include "FakeScreenSaverService.h"

namespace vidorra {
namespace {

using test::FakeScreenSaverService;

BOOL ScreenSaverActive() {
  BOOL active = -1;
  EXPECT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0));
  return active;
}

TEST(ScreenSaver, WithoutTheServiceGetAnswersFalseAndSetIsHarmless) {
  if (FakeScreenSaverService::ThreadSanitizerBuild()) GTEST_SKIP() << "uninstrumented D-Bus";
  FakeScreenSaverService::UsePrivateBus();
  // No service registered on this bus (or no bus at all): nothing to switch.
  EXPECT_EQ(ScreenSaverActive(), FALSE);
  EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0));
  EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0));
  EXPECT_EQ(ScreenSaverActive(), FALSE);
}

TEST(ScreenSaver, OffInhibitsAndKeepsTheCookieOnUnInhibitsWithIt) {
  if (FakeScreenSaverService::ThreadSanitizerBuild()) GTEST_SKIP() << "uninstrumented D-Bus";
  if (!FakeScreenSaverService::BusAvailable()) GTEST_SKIP() << "no session bus";
  FakeScreenSaverService service;
  ASSERT_TRUE(service.Registered());

  EXPECT_EQ(ScreenSaverActive(), TRUE);
  EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0));
  EXPECT_TRUE(service.Calls().empty()) << "on without an inhibition calls nothing";
  ASSERT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0));
  EXPECT_EQ(service.ActiveInhibitions(), 1u);
  EXPECT_EQ(ScreenSaverActive(), FALSE) << "inhibited by us: not active";
  ASSERT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0));
  EXPECT_EQ(service.ActiveInhibitions(), 1u) << "a second off keeps the one inhibition";

  ASSERT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0));
  EXPECT_EQ(service.ActiveInhibitions(), 0u);
  EXPECT_EQ(ScreenSaverActive(), TRUE);

  const auto calls = service.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].method, QStringLiteral("Inhibit"));
  EXPECT_FALSE(calls[0].arguments[0].toString().isEmpty()) << "application name";
  EXPECT_FALSE(calls[0].arguments[1].toString().isEmpty()) << "reason";
  EXPECT_EQ(calls[1].method, QStringLiteral("UnInhibit"));
  EXPECT_EQ(calls[1].arguments[0].toUInt(), 7001u) << "the cookie Inhibit gave";
}

TEST(ScreenSaver, BadArgumentsAndOtherActionsFail) {
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, nullptr, 0));
  BOOL value = 0;
  EXPECT_FALSE(SystemParametersInfoA(0x0072, 0, &value, 0));
}

}  // namespace
}  // namespace vidorra
