#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <memory>

struct wl_display;
struct wl_proxy;
struct wl_registry;
struct wl_seat;

namespace brivet {

// The compositor's clipboard-manager protocol, whichever of the two it offers: the standard
// ext-data-control (preferred) or its wlr predecessor, which have the same requests and events
// under different names. Offers and sources are handed around as plain proxies; every call is
// made on the thread that dispatches the connection.
class DataControl
{
public:
    // What the compositor says through the device and the sources made here.
    class Events
    {
    public:
        virtual void dataOffer(wl_proxy* offer) = 0;
        virtual void offerType(wl_proxy* offer, const char* mimeType) = 0;
        virtual void selection(wl_proxy* offer) = 0; // null: the clipboard is empty
        virtual void primarySelection(wl_proxy* offer) = 0;
        virtual void finished() = 0; // the device is gone
        virtual void send(wl_proxy* source, const char* mimeType, int fd) = 0; // fd is ours
        virtual void cancelled(wl_proxy* source) = 0;

    protected:
        ~Events() = default;
    };

    virtual ~DataControl() = default;

    // Binds the protocol on the display's seat, or null when the compositor offers no
    // data-control manager (or no seat). The registry lives as long as the result.
    static std::unique_ptr<DataControl> bind(wl_display* display);
    // Whether the compositor at that display (a WAYLAND_DISPLAY value) offers a data-control
    // manager, asked through a connection of its own that is closed again.
    static bool isOffered(const QByteArray& displayName);

    virtual const char* protocolName() const = 0;
    // Starts the seat's data device; its events and those of the offers go to events.
    virtual void watch(Events* events) = 0;
    // A source offering the MIME types, not yet set as the selection.
    virtual wl_proxy* createSource(const QList<QByteArray>& mimeTypes) = 0;
    virtual void setSelection(wl_proxy* source) = 0;
    virtual void destroySource(wl_proxy* source) = 0;
    virtual void receive(wl_proxy* offer, const char* mimeType, int fd) = 0;
    virtual void destroyOffer(wl_proxy* offer) = 0;
};

} // namespace brivet
