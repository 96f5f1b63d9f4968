#pragma once

#include <exception>
#include <functional>
#include <string>

namespace rtl {

// The application's standard error report: receives the text of every exception
// that escapes a user command, a timer tick or an event handler. The GUI installs
// a message box; tests install a recorder. Without one the text goes to stderr.
using ErrorReporter = std::function<void(const std::string& message)>;

// Installs a reporter and returns the previous one, so a scope can restore it.
ErrorReporter SetErrorReporter(ErrorReporter reporter);

// Hands the message of an exception to the installed reporter. Never throws:
// a reporter that throws is itself ignored.
void ReportException(const std::exception& error) noexcept;
void ReportError(const std::string& message) noexcept;

// Runs an action and turns any escaping exception into an error report, so no
// exception ever crosses into Qt's event dispatch.
template <class Action>
void SafeCall(Action&& action) noexcept {
    try {
        std::forward<Action>(action)();
    } catch (const std::exception& error) {
        ReportException(error);
    } catch (...) {
        ReportError("Unknown exception");
    }
}

}  // namespace rtl
