// The application's error report: what happens to an error that no handler caught. By default a
// message box with the error text; tests install a recorder instead.
#pragma once

#include <QString>
#include <exception>
#include <functional>

namespace vidorra {

using ErrorReporter = std::function<void(const QString& message)>;

// Shows `message` through the current reporter (the message box unless replaced).
void ReportError(const QString& message);
// Reports the text of an exception caught by a handler guard or an event drain.
void ReportException(const std::exception& error);
// A failure met while tearing something down, where nothing may be raised: reported as
// ReportError does while a window of the program is on screen; once none is (the program is
// closing, nobody would see a message box), written to the log on stderr instead.
void ReportTearDownError(const QString& message) noexcept;
// Replaces the reporter; returns the previous one (so tests can restore it).
ErrorReporter SetErrorReporter(ErrorReporter reporter);

}  // namespace vidorra
