// SystemParametersInfoA's screen-saver switch against a ScreenSaver service on a private bus.
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

BOOL SetActive(BOOL on) { return SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, on, nullptr, 0); }

// Without the service there is nothing to switch; with it, "off" inhibits once and keeps the
// cookie, "on" gives that cookie back.
TEST(ScreenSaver, OffInhibitsOnceAndOnUnInhibitsWithTheCookie) {
  if (FakeScreenSaverService::ThreadSanitizerBuild()) GTEST_SKIP() << "uninstrumented D-Bus";
  if (!FakeScreenSaverService::BusAvailable()) GTEST_SKIP() << "no session bus";
  EXPECT_EQ(ScreenSaverActive(), FALSE) << "no service";
  EXPECT_TRUE(SetActive(FALSE));
  EXPECT_TRUE(SetActive(TRUE));
  FakeScreenSaverService service;
  ASSERT_TRUE(service.Registered());
  EXPECT_EQ(ScreenSaverActive(), TRUE);
  EXPECT_TRUE(SetActive(TRUE));
  EXPECT_TRUE(service.Calls().empty()) << "on without an inhibition calls nothing";
  ASSERT_TRUE(SetActive(FALSE));
  ASSERT_TRUE(SetActive(FALSE));
  EXPECT_EQ(service.ActiveInhibitions(), 1u) << "a second off keeps the one inhibition";
  EXPECT_EQ(ScreenSaverActive(), FALSE) << "inhibited by us: not active";
  ASSERT_TRUE(SetActive(TRUE));
  EXPECT_EQ(service.ActiveInhibitions(), 0u);
  EXPECT_EQ(ScreenSaverActive(), TRUE);
  const auto calls = service.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].method, QStringLiteral("Inhibit"));
  EXPECT_FALSE(calls[0].arguments[0].toString().isEmpty()) << "application name";
  EXPECT_FALSE(calls[0].arguments[1].toString().isEmpty()) << "reason";
  EXPECT_EQ(calls[1].method, QStringLiteral("UnInhibit"));
  EXPECT_EQ(calls[1].arguments[0].toUInt(), 7001u) << "the cookie Inhibit gave";
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, nullptr, 0));
  BOOL value = FALSE;
  EXPECT_FALSE(SystemParametersInfoA(0x0072, 0, &value, 0)) << "another action";
}

}  // namespace
}  // namespace vidorra
