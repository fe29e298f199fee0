// Tear-down in the destructors of the graph components, which must never raise: a failure of the
// body (a renderer that cannot be stopped, a pin that will not disconnect) is reported with the
// component's name (ReportTearDownError: the error report while the window is on screen, the log
// once it is gone), and the destructor goes on freeing the rest.
#pragma once

#include <QString>
#include <exception>

#include "Component.h"
#include "ErrorReport.h"
#include "Exception.h"

template <typename Body>
void TearDownReporting(const TComponent& component, Body&& body) noexcept {
  QString error;
  try {
    body();
    return;
  } catch (const vidorra::Exception& e) {
    error = e.Message();
  } catch (const std::exception& e) {
    error = QString::fromUtf8(e.what());
  } catch (...) {
    error = QStringLiteral("unknown error");
  }
  const QString name = component.Name().isEmpty() ? component.ClassName() : component.Name();
  vidorra::ReportTearDownError(QStringLiteral("%1 was not torn down cleanly: %2").arg(name, error));
}
