#include "tests/support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    QElapsedTimer clock;
    clock.start();
    // The ticker guarantees a wake-up now and then, so the deadline is noticed
    // even when nothing else happens; between events the wait costs no CPU.
    QTimer ticker;
    ticker.start(20);
    while (!condition()) {
        if (clock.elapsed() > deadline.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

ErrorRecorder::ErrorRecorder()
    : FPrevious(rtl::SetErrorReporter(
          [this](const std::string& message) { FMessages.push_back(message); })) {}

ErrorRecorder::~ErrorRecorder() {
    rtl::SetErrorReporter(std::move(FPrevious));
}

TempFolder::TempFolder() {
    QTemporaryDir dir(QDir::tempPath() + "/perchly-test-XXXXXX");
    if (!dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    dir.setAutoRemove(false);
    FPath = dir.path().toStdString() + "/";
}

TempFolder::~TempFolder() {
    QDir(QString::fromStdString(FPath)).removeRecursively();
}

int RunUnprivileged(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(90);
        int code = 91;
        try {
            code = body();
        } catch (...) {
            code = 92;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace testsupport
