#pragma once
// The window's side of the stored passwords: which store it uses (the system keyring), the
// passwords of the records read from it when the window starts (kept in memory, updated by every
// save), the server panel's line that says when passwords stay in the settings file, and File >
// "Move Passwords to the Keyring". The server panel's commands save and remove through records().

#include <QHash>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "store/RecordPasswords.h"

class QLabel;
class frmMain;

class ServerPasswords : public QObject {
    Q_OBJECT
public:
    using StoreFactory = std::function<std::unique_ptr<PasswordStore>()>;
    // The store the next windows use: the system keyring unless a factory is set; a factory that
    // gives null keeps every password in the settings file, with no keyring asked at all.
    static void SetStoreFactory(StoreFactory factory);

    explicit ServerPasswords(frmMain& window);
    ~ServerPasswords() override;

    RecordPasswords& records() { return *records_; }
    PasswordStore* store() const { return store_.get(); }

    // Reads the password of every record kept in the keyring into memory; returns at once.
    void readAll();

    // ------------------------------------------------------------------ the script head's seam
    // The password a script head logs in with: the settings file's for a record kept there, the
    // one read from the keyring for a record kept in it; none while that read has not answered or
    // when it failed (UnavailableText then says why).
    std::optional<QString> PasswordFor(const QString& serverKey) const;
    QString UnavailableText(const QString& serverKey) const;
    // For a script held until its password is known: then runs with the password, or with none
    // and UnavailableText's reason when it cannot be had. At once when that is known already;
    // waiters of one record are answered in the order they asked.
    using PasswordWaiter = std::function<void(const std::optional<QString>& password, const QString& reason)>;
    void WhenPasswordKnown(const QString& serverKey, PasswordWaiter waiter);
    // "The password of the server NAME could not be read: ..." (or is still being read).
    QString passwordProblem(const QString& serverKey) const;

    // The server panel's password box for this record; filled when the password arrives when it
    // has not yet (unless the user has typed into the box meanwhile).
    void fillPasswordBox(const QString& serverKey);
    // The password box holds no password of its record: it was never read (the keyring has not
    // answered, or failed) and the user has not typed one.
    bool passwordBoxUnread(const QString& serverKey) const;

    // What a save or a removal changed.
    void noteSaved(const QString& section, const QString& password, const RecordPasswords::Saved& saved);
    void noteRemoved(const QString& section);
    // Any keyring answer tells whether a keyring is there; the panel's line follows it.
    void noteAnswer(const PasswordResult& result);

    // A keyring job of a server command is out: the panel's buttons wait for it.
    bool busy() const { return busy_; }
    void setBusy(bool busy);

    // File > "Move Passwords to the Keyring": moves every password the settings file holds and
    // says how many moved.
    void movePasswords();

private:
    struct Entry {
        enum State { Reading, Known, Failed } state = Reading;
        QString password;
        PasswordResult failure;
    };
    void arrived(const QString& section, const PasswordResult& result);
    void answerWaiters(const QString& section);
    QString serverName(const QString& section) const;

    frmMain& w_;
    std::unique_ptr<PasswordStore> store_;
    std::unique_ptr<RecordPasswords> records_;
    QHash<QString, Entry> cache_;
    QHash<QString, std::vector<PasswordWaiter>> waiters_;
    QString boxWaitsFor_;       // the record whose password the panel's box waits for
    QLabel* fileLine_ = nullptr;  // "Password kept in the settings file: no system keyring"
    bool busy_ = false;
};
