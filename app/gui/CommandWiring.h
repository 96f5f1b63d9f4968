#pragma once

#include <QAbstractButton>
#include <QAction>
#include <functional>

#include "rtl/ErrorReport.h"

namespace app {

// Menu items and buttons run their handlers through SafeCall, so a failure in
// any user command reaches the error report instead of the event loop.
inline void ConnectCommand(QAction* item, QObject* context, std::function<void()> handler) {
    QObject::connect(item, &QAction::triggered, context,
                     [handler = std::move(handler)] { rtl::SafeCall(handler); });
}

inline void ConnectCommand(QAbstractButton* button, QObject* context,
                           std::function<void()> handler) {
    QObject::connect(button, &QAbstractButton::clicked, context,
                     [handler = std::move(handler)] { rtl::SafeCall(handler); });
}

}  // namespace app
