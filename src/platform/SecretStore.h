#pragma once

// Passwords kept by the session's Secret Service (GNOME Keyring, KWallet) through
// libsecret. Each entry carries the attributes "list" (the task list file's path),
// "task-oid", "task" (the task's name, for people and other tools) and "field"; an
// entry is found by list, OID and field alone, so a renamed task keeps its passwords.
//
// Where no session bus or no Secret Service exists, IsAvailable() is false and every
// call answers so at once; callers then keep passwords where they kept them before.
// Secrets never reach the log.
//
// One object per thread; each call blocks on the service (and, when the object may
// prompt, on the user answering the service's unlock prompt).

#include <QString>
#include <set>
#include <utility>

struct _SecretService;

namespace corvane {

struct SecretKey {
    QString list;
    qint32 oid = 0;
    QString task;
    QString field;
};

enum class SecretLookup { kFound, kMissing, kLocked, kUnavailable };

class SecretStore {
  public:
    // `mayPrompt`: a locked keyring may ask the user (through the service's own
    // prompt) to unlock it; otherwise locked entries are reported as kLocked.
    explicit SecretStore(bool mayPrompt);
    ~SecretStore();
    SecretStore(const SecretStore&) = delete;
    SecretStore& operator=(const SecretStore&) = delete;

    bool IsAvailable() const { return m_service != nullptr; }

    // Keeps `secret` for the key under `label`, replacing what the key held. False
    // (with the service's reason in the log) when it could not be stored.
    [[nodiscard]] bool Store(const SecretKey& key, const QString& label, const QString& secret);
    SecretLookup Lookup(const SecretKey& key, QString* secret);
    // Deletes every entry of `list` but those of the (task OID, field) pairs in `keep`:
    // one search for all, however many tasks the list has.
    bool RemoveOthers(const QString& list, const std::set<std::pair<qint32, QString>>& keep);

  private:
    _SecretService* m_service = nullptr;
    bool m_mayPrompt;
};

}  // namespace corvane
