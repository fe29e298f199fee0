#include "HandlerGuard.h"

#include <QCoreApplication>
#include <exception>

#include "ErrorReport.h"

namespace vidorra {

namespace {
// Shown for a throw of something that is not a std::exception (nothing of ours does that).
constexpr const char* kUnknownErrorText = "Erreur inconnue.";
}  // namespace

void GuardCall(const std::function<void()>& body) noexcept {
  try {
    body();
  } catch (const std::exception& error) {
    try {
      ReportException(error);
    } catch (...) {
      // The report itself failed (out of memory in a message box): nothing left to tell.
    }
  } catch (...) {
    try {
      ReportError(QCoreApplication::translate("vidorra", kUnknownErrorText));
    } catch (...) {
    }
  }
}

}  // namespace vidorra
