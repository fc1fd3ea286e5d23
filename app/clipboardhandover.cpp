// The freedesktop.org clipboard manager protocol: a conversion of the
// CLIPBOARD_MANAGER selection to SAVE_TARGETS, answered by a SelectionNotify once the manager has
// read the clipboard from its owner. Qt's own event handling serves the manager's reads meanwhile.
#include "app/clipboardhandover.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Ends the wait when the manager's answer to our request arrives.
class ManagerAnswer : public QAbstractNativeEventFilter
{
public:
    ManagerAnswer(xcb_window_t requestor, QEventLoop& loop)
        : requestor_(requestor)
        , loop_(loop)
    {
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
            return false;
        if (reinterpret_cast<const xcb_selection_notify_event_t*>(event)->requestor != requestor_)
            return false;
        loop_.quit();
        return true;
    }

private:
    xcb_window_t requestor_;
    QEventLoop& loop_;
};

} // namespace

namespace ClipboardHandover {

void handOver(int timeoutMs)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!x11 || !clipboard || !clipboard->ownsClipboard())
        return;
    xcb_connection_t* connection = x11->connection();
    const xcb_atom_t manager = internAtom(connection, "CLIPBOARD_MANAGER");
    xcb_get_selection_owner_reply_t* owner
        = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, manager), nullptr);
    const bool managed = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    if (!managed)
        return;

    // A window of its own receives the answer, so that nothing else of Qt's takes it for its own.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t requestor = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, requestor, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_convert_selection(connection, requestor, manager, internAtom(connection, "SAVE_TARGETS"),
                          internAtom(connection, "QINGLAN_SAVED"), XCB_CURRENT_TIME);
    xcb_flush(connection);

    QEventLoop loop;
    ManagerAnswer answer(requestor, loop);
    qGuiApp->installNativeEventFilter(&answer);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    qGuiApp->removeNativeEventFilter(&answer);

    xcb_destroy_window(connection, requestor);
    xcb_flush(connection);
}

} // namespace ClipboardHandover
