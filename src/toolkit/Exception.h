// The program's base exception: a message text, as every error the user may see carries one.
#pragma once

#include <QString>
#include <exception>
#include <string>

namespace vidorra {

class Exception : public std::exception {
 public:
  explicit Exception(QString message) : message_(std::move(message)), utf8_(message_.toStdString()) {}
  const QString& Message() const { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  QString message_;
  std::string utf8_;
};

// Raised by VIDORRA_ASSERT: "Assertion failure" with the source file and line.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace vidorra
