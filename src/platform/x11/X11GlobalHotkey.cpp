#include "platform/x11/X11GlobalHotkey.h"

#include "platform/x11/X11KeyCodes.h"
#include "platform/x11/XcbConnection.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
// xcb/xkb.h names a field "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace brivet {

namespace {

Q_LOGGING_CATEGORY(lcHotkey, "brivet.platform.hotkey", QtInfoMsg)

// Key symbols (X11/keysymdef.h) that tell which modifier bit is which.
constexpr xcb_keysym_t kNumLock = 0xff7f;
constexpr xcb_keysym_t kCapsLock = 0xffe5;
constexpr xcb_keysym_t kShiftLock = 0xffe6;
constexpr xcb_keysym_t kMetaL = 0xffe7;
constexpr xcb_keysym_t kMetaR = 0xffe8;
constexpr xcb_keysym_t kAltL = 0xffe9;
constexpr xcb_keysym_t kAltR = 0xffea;
constexpr xcb_keysym_t kSuperL = 0xffeb;
constexpr xcb_keysym_t kSuperR = 0xffec;

constexpr uint16_t kModifierBits[8] = {
    XCB_MOD_MASK_SHIFT, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_CONTROL, XCB_MOD_MASK_1,
    XCB_MOD_MASK_2,     XCB_MOD_MASK_3,    XCB_MOD_MASK_4,       XCB_MOD_MASK_5,
};
constexpr uint16_t kAllModifierBits = 0xff;

// Which X modifier bits stand for Alt and Super, and which are lock states that must not
// change whether a combination matches. Read from the server's modifier mapping.
struct ModifierMasks
{
    uint16_t alt = XCB_MOD_MASK_1;
    uint16_t super = XCB_MOD_MASK_4;
    uint16_t numLock = 0;
    uint16_t capsLock = 0;

    uint16_t locks() const { return numLock | capsLock; }
    friend bool operator==(const ModifierMasks&, const ModifierMasks&) = default;
};

struct Registration
{
    xcb_keycode_t x11KeyCode = 0;
    quint32 modifiers = 0;                  // HotkeyModifier bits
    uint16_t x11Modifiers = 0;              // the same in X modifier bits, as last grabbed
    std::vector<uint16_t> grabbedModifiers; // one entry per lock combination held
    // Pressed and not yet released: repeats are no press. Kept across renewed grabs, since
    // the mapping changes while keys are down (the X server announces a new keyboard when
    // another input device starts typing).
    bool isDown = false;
};

} // namespace

struct X11GlobalHotkey::Private
{
    ~Private()
    {
        notifier.reset();
        if (keySymbols)
            xcb_key_symbols_free(keySymbols);
    }

    void readModifierMapping();
    uint16_t x11Modifiers(quint32 modifiers) const;
    std::vector<uint16_t> lockCombinations() const;
    // Grabs the registration's combination with every lock combination now in use and lets go
    // of those no longer in use; false when it holds none.
    bool grab(quint64 id, Registration& registration);
    void release(quint64 id, xcb_keycode_t x11KeyCode, const std::vector<uint16_t>& modifierList);
    bool handleKeyPress(const xcb_key_press_event_t& event);
    void handleKeyRelease(const xcb_key_release_event_t& event);

    std::unique_ptr<XcbConnection> xcb;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_keycode_t minKeyCode = 8;
    xcb_keycode_t maxKeyCode = 255;
    xcb_key_symbols_t* keySymbols = nullptr;
    uint8_t xkbFirstEvent = 0;
    bool hasXkb = false;
    bool isRefreshScheduled = false;
    bool hasReportedConnectionError = false;
    std::unique_ptr<QSocketNotifier> notifier;
    ModifierMasks masks;
    std::map<quint64, Registration> registrations;
    quint64 nextId = 1;
};

void X11GlobalHotkey::Private::readModifierMapping()
{
    ModifierMasks found;
    found.alt = 0;
    found.super = 0;
    uint16_t meta = 0;
    xcb_get_modifier_mapping_reply_t* reply =
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
    if (!reply) {
        qCWarning(lcHotkey) << "could not read the modifier mapping; assuming the usual one";
        masks = ModifierMasks{};
        return;
    }
    const xcb_keycode_t* keyCodes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t keyCode = keyCodes[modifier * perModifier + i];
            if (keyCode == 0)
                continue;
            for (int column = 0; column < 4; ++column) {
                const xcb_keysym_t sym = xcb_key_symbols_get_keysym(keySymbols, keyCode, column);
                const uint16_t bit = kModifierBits[modifier];
                // The first bit found wins: were a modifier on two bits, a grab with both
                // would need two keys held.
                const auto take = [bit](uint16_t& mask) {
                    if (!mask)
                        mask = bit;
                };
                if (sym == kNumLock)
                    take(found.numLock);
                else if (sym == kAltL || sym == kAltR)
                    take(found.alt);
                else if (sym == kMetaL || sym == kMetaR)
                    take(meta);
                else if (sym == kSuperL || sym == kSuperR)
                    take(found.super);
                else if ((sym == kCapsLock || sym == kShiftLock) && bit == XCB_MOD_MASK_LOCK)
                    found.capsLock = XCB_MOD_MASK_LOCK;
            }
        }
    }
    free(reply);
    if (!found.alt)
        found.alt = meta ? meta : uint16_t(XCB_MOD_MASK_1);
    if (!found.super)
        found.super = XCB_MOD_MASK_4;
    // A lock that shares its bit with a real modifier would make that modifier optional.
    const uint16_t real = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | found.alt | found.super;
    found.numLock &= ~real;
    masks = found;
    qCDebug(lcHotkey).nospace() << "modifier bits: Alt 0x" << Qt::hex << masks.alt << " Super 0x"
                                << masks.super << " Num Lock 0x" << masks.numLock << " Caps Lock 0x"
                                << masks.capsLock;
}

uint16_t X11GlobalHotkey::Private::x11Modifiers(quint32 modifiers) const
{
    uint16_t result = 0;
    if (modifiers & HotkeyModifier::Control)
        result |= XCB_MOD_MASK_CONTROL;
    if (modifiers & HotkeyModifier::Shift)
        result |= XCB_MOD_MASK_SHIFT;
    if (modifiers & HotkeyModifier::Alt)
        result |= masks.alt;
    if (modifiers & HotkeyModifier::Super)
        result |= masks.super;
    return result;
}

std::vector<uint16_t> X11GlobalHotkey::Private::lockCombinations() const
{
    std::vector<uint16_t> result{0};
    for (uint16_t lock : {masks.numLock, masks.capsLock}) {
        if (!lock)
            continue;
        const std::vector<uint16_t> withoutLock = result;
        for (uint16_t combination : withoutLock)
            result.push_back(combination | lock);
    }
    return result;
}

bool X11GlobalHotkey::Private::grab(quint64 id, Registration& registration)
{
    const uint16_t base = x11Modifiers(registration.modifiers);
    std::vector<uint16_t> wanted;
    for (uint16_t locks : lockCombinations())
        wanted.push_back(base | locks);
    const auto contains = [](const std::vector<uint16_t>& list, uint16_t value) {
        return std::find(list.begin(), list.end(), value) != list.end();
    };

    // New grabs first, old ones released afterwards: a press never finds the key ungrabbed.
    std::vector<std::pair<uint16_t, xcb_void_cookie_t>> requests;
    for (uint16_t modifiers : wanted) {
        if (contains(registration.grabbedModifiers, modifiers))
            continue;
        requests.emplace_back(
            modifiers, xcb_grab_key_checked(connection, 1, root, modifiers, registration.x11KeyCode,
                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    std::vector<uint16_t> kept;
    std::vector<uint16_t> obsolete;
    for (uint16_t modifiers : registration.grabbedModifiers)
        (contains(wanted, modifiers) ? kept : obsolete).push_back(modifiers);

    int heldElsewhere = 0;
    for (const auto& [modifiers, cookie] : requests) {
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            if (error->error_code == XCB_ACCESS) {
                ++heldElsewhere;
            } else {
                qCWarning(lcHotkey).nospace()
                    << "grabbing key " << registration.x11KeyCode << " with modifiers 0x" << Qt::hex
                    << modifiers << " failed with X error " << Qt::dec << error->error_code;
            }
            free(error);
            continue;
        }
        kept.push_back(modifiers);
    }
    if (heldElsewhere > 0) {
        qCWarning(lcHotkey).nospace()
            << "another program holds key " << registration.x11KeyCode << " with modifiers 0x"
            << Qt::hex << base << Qt::dec << " (" << heldElsewhere << " of " << wanted.size()
            << " lock combinations)";
    }
    registration.x11Modifiers = base;
    registration.grabbedModifiers = kept;
    release(id, registration.x11KeyCode, obsolete);
    return !registration.grabbedModifiers.empty();
}

void X11GlobalHotkey::Private::release(quint64 id, xcb_keycode_t x11KeyCode,
                                       const std::vector<uint16_t>& modifierList)
{
    for (uint16_t modifiers : modifierList) {
        // X keeps one grab per combination and client: another registration of the same
        // combination still needs it.
        bool isShared = false;
        for (const auto& [otherId, other] : registrations) {
            if (otherId != id && other.x11KeyCode == x11KeyCode &&
                std::find(other.grabbedModifiers.begin(), other.grabbedModifiers.end(),
                          modifiers) != other.grabbedModifiers.end())
                isShared = true;
        }
        if (!isShared)
            xcb_ungrab_key(connection, x11KeyCode, root, modifiers);
    }
    xcb_flush(connection);
}

bool X11GlobalHotkey::Private::handleKeyPress(const xcb_key_press_event_t& event)
{
    bool isPress = false;
    const uint16_t state = event.state & kAllModifierBits & ~masks.locks();
    for (auto& [id, registration] : registrations) {
        if (registration.x11KeyCode != event.detail || registration.grabbedModifiers.empty())
            continue;
        // With detectable auto-repeat a held key sends presses without releases between them.
        if (registration.isDown)
            continue;
        if (state != registration.x11Modifiers)
            continue;
        registration.isDown = true;
        isPress = true;
    }
    return isPress;
}

void X11GlobalHotkey::Private::handleKeyRelease(const xcb_key_release_event_t& event)
{
    for (auto& [id, registration] : registrations) {
        if (registration.x11KeyCode == event.detail)
            registration.isDown = false;
    }
}

X11GlobalHotkey::X11GlobalHotkey(QObject* parent) : GlobalHotkey(parent), d(std::make_unique<Private>())
{
    d->xcb = XcbConnection::open();
    if (!d->xcb) {
        qCWarning(lcHotkey) << "cannot reach the X server; the global hotkey is off";
        return;
    }
    xcb_connection_t* connection = d->connection = d->xcb->get();
    const xcb_setup_t* setup = xcb_get_setup(connection);
    d->minKeyCode = setup->min_keycode;
    d->maxKeyCode = setup->max_keycode;
    d->root = d->xcb->root();
    d->keySymbols = xcb_key_symbols_alloc(connection);

    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (xkb && xkb->present) {
        xcb_xkb_use_extension_reply_t* use = xcb_xkb_use_extension_reply(
            connection,
            xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
            nullptr);
        d->hasXkb = use && use->supported;
        free(use);
    }
    if (d->hasXkb) {
        d->xkbFirstEvent = xkb->first_event;
        // Without it a held key repeats as release and press pairs that look like real presses.
        xcb_xkb_per_client_flags_reply_t* flags = xcb_xkb_per_client_flags_reply(
            connection,
            xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD,
                                     XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                     XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0),
            nullptr);
        free(flags);
        // A client that speaks XKB no longer gets every core MappingNotify; ask for XKB's own.
        const uint16_t events =
            XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
        const uint16_t mapParts =
            XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP;
        xcb_xkb_select_events(connection, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, mapParts,
                              mapParts, nullptr);
    } else {
        qCDebug(lcHotkey) << "no XKB: a held hotkey may repeat";
    }
    d->readModifierMapping();

    d->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection),
                                                    QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, &X11GlobalHotkey::readEvents);
    QMetaObject::invokeMethod(this, &X11GlobalHotkey::readEvents, Qt::QueuedConnection);
}

X11GlobalHotkey::~X11GlobalHotkey() = default;

bool X11GlobalHotkey::isAvailable() const
{
    return d->connection != nullptr;
}

std::optional<HotkeyRegistrationId> X11GlobalHotkey::registerHotkey(quint32 keyCode,
                                                                    quint32 modifiers)
{
    if (!d->connection)
        return std::nullopt;
    const auto x11KeyCode = x11KeyCodeForKeyCode(keyCode);
    if (!x11KeyCode || *x11KeyCode < d->minKeyCode || *x11KeyCode > d->maxKeyCode) {
        qCWarning(lcHotkey) << "key code" << keyCode << "has no key on this keyboard";
        return std::nullopt;
    }
    const quint64 id = d->nextId++;
    Registration registration;
    registration.x11KeyCode = xcb_keycode_t(*x11KeyCode);
    registration.modifiers = modifiers;
    const bool isGrabbed = d->grab(id, registration);
    // Round trips may have queued events that the socket will not announce again.
    QMetaObject::invokeMethod(this, &X11GlobalHotkey::readEvents, Qt::QueuedConnection);
    if (!isGrabbed)
        return std::nullopt;
    d->registrations.emplace(id, std::move(registration));
    return HotkeyRegistrationId{id};
}

void X11GlobalHotkey::unregisterHotkey(HotkeyRegistrationId registration)
{
    const quint64 id = static_cast<quint64>(registration);
    auto it = d->registrations.find(id);
    if (it == d->registrations.end())
        return;
    const Registration removed = std::move(it->second);
    d->registrations.erase(it);
    d->release(id, removed.x11KeyCode, removed.grabbedModifiers);
}

std::optional<quint32> X11GlobalHotkey::keyCodeForNativeScanCode(quint32 nativeScanCode) const
{
    return keyCodeForX11KeyCode(nativeScanCode);
}

void X11GlobalHotkey::readEvents()
{
    if (!d->connection)
        return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(d->connection)) {
        const uint8_t type = event->response_type & ~0x80;
        bool isPress = false;
        if (type == XCB_KEY_PRESS) {
            isPress = d->handleKeyPress(*reinterpret_cast<xcb_key_press_event_t*>(event));
        } else if (type == XCB_KEY_RELEASE) {
            d->handleKeyRelease(*reinterpret_cast<xcb_key_release_event_t*>(event));
        } else if (type == XCB_MAPPING_NOTIFY) {
            if (reinterpret_cast<xcb_mapping_notify_event_t*>(event)->request !=
                XCB_MAPPING_POINTER)
                refreshMapping();
        } else if (d->hasXkb && type == d->xkbFirstEvent) {
            // Every XKB event arrives under one code; the second byte tells which it is.
            const uint8_t xkbType = reinterpret_cast<const uint8_t*>(event)[1];
            if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY)
                refreshMapping();
        } else if (type == 0) {
            const auto* error = reinterpret_cast<xcb_generic_error_t*>(event);
            qCDebug(lcHotkey) << "X error" << error->error_code << "for request"
                              << error->major_code;
        }
        free(event);
        if (isPress) {
            qCDebug(lcHotkey) << "hotkey pressed";
            emit activated();
        }
    }
    if (xcb_connection_has_error(d->connection) && !d->hasReportedConnectionError) {
        d->hasReportedConnectionError = true;
        d->notifier->setEnabled(false);
        qCWarning(lcHotkey) << "lost the connection to the X server; the global hotkey is off";
    }
}

void X11GlobalHotkey::refreshMapping()
{
    // Mapping changes come in bursts (one event per changed part): renew once, afterwards.
    if (d->isRefreshScheduled)
        return;
    d->isRefreshScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            d->isRefreshScheduled = false;
            xcb_key_symbols_free(d->keySymbols);
            d->keySymbols = xcb_key_symbols_alloc(d->connection);
            const ModifierMasks before = d->masks;
            d->readModifierMapping();
            // Key codes name physical keys, so only a change of the modifier bits matters.
            // Unchanged is the rule: the server announces a new keyboard whenever another input
            // device starts typing.
            if (d->masks != before) {
                int lost = 0;
                for (auto& [id, registration] : d->registrations) {
                    if (!d->grab(id, registration))
                        ++lost;
                }
                qCInfo(lcHotkey) << "modifier mapping changed; renewed" << d->registrations.size()
                                 << "hotkey grabs," << lost << "lost";
            }
            readEvents();
        },
        Qt::QueuedConnection);
}

} // namespace brivet
