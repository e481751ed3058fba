// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

struct wl_interface;
struct wl_proxy;
struct wl_seat;

// What a data-control device, its offers and our sources tell the client, on the thread that dispatches them.
class DataControlEvents {
public:
    virtual ~DataControlEvents() = default;

    virtual void data_offer(wl_proxy* offer) = 0;                      // a new offer; its types follow
    virtual void offer_type(wl_proxy* offer, const char* type) = 0;    // one type of an offer
    virtual void selection(wl_proxy* offer) = 0;                       // the selection changed (null: emptied)
    virtual void primary_selection(wl_proxy* offer) = 0;               // the primary selection changed (null: emptied)
    virtual void finished() = 0;                                       // the device is no longer valid
    virtual void send(wl_proxy* source, const char* type, int fd) = 0; // write the type's bytes to fd, then close it
    virtual void cancelled(wl_proxy* source) = 0;                      // our source was replaced
};

// The requests of one data-control protocol on plain proxies. ext_data_control_manager_v1 and
// zwlr_data_control_manager_v1 have the same requests and events under other names: the clipboard speaks to either
// through this table.
struct DataControl {
    static constexpr const char* k_ext_manager = "ext_data_control_manager_v1";
    static constexpr const char* k_wlr_manager = "zwlr_data_control_manager_v1";

    // ext_data_control_manager_v1, version 1.
    static DataControl ext();
    // zwlr_data_control_manager_v1, version 2 (the first with the primary selection, which every device reports).
    static DataControl wlr();

    const char* manager_name = nullptr;
    uint32_t version = 0;
    const wl_interface* manager_interface = nullptr;
    wl_proxy* (*create_source)(wl_proxy* manager) = nullptr;
    wl_proxy* (*get_device)(wl_proxy* manager, wl_seat* seat) = nullptr;
    void (*destroy_manager)(wl_proxy* manager) = nullptr;
    void (*set_selection)(wl_proxy* device, wl_proxy* source) = nullptr;
    void (*destroy_device)(wl_proxy* device) = nullptr;
    void (*offer)(wl_proxy* source, const char* type) = nullptr;
    void (*destroy_source)(wl_proxy* source) = nullptr;
    void (*receive)(wl_proxy* offer, const char* type, int fd) = nullptr;
    void (*destroy_offer)(wl_proxy* offer) = nullptr;
    void (*listen_device)(wl_proxy* device, DataControlEvents* events) = nullptr;
    void (*listen_source)(wl_proxy* source, DataControlEvents* events) = nullptr;
    void (*listen_offer)(wl_proxy* offer, DataControlEvents* events) = nullptr;
};
