#pragma once
// Where administrator passwords are kept when not in the settings file: the system keyring,
// behind a small asynchronous interface so that the window never waits for it and tests can put
// a fake in its place. Entries are keyed by the record's section name ("server3").
//
// Every call finishes through its callback, never before the call returns, on the thread that
// made it (the event loop runs it). Works in a QCoreApplication: nothing here needs a widget.

#include <QString>
#include <functional>

struct PasswordResult {
    enum Kind {
        Done,        // read: the password is in `password`
        NotFound,    // no entry for that key
        NoKeyring,   // no keyring at all (the session bus lists none, or there is no session bus)
        NoAnswer,    // the session bus or the keyring did not answer (an error or a time-out)
        Locked,      // the keyring is there but locked
        Refused,     // the keyring (or the user at its prompt) refused access
        OtherError,  // anything else; `text` holds the keyring's own words
    };
    Kind kind = Done;
    QString password;
    QString text;

    bool ok() const { return kind == Done; }
};

class PasswordStore {
public:
    using Callback = std::function<void(const PasswordResult&)>;
    virtual ~PasswordStore() = default;
    virtual void read(const QString& key, Callback done) = 0;
    virtual void write(const QString& key, const QString& password, Callback done) = 0;
    // Removing an entry that is not there finishes with NotFound.
    virtual void remove(const QString& key, Callback done) = 0;
    // Whether a keyring is there (Done), without touching any entry, so that it never asks to be
    // unlocked: NoKeyring or NoAnswer otherwise.
    virtual void probe(Callback done) = 0;
};

// What went wrong, as the end of a sentence: "the system keyring is locked", "no system keyring is
// running (...)"; for Done and NotFound a plain statement too.
QString KeyringProblemText(const PasswordResult& result);
