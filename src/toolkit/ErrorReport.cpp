#include "ErrorReport.h"

#include <QApplication>
#include <QMessageBox>
#include <algorithm>
#include <mutex>
#include <utility>

#include "Exception.h"

namespace vidorra {

namespace {

// The default report: a modal message box with the error text, as the user expects from an
// error nobody handled. Without a widget application (a console test) the text goes to stderr.
void ShowMessageBox(const QString& message) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    qWarning("%s", qUtf8Printable(message));
    return;
  }
  QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), message,
                  QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

// The reporter is replaced by tests from the UI thread, but reports may come from any thread
// that drains events; the lock keeps the swap and the copy consistent.
std::mutex& ReporterMutex() {
  static std::mutex mutex;
  return mutex;
}

ErrorReporter& CurrentReporter() {
  static ErrorReporter reporter = ShowMessageBox;
  return reporter;
}

}  // namespace

void ReportError(const QString& message) {
  ErrorReporter reporter;
  {
    std::lock_guard lock(ReporterMutex());
    reporter = CurrentReporter();
  }
  // Called outside the lock: a message box runs a nested event loop.
  if (reporter) reporter(message);
}

void ReportException(const std::exception& error) {
  if (const auto* ours = dynamic_cast<const Exception*>(&error)) {
    ReportError(ours->Message());
  } else {
    ReportError(QString::fromUtf8(error.what()));
  }
}

void ReportTearDownError(const QString& message) noexcept {
  try {
    bool shown = false;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
        !QCoreApplication::closingDown()) {
      const QWidgetList windows = QApplication::topLevelWidgets();
      shown = std::any_of(windows.begin(), windows.end(),
                          [](const QWidget* window) { return window->isVisible(); });
    }
    if (shown) {
      ReportError(message);
    } else {
      qWarning("%s", qUtf8Printable(message));
    }
  } catch (...) {
    // Nothing more can be done for a report that fails while tearing down.
  }
}

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
  std::lock_guard lock(ReporterMutex());
  return std::exchange(CurrentReporter(), std::move(reporter));
}

}  // namespace vidorra
