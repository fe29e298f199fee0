#include "Assert.h"

#include <QFileInfo>

namespace vidorra {

namespace {
constexpr const char* kDefaultAssertionText = "Assertion failure";
}

void RaiseAssertion(const char* message, const char* file, int line) {
  const QString text = (message == nullptr || *message == '\0') ? QString(kDefaultAssertionText)
                                                                : QString::fromUtf8(message);
  throw EAssertionFailed(QStringLiteral("%1 (%2, line %3)")
                             .arg(text, QFileInfo(QString::fromUtf8(file)).fileName())
                             .arg(line));
}

}  // namespace vidorra
