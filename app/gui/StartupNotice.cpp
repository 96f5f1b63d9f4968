#include "app/gui/StartupNotice.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace app {
namespace {

QByteArray PlainOrNothing(const char* name) {
    const QByteArray value = qgetenv(name);
    return IsPlainToken(value) ? value : QByteArray();
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

xcb_window_t RootOf(xcb_connection_t* connection, xcb_window_t window) {
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    const xcb_window_t root = tree != nullptr ? tree->root : xcb_window_t{XCB_WINDOW_NONE};
    std::free(tree);
    return root;
}

void SendToRoot(xcb_connection_t* connection, xcb_window_t root, uint32_t mask,
                const xcb_client_message_event_t& event) {
    xcb_send_event(connection, 0, root, mask, reinterpret_cast<const char*>(&event));
}

}  // namespace

bool IsPlainToken(const QByteArray& value) {
    if (value.isEmpty() || value.size() > 512)
        return false;
    return std::all_of(value.begin(), value.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

StartupToken StartupTokenFromEnvironment() {
    return {PlainOrNothing("DESKTOP_STARTUP_ID"), PlainOrNothing("XDG_ACTIVATION_TOKEN")};
}

uint32_t StartupTime(const QByteArray& startupId) {
    const qsizetype mark = startupId.lastIndexOf("_TIME");
    if (mark < 0)
        return 0;
    const QByteArray digits = startupId.mid(mark + 5);
    bool ok = false;
    const qulonglong time = digits.toULongLong(&ok);
    if (!ok || digits.isEmpty() || digits.front() < '0' || digits.front() > '9' ||
        time > 0xFFFFFFFFu)
        return 0;
    return static_cast<uint32_t>(time);
}

QByteArray StartupRemoveMessage(const QByteArray& startupId) {
    const bool quote = std::any_of(startupId.begin(), startupId.end(),
                                   [](char c) { return c == ' ' || c == '"' || c == '\\'; });
    if (!quote)
        return "remove: ID=" + startupId;
    QByteArray quoted = "\"";
    for (char c : startupId) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return "remove: ID=" + quoted + "\"";
}

void PrepareActivation(const StartupToken& token) {
    // Qt's Wayland plugin activates with the token it finds here.
    if (!token.ActivationToken.isEmpty() && QGuiApplication::platformName().startsWith("wayland"))
        qputenv("XDG_ACTIVATION_TOKEN", token.ActivationToken);
}

void CompleteStartup(QWidget& window, const StartupToken& token) {
    if (token.StartupId.isEmpty())
        return;
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return;
    xcb_connection_t* connection = x11->connection();
    const auto target = static_cast<xcb_window_t>(window.winId());
    const xcb_window_t root = RootOf(connection, target);
    if (root == XCB_WINDOW_NONE)
        return;

    // Qt asked for the activation with the time of this copy's last event,
    // which a window manager may take for a window stealing the focus.
    if (const uint32_t launched = StartupTime(token.StartupId); launched != 0) {
        xcb_client_message_event_t activate{};
        activate.response_type = XCB_CLIENT_MESSAGE;
        activate.format = 32;
        activate.window = target;
        activate.type = Atom(connection, "_NET_ACTIVE_WINDOW");
        activate.data.data32[0] = 1;  // asked for by an application
        activate.data.data32[1] = launched;
        SendToRoot(connection, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   activate);
    }

    // The message travels in pieces of 20 bytes, the first marked as the
    // beginning, ending with its terminating zero byte.
    QByteArray message = StartupRemoveMessage(token.StartupId);
    message.append('\0');
    const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
    for (qsizetype offset = 0; offset < message.size(); offset += 20) {
        xcb_client_message_event_t piece{};
        piece.response_type = XCB_CLIENT_MESSAGE;
        piece.format = 8;
        piece.window = target;
        piece.type = offset == 0 ? begin : more;
        std::memcpy(piece.data.data8, message.constData() + offset,
                    static_cast<size_t>(std::min<qsizetype>(20, message.size() - offset)));
        SendToRoot(connection, root, XCB_EVENT_MASK_PROPERTY_CHANGE, piece);
    }
    xcb_flush(connection);
}

}  // namespace app
