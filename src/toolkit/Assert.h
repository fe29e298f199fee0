// VIDORRA_ASSERT(condition, message): raises EAssertionFailed when the condition is false, with
// the text "<message> (<file>, line <n>)", or "Assertion failure (<file>, line <n>)" when the
// message is empty.
#pragma once

#include "Exception.h"

namespace vidorra {

[[noreturn]] void RaiseAssertion(const char* message, const char* file, int line);

}  // namespace vidorra

#define VIDORRA_ASSERT(condition, message) \
  do {                                     \
    if (!(condition)) ::vidorra::RaiseAssertion(message, __FILE__, __LINE__); \
  } while (false)
