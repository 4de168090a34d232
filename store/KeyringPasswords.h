#pragma once
// The system keyring through qtkeychain: service "Tazel Administrator", key the record's section
// name. Before each job it asks the session bus whether a keyring (a Secret Service) is there at
// all, so "no keyring" is told apart from a keyring that is locked or refuses; a bus that fails or
// does not answer in time is "did not answer", never "no keyring". A failed job is told locked,
// refused or other by qtkeychain's own answer. Nothing is ever kept anywhere else: the
// library's plain-file fallback stays off.
//
// Links Qt Core, Qt D-Bus and qtkeychain only: the window and the command-line tool both use it.

#include <QObject>

#include "store/PasswordStore.h"

namespace QKeychain {
class Job;
}

class KeyringPasswords : public QObject, public PasswordStore {
    Q_OBJECT
public:
    explicit KeyringPasswords(QObject* parent = nullptr);

    void read(const QString& key, Callback done) override;
    void write(const QString& key, const QString& password, Callback done) override;
    void remove(const QString& key, Callback done) override;
    void probe(Callback done) override;

private:
    // Runs start when a keyring service has an owner on the session bus or can be started by it;
    // otherwise answers NoKeyring.
    void whenKeyringAnswers(std::function<void()> start, Callback done);
    void runJob(QKeychain::Job* job, Callback done);
    void classifyFailure(QKeychain::Job* job, Callback done);
};
