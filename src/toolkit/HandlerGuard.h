// The handler guard: every event handler of the program is connected through it, so that an
// exception escaping a handler ends that handler and reaches the application's error report
// (ReportException) instead of unwinding into Qt, which must never see one.
//
//   vidorra::Connect(button, &QPushButton::clicked, form, &TCaptureForm::CaptureBtnClick);
//   vidorra::Connect(timer, &QTimer::timeout, form, [form] { form->Tick(); });
//
// The handler may take the signal's arguments or none of them (the window's handlers such as
// CaptureBtnClick take none). Runs on the receiver's thread like any Qt connection.
#pragma once

#include <QObject>
#include <functional>
#include <type_traits>
#include <utility>

namespace vidorra {

// Runs `body`, catching everything it throws and handing it to the error report.
void GuardCall(const std::function<void()>& body) noexcept;

namespace detail {

template <typename Receiver, typename Handler, typename... Args>
void InvokeHandler(Receiver* receiver, const Handler& handler, Args&&... args) {
  if constexpr (std::is_member_function_pointer_v<Handler>) {
    if constexpr (std::is_invocable_v<Handler, Receiver*, Args...>) {
      std::invoke(handler, receiver, std::forward<Args>(args)...);
    } else {
      std::invoke(handler, receiver);
    }
  } else {
    if constexpr (std::is_invocable_v<Handler, Args...>) {
      std::invoke(handler, std::forward<Args>(args)...);
    } else {
      std::invoke(handler);
    }
  }
}

}  // namespace detail

// Connects `signal` of `sender` to `handler` (a member function of `receiver` or any callable),
// through the guard. The connection ends when sender or receiver is destroyed.
template <typename Sender, typename Signal, typename Receiver, typename Handler>
QMetaObject::Connection Connect(const Sender* sender, Signal signal, Receiver* receiver,
                                Handler handler) {
  return QObject::connect(sender, signal, receiver, [receiver, handler](auto&&... args) {
    GuardCall([&] { detail::InvokeHandler(receiver, handler, args...); });
  });
}

}  // namespace vidorra
