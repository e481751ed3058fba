// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One class-wide instance reference for T. The derived class's constructor sets it; this base's destructor
// clears it, so a callback that only has the class can reach the live object or learn that none exists.
template <typename T> class Singleton {
public:
    static T* instance() { return s_instance; }

    virtual ~Singleton() { s_instance = nullptr; }

protected:
    static void set_instance(T* object) { s_instance = object; }

private:
    static inline T* s_instance = nullptr;
};
