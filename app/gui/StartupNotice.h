#pragma once

#include <QByteArray>
#include <cstdint>

class QWidget;

namespace app {

// What a launcher hands the program it starts, so the desktop can tell when
// the start is complete and stop showing "starting...": on X a start-up id
// (DESKTOP_STARTUP_ID), on Wayland an activation token (XDG_ACTIVATION_TOKEN).
// A later start that only hands over to the running copy passes them on, and
// the running copy completes the start with them when it shows its window.
struct StartupToken {
    QByteArray StartupId;
    QByteArray ActivationToken;

    bool Empty() const { return StartupId.isEmpty() && ActivationToken.isEmpty(); }
    bool operator==(const StartupToken&) const = default;
};

// Read from the environment. Called before the application object is built,
// which takes the values for itself; values that could not travel on the
// hand-over's one line (see IsPlainToken) are left out.
StartupToken StartupTokenFromEnvironment();

// Printable ASCII without blanks, at most 512 bytes: what launchers send, and
// what the hand-over line can carry.
bool IsPlainToken(const QByteArray& value);

// The launch time an X start-up id carries at its end ("..._TIME<number>");
// 0 when it carries none.
uint32_t StartupTime(const QByteArray& startupId);

// The start-up notification message that ends a launcher's feedback:
// «remove: ID=<id>», the id quoted when it holds blanks, quotes or backslashes.
QByteArray StartupRemoveMessage(const QByteArray& startupId);

// Called before a later start's request activates `window`: on Wayland the
// token is what lets the compositor grant the activation.
void PrepareActivation(const StartupToken& token);

// Called after: on X, asks the window manager to activate `window` with the
// launch time (so that its focus-stealing prevention sees the user's click on
// the launcher, not this copy's last event) and ends the launcher's feedback.
void CompleteStartup(QWidget& window, const StartupToken& token);

}  // namespace app
