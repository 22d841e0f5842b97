// dconf's headers pull in gio, whose structures have a member named like Qt's `signals`
// macro: they come before any Qt header.
#include <dconf.h>

#include "platform/DconfTree.h"

#include <algorithm>

namespace corvane {
namespace {

DConfClient* Client() {
    static DConfClient* const client = [] {
        // The client hands its change notices to the main context of the thread that
        // made it. A private context nobody runs lets each notice be delivered at once
        // on the writing thread instead of piling up in a worker thread's loop that
        // may never run again.
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        DConfClient* made = dconf_client_new();
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
        return made;
    }();
    return client;
}

DConfReadFlags ReadFlags(DconfLayer layer) {
    return layer == DconfLayer::kUser ? DCONF_READ_USER_VALUE : DCONF_READ_DEFAULT_VALUE;
}

// Every name dconf knows in `folder` in any layer; folder names end in "/".
QByteArrayList ListAll(const QByteArray& folder) {
    gchar** names = dconf_client_list(Client(), folder.constData(), nullptr);
    QByteArrayList list;
    for (gchar** name = names; name != nullptr && *name != nullptr; ++name) {
        list << QByteArray(*name);
    }
    g_strfreev(names);
    std::sort(list.begin(), list.end());
    return list;
}

}  // namespace

GVariantPtr DconfRead(const QByteArray& key, DconfLayer layer) {
    return GVariantPtr(
        dconf_client_read_full(Client(), key.constData(), ReadFlags(layer), nullptr));
}

QByteArrayList DconfValueNames(const QByteArray& folder, DconfLayer layer) {
    QByteArrayList names;
    for (const QByteArray& name : ListAll(folder)) {
        if (!name.endsWith('/') && DconfRead(folder + name, layer) != nullptr) {
            names << name;
        }
    }
    return names;
}

QByteArrayList DconfFolderNames(const QByteArray& folder, DconfLayer layer) {
    QByteArrayList names;
    for (const QByteArray& name : ListAll(folder)) {
        if (name.endsWith('/') && DconfHoldsValue(folder + name, layer)) {
            names << name.chopped(1);
        }
    }
    return names;
}

bool DconfHoldsValue(const QByteArray& folder, DconfLayer layer) {
    const QByteArrayList names = ListAll(folder);
    return std::any_of(names.begin(), names.end(), [&](const QByteArray& name) {
        return name.endsWith('/') ? DconfHoldsValue(folder + name, layer)
                                  : DconfRead(folder + name, layer) != nullptr;
    });
}

bool DconfWrite(const QByteArray& key, GVariant* value, QString& reason) {
    GError* error = nullptr;
    if (dconf_client_write_sync(Client(), key.constData(), value, nullptr, nullptr, &error)) {
        return true;
    }
    reason = QString::fromUtf8(error != nullptr ? error->message : "unknown error");
    g_clear_error(&error);
    return false;
}

}  // namespace corvane
