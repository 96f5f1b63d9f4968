#include "rtl/MessagePump.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace rtl {

void ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitForMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace rtl
