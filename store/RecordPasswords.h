#pragma once
// A server record's password wherever it is kept: in the system keyring when the record says so
// ("password_store" = "keyring"), otherwise in the settings file as before. Saving puts it into the
// keyring when one answers; with none it stays in the file's scrambled form, and a keyring that is
// locked, refuses or does not answer changes nothing (nor does a missing one, for a record whose
// password is in the keyring). Never a plain password in the file.
//
// Used by the window and by the command-line tool alike; it needs no widget. In a QCoreApplication:
//   KeyringPasswords keyring;                       // store/KeyringPasswords.h (library tazelkeyring)
//   RecordPasswords records(settings, &keyring);
//   records.read("server3", [](const PasswordResult& r) { ... r.ok() ? r.password : KeyringProblemText(r) ... });
// then run the event loop until the callback has run.

#include <QString>
#include <functional>
#include <memory>

#include "store/PasswordStore.h"
#include "store/ServerStore.h"

class QSettings;

class RecordPasswords {
public:
    // store null: no keyring at all; every password stays in the settings file. An answer that
    // needs no keyring comes at once, inside the call; the keyring's come through the event loop.
    RecordPasswords(QSettings& settings, PasswordStore* store);
    ~RecordPasswords();
    RecordPasswords(const RecordPasswords&) = delete;
    RecordPasswords& operator=(const RecordPasswords&) = delete;

    bool hasKeyring() const { return store_ != nullptr; }

    // The record's password: from the keyring for a record whose password is there (NotFound when
    // its entry has gone), otherwise the settings file's (Done).
    void read(const QString& section, PasswordStore::Callback done);

    struct Saved {
        PasswordResult keyring;  // Done: in the keyring; NoKeyring: kept in the file; else not saved
                                 // (NoAnswer for a record in the keyring when none answers)
        bool written = false;    // the record reached the settings file
        bool inKeyring() const { return keyring.kind == PasswordResult::Done; }
    };
    // Writes the record, its password into the keyring first: on Done the record is marked and
    // holds an empty server_pass; on NoKeyring it holds the scrambled form, unless its password is
    // in the keyring already: then, as on any other answer, nothing is written. A settings file that cannot be written is found before the keyring is asked.
    void save(const QString& section, const ServerRecord& record, std::function<void(const Saved&)> done);

    struct Moved {
        int moved = 0;           // passwords now in the keyring
        int left = 0;            // passwords still in the settings file
        PasswordResult failure;  // Done when every one moved; else what stopped the move
        bool written = true;     // false: the settings file refused a record's change
    };
    // Moves every password the settings file holds into the keyring, record by record, in slot
    // order; stops at the first the keyring does not take (that record keeps its password).
    void moveAll(std::function<void(const Moved&)> done);

    struct Removed {
        PasswordResult keyring;  // Done or NotFound: entry gone; NoKeyring: left behind; else refused
        bool written = false;    // the record was removed from the settings file
    };
    // Removes the record and its keyring entry, the entry first: a keyring that is locked or
    // refuses leaves the record as it was.
    void remove(const QString& section, std::function<void(const Removed&)> done);

private:
    void moveFrom(QStringList sections, int index, Moved moved, std::function<void(const Moved&)> done);
    // Runs f unless this object has gone since the call that scheduled it.
    template <typename F>
    auto guarded(F f)
    {
        return [alive = std::weak_ptr<int>(alive_), f = std::move(f)](const auto&... args) mutable {
            if (alive.lock())
                f(args...);
        };
    }

    QSettings& settings_;
    PasswordStore* store_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
