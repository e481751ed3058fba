// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wayland/DataControl.h"

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <wayland-client.h>

namespace {

wl_proxy* as_proxy(void* object)
{
    return static_cast<wl_proxy*>(object);
}

// Each protocol's generated functions under common names.
struct ExtProtocol {
    using Manager = ext_data_control_manager_v1;
    using Device = ext_data_control_device_v1;
    using Source = ext_data_control_source_v1;
    using Offer = ext_data_control_offer_v1;
    using DeviceListener = ext_data_control_device_v1_listener;
    using SourceListener = ext_data_control_source_v1_listener;
    using OfferListener = ext_data_control_offer_v1_listener;
    static constexpr const char* name = DataControl::k_ext_manager;
    static const wl_interface* interface() { return &ext_data_control_manager_v1_interface; }
    static Source* create_source(Manager* m) { return ext_data_control_manager_v1_create_data_source(m); }
    static Device* get_device(Manager* m, wl_seat* s) { return ext_data_control_manager_v1_get_data_device(m, s); }
    static void destroy_manager(Manager* m) { ext_data_control_manager_v1_destroy(m); }
    static void set_selection(Device* d, Source* s) { ext_data_control_device_v1_set_selection(d, s); }
    static void destroy_device(Device* d) { ext_data_control_device_v1_destroy(d); }
    static void offer(Source* s, const char* type) { ext_data_control_source_v1_offer(s, type); }
    static void destroy_source(Source* s) { ext_data_control_source_v1_destroy(s); }
    static void receive(Offer* o, const char* type, int fd) { ext_data_control_offer_v1_receive(o, type, fd); }
    static void destroy_offer(Offer* o) { ext_data_control_offer_v1_destroy(o); }
    static void listen(Device* d, const DeviceListener* l, void* data)
    {
        ext_data_control_device_v1_add_listener(d, l, data);
    }
    static void listen(Source* s, const SourceListener* l, void* data)
    {
        ext_data_control_source_v1_add_listener(s, l, data);
    }
    static void listen(Offer* o, const OfferListener* l, void* data)
    {
        ext_data_control_offer_v1_add_listener(o, l, data);
    }
};

struct WlrProtocol {
    using Manager = zwlr_data_control_manager_v1;
    using Device = zwlr_data_control_device_v1;
    using Source = zwlr_data_control_source_v1;
    using Offer = zwlr_data_control_offer_v1;
    using DeviceListener = zwlr_data_control_device_v1_listener;
    using SourceListener = zwlr_data_control_source_v1_listener;
    using OfferListener = zwlr_data_control_offer_v1_listener;
    static constexpr const char* name = DataControl::k_wlr_manager;
    static const wl_interface* interface() { return &zwlr_data_control_manager_v1_interface; }
    static Source* create_source(Manager* m) { return zwlr_data_control_manager_v1_create_data_source(m); }
    static Device* get_device(Manager* m, wl_seat* s) { return zwlr_data_control_manager_v1_get_data_device(m, s); }
    static void destroy_manager(Manager* m) { zwlr_data_control_manager_v1_destroy(m); }
    static void set_selection(Device* d, Source* s) { zwlr_data_control_device_v1_set_selection(d, s); }
    static void destroy_device(Device* d) { zwlr_data_control_device_v1_destroy(d); }
    static void offer(Source* s, const char* type) { zwlr_data_control_source_v1_offer(s, type); }
    static void destroy_source(Source* s) { zwlr_data_control_source_v1_destroy(s); }
    static void receive(Offer* o, const char* type, int fd) { zwlr_data_control_offer_v1_receive(o, type, fd); }
    static void destroy_offer(Offer* o) { zwlr_data_control_offer_v1_destroy(o); }
    static void listen(Device* d, const DeviceListener* l, void* data)
    {
        zwlr_data_control_device_v1_add_listener(d, l, data);
    }
    static void listen(Source* s, const SourceListener* l, void* data)
    {
        zwlr_data_control_source_v1_add_listener(s, l, data);
    }
    static void listen(Offer* o, const OfferListener* l, void* data)
    {
        zwlr_data_control_offer_v1_add_listener(o, l, data);
    }
};

// The table of protocol P; the listeners hand every event to the DataControlEvents given as the listener's data.
template <typename P> DataControl table(uint32_t version)
{
    using M = typename P::Manager;
    using D = typename P::Device;
    using S = typename P::Source;
    using O = typename P::Offer;
    static const typename P::DeviceListener device_listener{
        [](void* data, D*, O* offer) { static_cast<DataControlEvents*>(data)->data_offer(as_proxy(offer)); },
        [](void* data, D*, O* offer) { static_cast<DataControlEvents*>(data)->selection(as_proxy(offer)); },
        [](void* data, D*) { static_cast<DataControlEvents*>(data)->finished(); },
        [](void* data, D*, O* offer) { static_cast<DataControlEvents*>(data)->primary_selection(as_proxy(offer)); }};
    static const typename P::SourceListener source_listener{
        [](void* data, S* source, const char* type, int32_t fd) {
            static_cast<DataControlEvents*>(data)->send(as_proxy(source), type, fd);
        },
        [](void* data, S* source) { static_cast<DataControlEvents*>(data)->cancelled(as_proxy(source)); }};
    static const typename P::OfferListener offer_listener{[](void* data, O* offer, const char* type) {
        static_cast<DataControlEvents*>(data)->offer_type(as_proxy(offer), type);
    }};
    DataControl control;
    control.manager_name = P::name;
    control.version = version;
    control.manager_interface = P::interface();
    control.create_source = [](wl_proxy* m) { return as_proxy(P::create_source(reinterpret_cast<M*>(m))); };
    control.get_device = [](wl_proxy* m, wl_seat* s) { return as_proxy(P::get_device(reinterpret_cast<M*>(m), s)); };
    control.destroy_manager = [](wl_proxy* m) { P::destroy_manager(reinterpret_cast<M*>(m)); };
    control.set_selection = [](wl_proxy* d, wl_proxy* s) {
        P::set_selection(reinterpret_cast<D*>(d), reinterpret_cast<S*>(s));
    };
    control.destroy_device = [](wl_proxy* d) { P::destroy_device(reinterpret_cast<D*>(d)); };
    control.offer = [](wl_proxy* s, const char* type) { P::offer(reinterpret_cast<S*>(s), type); };
    control.destroy_source = [](wl_proxy* s) { P::destroy_source(reinterpret_cast<S*>(s)); };
    control.receive = [](wl_proxy* o, const char* type, int fd) { P::receive(reinterpret_cast<O*>(o), type, fd); };
    control.destroy_offer = [](wl_proxy* o) { P::destroy_offer(reinterpret_cast<O*>(o)); };
    control.listen_device = [](wl_proxy* d, DataControlEvents* events) {
        P::listen(reinterpret_cast<D*>(d), &device_listener, events);
    };
    control.listen_source = [](wl_proxy* s, DataControlEvents* events) {
        P::listen(reinterpret_cast<S*>(s), &source_listener, events);
    };
    control.listen_offer = [](wl_proxy* o, DataControlEvents* events) {
        P::listen(reinterpret_cast<O*>(o), &offer_listener, events);
    };
    return control;
}

} // namespace

DataControl DataControl::ext()
{
    return table<ExtProtocol>(1);
}

DataControl DataControl::wlr()
{
    return table<WlrProtocol>(2);
}
