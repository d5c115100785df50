#include "support/XTestClients.h"

#include <QElapsedTimer>
#include <QThread>

namespace brivet::test {

namespace {

std::unique_ptr<XcbConnection> connect()
{
    auto x = XcbConnection::open();
    return x ? std::move(x) : (qFatal("no X server"), nullptr);
}

void roundTrip(xcb_connection_t* c)
{
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace

Requestor::Requestor() : m_x(connect()), m_window(xcb_generate_id(m_x->get()))
{
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_x->get(), XCB_COPY_FROM_PARENT, m_window, m_x->root(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_x->get());
}

std::optional<xcb_atom_t> Requestor::convert(const QByteArray& target, const QByteArray& property)
{
    xcb_convert_selection(m_x->get(), m_window, atom("CLIPBOARD"), atom(target), atom(property),
                          XCB_CURRENT_TIME);
    xcb_flush(m_x->get());
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(m_x->get())}) {
            if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                continue;
            const auto answered =
                reinterpret_cast<xcb_selection_notify_event_t*>(event.get())->property;
            return answered == XCB_NONE ? std::nullopt : std::optional(answered);
        }
        QThread::msleep(5);
    }
    qWarning("no answer from the clipboard owner");
    return std::nullopt;
}

Requestor::Answer Requestor::read(xcb_atom_t property)
{
    xcb_connection_t* c = m_x->get();
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 24),
        nullptr));
    if (!reply)
        return {};
    return {m_x->atomName(reply->type).value_or(QByteArray()),
            QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       xcb_get_property_value_length(reply.get()))};
}

void Requestor::setAtoms(const QByteArray& property, const QList<QByteArray>& names)
{
    std::vector<xcb_atom_t> atoms;
    for (const QByteArray& name : names)
        atoms.push_back(name.isEmpty() ? XCB_NONE : atom(name));
    xcb_change_property(m_x->get(), XCB_PROP_MODE_REPLACE, m_window, atom(property),
                        atom("ATOM_PAIR"), 32, uint32_t(atoms.size()), atoms.data());
    xcb_flush(m_x->get());
}

QList<QByteArray> Requestor::atomNames(const QByteArray& data)
{
    QList<QByteArray> names;
    const auto* atoms = reinterpret_cast<const xcb_atom_t*>(data.constData());
    for (qsizetype i = 0; i < data.size() / 4; ++i)
        names.append(atoms[i] == XCB_NONE ? QByteArray()
                                          : m_x->atomName(atoms[i]).value_or(QByteArray()));
    return names;
}

TestWindow::TestWindow(const QByteArray& instance, const QByteArray& wmClass,
                       const QByteArray& gtkApplicationId)
    : m_x(connect())
{
    xcb_connection_t* c = m_x->get();
    m_window = xcb_generate_id(c);
    const uint32_t mask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, m_x->root(), 0, 0, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &mask);
    const QByteArray classValue = instance + '\0' + wmClass + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        uint32_t(classValue.size()), classValue.constData());
    if (!gtkApplicationId.isEmpty())
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, m_x->atom("_GTK_APPLICATION_ID"),
                            m_x->atom("UTF8_STRING"), 8, uint32_t(gtkApplicationId.size()),
                            gtkApplicationId.constData());
    xcb_map_window(c, m_window);
    roundTrip(c);
    m_symbols = xcb_key_symbols_alloc(c);
}

void TestWindow::focus()
{
    xcb_set_input_focus(m_x->get(), XCB_INPUT_FOCUS_POINTER_ROOT, m_window, XCB_CURRENT_TIME);
    roundTrip(m_x->get());
}

void TestWindow::activate()
{
    xcb_client_message_event_t event{
        XCB_CLIENT_MESSAGE, 32, 0, m_window, m_x->atom("_NET_ACTIVE_WINDOW"), {}};
    event.data.data32[0] = 2; // source: pager
    xcb_send_event(m_x->get(), 0, m_x->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(m_x->get());
}

void TestWindow::destroy()
{
    xcb_destroy_window(m_x->get(), m_window);
    xcb_flush(m_x->get());
}

QList<TestWindow::Key> TestWindow::keys()
{
    roundTrip(m_x->get());
    QList<Key> keys;
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(m_x->get())}) {
        const uint8_t type = event->response_type & 0x7f;
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
            continue;
        const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event.get());
        keys.append({type == XCB_KEY_PRESS, xcb_key_symbols_get_keysym(m_symbols, key->detail, 0),
                     key->state});
    }
    return keys;
}

} // namespace brivet::test
