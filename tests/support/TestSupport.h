#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "rtl/ErrorReport.h"

namespace testsupport {

// Pumps events until the condition holds or the deadline passes; returns whether
// it held. Tests never sleep to wait for something.
bool PumpUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(10));

// Collects the texts that reach the application's error report while it lives.
class ErrorRecorder {
public:
    ErrorRecorder();
    ~ErrorRecorder();
    ErrorRecorder(const ErrorRecorder&) = delete;
    ErrorRecorder& operator=(const ErrorRecorder&) = delete;
    const std::vector<std::string>& Messages() const { return FMessages; }

private:
    std::vector<std::string> FMessages;
    rtl::ErrorReporter FPrevious;
};

// A fresh empty folder under the system's temporary folder, removed at destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // The folder's path with a trailing '/'.
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + name; }

private:
    std::string FPath;
};

// Runs body in a forked child process without root's right to ignore file
// permissions (as user and group 65534 when the tests run as root), so that
// permission tests mean the same under root as for a user. Returns the body's
// result as the child's exit code (0 when everything held), 90 when the child
// could not drop its rights, 92 when the body threw, and 100 + the signal when
// the child was killed.
int RunUnprivileged(const std::function<int()>& body);

// Whole-file helpers for arranging and checking test files.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

}  // namespace testsupport
