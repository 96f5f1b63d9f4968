#include "rtl/ErrorReport.h"

#include <cstdio>
#include <utility>

namespace rtl {

namespace {
ErrorReporter& CurrentReporter() {
    static ErrorReporter reporter;
    return reporter;
}
}  // namespace

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
    return std::exchange(CurrentReporter(), std::move(reporter));
}

void ReportError(const std::string& message) noexcept {
    try {
        if (const auto& reporter = CurrentReporter()) {
            reporter(message);
        } else {
            std::fprintf(stderr, "perchly: %s\n", message.c_str());
        }
    } catch (...) {
        // A failing reporter must not take the program down with it.
    }
}

void ReportException(const std::exception& error) noexcept {
    ReportError(error.what());
}

}  // namespace rtl
