#pragma once

// Small helpers shared by the two files that talk to GIO. Include this (and
// so <gio/gio.h>) before any Qt header: glib's headers use "signals" as a
// name, which Qt defines as a keyword.
#include <gio/gio.h>

#include <QIcon>
#include <QString>

namespace GioSupport {

// Owns a GObject reference.
template <typename T>
struct Ref {
    T* ptr = nullptr;
    Ref() = default;
    explicit Ref(T* p) : ptr(p) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() {
        if (ptr) g_object_unref(ptr);
    }
    T* get() const { return ptr; }
    explicit operator bool() const { return ptr != nullptr; }
};

// Takes a glib string, frees it, answers it as UTF-8 text.
QString takeString(gchar* text);
// The message of a GError, which is freed; empty for none.
QString takeError(GError* error);
// A themed icon's first name the current theme has, or a file icon's image.
QIcon iconFromGIcon(GIcon* icon);

}  // namespace GioSupport
