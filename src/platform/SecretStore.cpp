// libsecret's headers pull in gio, whose structures have a member named like Qt's
// `signals` macro: they come before any Qt header.
#include <libsecret/secret.h>

#include "platform/SecretStore.h"

#include "log/Log.h"
#include "platform/SessionBus.h"

namespace corvane {
namespace {

const SecretSchema kSchema = {"org.corvane.TaskPassword",
                              SECRET_SCHEMA_NONE,
                              {{"list", SECRET_SCHEMA_ATTRIBUTE_STRING},
                               {"task-oid", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
                               {"task", SECRET_SCHEMA_ATTRIBUTE_STRING},
                               {"field", SECRET_SCHEMA_ATTRIBUTE_STRING},
                               {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                              0,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr};

// The attributes a search or an entry carries; owns its table.
struct Attributes {
    explicit Attributes(const QString& list) { Set("list", list); }
    // Those that find a key's entries: the task's name is left out.
    explicit Attributes(const SecretKey& key) : Attributes(key.list) {
        Set("task-oid", QString::number(key.oid));
        Set("field", key.field);
    }
    ~Attributes() { g_hash_table_unref(table); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;

    void Set(const char* name, const QString& value) {
        g_hash_table_insert(table, g_strdup(name), g_strdup(qUtf8Printable(value)));
    }

    GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
};

struct Items {
    Items() = default;
    ~Items() { g_list_free_full(list, g_object_unref); }
    Items(const Items&) = delete;
    Items& operator=(const Items&) = delete;

    GList* list = nullptr;
};

// Logs the service's reason and frees it; false, so that callers can answer it.
bool Failed(const char* what, GError* error) {
    Log("  Warning: keyring: cannot %s: %s", what, error != nullptr ? error->message : "?");
    g_clear_error(&error);
    return false;
}

bool DeleteItems(GList* items) {
    bool ok = true;
    for (GList* at = items; at != nullptr; at = at->next) {
        GError* error = nullptr;
        if (!secret_item_delete_sync(SECRET_ITEM(at->data), nullptr, &error)) {
            ok = Failed("delete an entry", error);
        }
    }
    return ok;
}

// Finds the key's entries, unlocked when the store may prompt.
bool Search(SecretService* service, bool mayPrompt, GHashTable* attributes, Items& found) {
    const int flags = SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS |
                      (mayPrompt ? SECRET_SEARCH_UNLOCK : SECRET_SEARCH_NONE);
    GError* error = nullptr;
    found.list = secret_service_search_sync(service, &kSchema, attributes,
                                            static_cast<SecretSearchFlags>(flags), nullptr, &error);
    return error == nullptr || Failed("search", error);
}

QString SecretOf(SecretItem* item) {
    SecretValue* value = secret_item_get_secret(item);
    if (value == nullptr) {
        return QString();
    }
    const QString text = QString::fromUtf8(secret_value_get_text(value));
    secret_value_unref(value);
    return text;
}

QString TaskOf(SecretItem* item) {
    GHashTable* attributes = secret_item_get_attributes(item);
    const QString task =
        QString::fromUtf8(static_cast<const char*>(g_hash_table_lookup(attributes, "task")));
    g_hash_table_unref(attributes);
    return task;
}

}  // namespace

SecretStore::SecretStore(bool mayPrompt) : m_mayPrompt(mayPrompt) {
    // The bus library would otherwise try to start a bus for an X display.
    if (!SessionBusExists()) {
        return;
    }
    GError* error = nullptr;
    m_service = secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION,
                                         nullptr, &error);
    // No service on the bus is the ordinary case of a desktop without a keyring.
    g_clear_error(&error);
}

SecretStore::~SecretStore() {
    if (m_service != nullptr) {
        g_object_unref(m_service);
    }
}

bool SecretStore::Store(const SecretKey& key, const QString& label, const QString& secret) {
    if (m_service == nullptr) {
        return false;
    }
    Attributes attributes(key);
    Items found;
    if (!Search(m_service, m_mayPrompt, attributes.table, found)) {
        return false;
    }
    // An unchanged entry is left alone: saving the list must not rewrite the keyring.
    if (found.list != nullptr && found.list->next == nullptr) {
        auto* item = SECRET_ITEM(found.list->data);
        if (!secret_item_get_locked(item) && TaskOf(item) == key.task && SecretOf(item) == secret) {
            return true;
        }
    }
    // A renamed task's entry carries the old name: replace it rather than keep two.
    DeleteItems(found.list);
    attributes.Set("task", key.task);
    GError* error = nullptr;
    const QByteArray text = secret.toUtf8();
    return secret_password_storev_sync(&kSchema, attributes.table, SECRET_COLLECTION_DEFAULT,
                                       qUtf8Printable(label), text.constData(), nullptr, &error) ||
           Failed("store a password", error);
}

SecretLookup SecretStore::Lookup(const SecretKey& key, QString* secret) {
    if (m_service == nullptr) {
        return SecretLookup::kUnavailable;
    }
    const Attributes attributes(key);
    Items found;
    if (!Search(m_service, m_mayPrompt, attributes.table, found)) {
        return SecretLookup::kUnavailable;
    }
    if (found.list == nullptr) {
        return SecretLookup::kMissing;
    }
    auto* item = SECRET_ITEM(found.list->data);
    if (secret_item_get_locked(item)) {
        return SecretLookup::kLocked;
    }
    *secret = SecretOf(item);
    return SecretLookup::kFound;
}

bool SecretStore::RemoveOthers(const QString& list,
                               const std::set<std::pair<qint32, QString>>& keep) {
    if (m_service == nullptr) {
        return false;
    }
    const Attributes attributes(list);
    Items found;
    if (!Search(m_service, false, attributes.table, found)) {
        return false;
    }
    bool ok = true;
    for (GList* at = found.list; at != nullptr; at = at->next) {
        GHashTable* itemAttributes = secret_item_get_attributes(SECRET_ITEM(at->data));
        const auto* oid = static_cast<const char*>(g_hash_table_lookup(itemAttributes, "task-oid"));
        const auto* field = static_cast<const char*>(g_hash_table_lookup(itemAttributes, "field"));
        const bool stale = oid == nullptr || field == nullptr ||
                           keep.count({QByteArray(oid).toInt(), QString::fromUtf8(field)}) == 0;
        g_hash_table_unref(itemAttributes);
        GError* error = nullptr;
        if (stale && !secret_item_delete_sync(SECRET_ITEM(at->data), nullptr, &error)) {
            ok = Failed("delete an entry", error);
        }
    }
    return ok;
}

}  // namespace corvane
