#include "platform/wayland/WaylandDataControl.h"

#include "platform/wayland/WaylandLogging.h"

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>
#include <wayland-client.h>

namespace brivet {

namespace {

// The generated names of one protocol, so that one implementation serves both. PREFIX is the
// common start of the interface names, e.g. zwlr_data_control.
#define BRIVET_DATA_CONTROL_PROTOCOL(Traits, PREFIX, NAME, MAX_VERSION)                           \
    struct Traits                                                                                  \
    {                                                                                              \
        using Manager = PREFIX##_manager_v1;                                                       \
        using Device = PREFIX##_device_v1;                                                         \
        using Source = PREFIX##_source_v1;                                                         \
        using Offer = PREFIX##_offer_v1;                                                           \
        using DeviceListener = PREFIX##_device_v1_listener;                                        \
        using SourceListener = PREFIX##_source_v1_listener;                                        \
        using OfferListener = PREFIX##_offer_v1_listener;                                          \
        static constexpr const char* name = NAME;                                                  \
        static constexpr uint32_t maxVersion = MAX_VERSION;                                        \
        static const wl_interface* managerInterface() { return &PREFIX##_manager_v1_interface; }  \
        static Device* getDevice(Manager* m, wl_seat* seat)                                        \
        {                                                                                          \
            return PREFIX##_manager_v1_get_data_device(m, seat);                                   \
        }                                                                                          \
        static Source* createSource(Manager* m) { return PREFIX##_manager_v1_create_data_source(m); } \
        static void destroy(Manager* m) { PREFIX##_manager_v1_destroy(m); }                        \
        static void destroy(Device* d) { PREFIX##_device_v1_destroy(d); }                          \
        static void destroy(Source* s) { PREFIX##_source_v1_destroy(s); }                          \
        static void destroy(Offer* o) { PREFIX##_offer_v1_destroy(o); }                            \
        static void listen(Device* d, const DeviceListener* l, void* data)                         \
        {                                                                                          \
            PREFIX##_device_v1_add_listener(d, l, data);                                           \
        }                                                                                          \
        static void listen(Source* s, const SourceListener* l, void* data)                         \
        {                                                                                          \
            PREFIX##_source_v1_add_listener(s, l, data);                                           \
        }                                                                                          \
        static void listen(Offer* o, const OfferListener* l, void* data)                           \
        {                                                                                          \
            PREFIX##_offer_v1_add_listener(o, l, data);                                            \
        }                                                                                          \
        static void setSelection(Device* d, Source* s) { PREFIX##_device_v1_set_selection(d, s); } \
        static void offer(Source* s, const char* mime) { PREFIX##_source_v1_offer(s, mime); }      \
        static void receive(Offer* o, const char* mime, int fd)                                    \
        {                                                                                          \
            PREFIX##_offer_v1_receive(o, mime, fd);                                                \
        }                                                                                          \
    };

BRIVET_DATA_CONTROL_PROTOCOL(ExtProtocol, ext_data_control, "ext_data_control_manager_v1", 1)
BRIVET_DATA_CONTROL_PROTOCOL(WlrProtocol, zwlr_data_control, "zwlr_data_control_manager_v1", 2)
#undef BRIVET_DATA_CONTROL_PROTOCOL

wl_proxy* proxy(void* object)
{
    return static_cast<wl_proxy*>(object);
}

// The globals Brivet binds, as the registry announced them.
struct Globals
{
    struct Global
    {
        uint32_t name = 0;
        uint32_t version = 0;
    };
    Global ext, wlr, seat;

    static void global(void* data, wl_registry*, uint32_t name, const char* interface,
                       uint32_t version)
    {
        auto* self = static_cast<Globals*>(data);
        if (std::strcmp(interface, ExtProtocol::name) == 0)
            self->ext = {name, version};
        else if (std::strcmp(interface, WlrProtocol::name) == 0)
            self->wlr = {name, version};
        else if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat.name == 0)
            self->seat = {name, version}; // the first seat: compositors Brivet runs on have one
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static constexpr wl_registry_listener listener{&Globals::global, &Globals::globalRemove};
};

template <typename P> class DataControlOf final : public DataControl
{
public:
    DataControlOf(wl_registry* registry, wl_seat* seat, typename P::Manager* manager)
        : m_registry(registry), m_seat(seat), m_manager(manager)
    {}
    ~DataControlOf() override
    {
        if (m_device)
            P::destroy(m_device);
        P::destroy(m_manager);
        wl_seat_destroy(m_seat);
        wl_registry_destroy(m_registry);
    }

    const char* protocolName() const override { return P::name; }

    void watch(Events* events) override
    {
        m_events = events;
        m_device = P::getDevice(m_manager, m_seat);
        P::listen(m_device, &deviceListener, this);
    }
    wl_proxy* createSource(const QList<QByteArray>& mimeTypes) override
    {
        typename P::Source* source = P::createSource(m_manager);
        for (const QByteArray& mimeType : mimeTypes)
            P::offer(source, mimeType.constData());
        P::listen(source, &sourceListener, this);
        return proxy(source);
    }
    void setSelection(wl_proxy* source) override
    {
        P::setSelection(m_device, reinterpret_cast<typename P::Source*>(source));
    }
    void destroySource(wl_proxy* source) override
    {
        P::destroy(reinterpret_cast<typename P::Source*>(source));
    }
    void receive(wl_proxy* offer, const char* mimeType, int fd) override
    {
        P::receive(reinterpret_cast<typename P::Offer*>(offer), mimeType, fd);
    }
    void destroyOffer(wl_proxy* offer) override
    {
        P::destroy(reinterpret_cast<typename P::Offer*>(offer));
    }

private:
    static DataControlOf* self(void* data) { return static_cast<DataControlOf*>(data); }
    static void onDataOffer(void* data, typename P::Device*, typename P::Offer* offer)
    {
        P::listen(offer, &offerListener, data);
        self(data)->m_events->dataOffer(proxy(offer));
    }
    static void onSelection(void* data, typename P::Device*, typename P::Offer* offer)
    {
        self(data)->m_events->selection(proxy(offer));
    }
    static void onFinished(void* data, typename P::Device*)
    {
        self(data)->m_events->finished();
    }
    static void onPrimarySelection(void* data, typename P::Device*, typename P::Offer* offer)
    {
        self(data)->m_events->primarySelection(proxy(offer));
    }
    static void onOfferType(void* data, typename P::Offer* offer, const char* mimeType)
    {
        self(data)->m_events->offerType(proxy(offer), mimeType);
    }
    static void onSend(void* data, typename P::Source* source, const char* mimeType, int32_t fd)
    {
        self(data)->m_events->send(proxy(source), mimeType, fd);
    }
    static void onCancelled(void* data, typename P::Source* source)
    {
        self(data)->m_events->cancelled(proxy(source));
    }
    static constexpr typename P::DeviceListener deviceListener{&onDataOffer, &onSelection,
                                                               &onFinished, &onPrimarySelection};
    static constexpr typename P::SourceListener sourceListener{&onSend, &onCancelled};
    static constexpr typename P::OfferListener offerListener{&onOfferType};

    wl_registry* m_registry;
    wl_seat* m_seat;
    typename P::Manager* m_manager;
    typename P::Device* m_device = nullptr;
    Events* m_events = nullptr;
};

template <typename P>
std::unique_ptr<DataControl> bindWith(wl_registry* registry, const Globals::Global& global,
                                      wl_seat* seat)
{
    auto* manager = static_cast<typename P::Manager*>(wl_registry_bind(
        registry, global.name, P::managerInterface(), std::min(global.version, P::maxVersion)));
    return std::make_unique<DataControlOf<P>>(registry, seat, manager);
}

} // namespace

std::unique_ptr<DataControl> DataControl::bind(wl_display* display)
{
    wl_registry* registry = wl_display_get_registry(display);
    Globals globals;
    wl_registry_add_listener(registry, &Globals::listener, &globals);
    if (wl_display_roundtrip(display) < 0) {
        qCWarning(lcWayland) << "the compositor did not list its globals";
        wl_registry_destroy(registry);
        return nullptr;
    }
    if (globals.seat.name == 0 || (globals.ext.name == 0 && globals.wlr.name == 0)) {
        qCInfo(lcWayland) << "the compositor offers"
                          << (globals.seat.name == 0 ? "no seat" : "no data-control manager")
                          << "to watch the clipboard with";
        wl_registry_destroy(registry);
        return nullptr;
    }
    auto* seat = static_cast<wl_seat*>(
        wl_registry_bind(registry, globals.seat.name, &wl_seat_interface, 1));
    if (globals.ext.name != 0)
        return bindWith<ExtProtocol>(registry, globals.ext, seat);
    return bindWith<WlrProtocol>(registry, globals.wlr, seat);
}

bool DataControl::isOffered(const QByteArray& displayName)
{
    wl_display* display = wl_display_connect(displayName.constData());
    if (!display) {
        qCInfo(lcWayland) << "no Wayland compositor to connect to at" << displayName;
        return false;
    }
    const bool offered = bind(display) != nullptr;
    wl_display_disconnect(display);
    return offered;
}

} // namespace brivet
