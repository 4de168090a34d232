#include "store/KeyringPasswords.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <qt6keychain/keychain.h>

#include "store/ServerStore.h"

namespace {
// A keyring on the session bus: the Secret Service (gnome-keyring, KeePassXC, ...) or the desktop's
// wallet, which qtkeychain talks to on such desktops.
const QStringList KeyringServices = {QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd6"),
                                     QStringLiteral("org.kde.kwalletd5")};
const QString BusService = QStringLiteral("org.freedesktop.DBus");
const QString BusPath = QStringLiteral("/org/freedesktop/DBus");

// Calls a method of the bus itself and hands its reply (or an invalid one) to then.
void AskBus(QObject* context, const QString& method, const QVariantList& args,
            std::function<void(const QDBusMessage&)> then)
{
    QDBusMessage call = QDBusMessage::createMethodCall(BusService, BusPath, BusService, method);
    call.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 10000), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [then = std::move(then)](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         then(w->reply());
                     });
}

PasswordResult Result(PasswordResult::Kind kind, const QString& text = QString())
{
    PasswordResult r;
    r.kind = kind;
    r.text = text;
    return r;
}
}  // namespace

KeyringPasswords::KeyringPasswords(QObject* parent) : QObject(parent) {}

void KeyringPasswords::whenKeyringAnswers(std::function<void()> start, Callback done)
{
    if (!QDBusConnection::sessionBus().isConnected()) {
        QTimer::singleShot(0, this, [done] { done(Result(PasswordResult::NoKeyring)); });
        return;
    }
    AskBus(this, QStringLiteral("ListNames"), {}, [this, start, done](const QDBusMessage& names) {
        // A bus that fails or does not answer in time says nothing about whether a keyring is there.
        if (names.type() != QDBusMessage::ReplyMessage) {
            done(Result(PasswordResult::NoAnswer, names.errorMessage()));
            return;
        }
        const QStringList running = names.arguments().value(0).toStringList();
        for (const QString& service : KeyringServices)
            if (running.contains(service)) {
                start();
                return;
            }
        // Not running: the bus may start it on the first call.
        AskBus(this, QStringLiteral("ListActivatableNames"), {}, [start, done](const QDBusMessage& startable) {
            if (startable.type() != QDBusMessage::ReplyMessage) {
                done(Result(PasswordResult::NoAnswer, startable.errorMessage()));
                return;
            }
            const QStringList names = startable.arguments().value(0).toStringList();
            for (const QString& service : KeyringServices)
                if (names.contains(service)) {
                    start();
                    return;
                }
            done(Result(PasswordResult::NoKeyring));
        });
    });
}

void KeyringPasswords::runJob(QKeychain::Job* job, Callback done)
{
    // A job has no parent: one still out when this store goes (the window closed while the keyring
    // asks to be unlocked) finishes and deletes itself; its answer is then dropped.
    job->setAutoDelete(true);
    job->setInsecureFallback(false);  // never a plain file in the keyring's place
    connect(job, &QKeychain::Job::finished, this, [this, done](QKeychain::Job* j) {
        if (j->error() == QKeychain::NoError) {
            PasswordResult r;
            if (auto* reader = qobject_cast<QKeychain::ReadPasswordJob*>(j))
                r.password = reader->textData();
            done(r);
            return;
        }
        classifyFailure(j, done);
    });
    whenKeyringAnswers([job] { job->start(); },
                       [job, done](const PasswordResult& r) {
                           delete job;  // never started
                           done(r);
                       });
}

void KeyringPasswords::classifyFailure(QKeychain::Job* job, Callback done)
{
    const QKeychain::Error error = job->error();
    const QString text = job->errorString();
    if (error == QKeychain::EntryNotFound) {
        done(Result(PasswordResult::NotFound));
        return;
    }
    if (error == QKeychain::NoBackendAvailable) {
        done(Result(PasswordResult::NoKeyring, text));
        return;
    }
    // The library's own answer: a locked keyring is AccessDenied (the Secret Service's "is locked",
    // a wallet that would not open), a prompt the user turned down AccessDeniedByUser.
    if (error == QKeychain::AccessDenied)
        done(Result(PasswordResult::Locked, text));
    else if (error == QKeychain::AccessDeniedByUser)
        done(Result(PasswordResult::Refused, text));
    else
        done(Result(PasswordResult::OtherError, text));
}

void KeyringPasswords::read(const QString& key, Callback done)
{
    auto* job = new QKeychain::ReadPasswordJob(Store::KeyringService);
    job->setKey(key);
    runJob(job, std::move(done));
}

void KeyringPasswords::write(const QString& key, const QString& password, Callback done)
{
    auto* job = new QKeychain::WritePasswordJob(Store::KeyringService);
    job->setKey(key);
    job->setTextData(password);
    runJob(job, std::move(done));
}

void KeyringPasswords::remove(const QString& key, Callback done)
{
    auto* job = new QKeychain::DeletePasswordJob(Store::KeyringService);
    job->setKey(key);
    runJob(job, std::move(done));
}

void KeyringPasswords::probe(Callback done)
{
    whenKeyringAnswers([done] { done(Result(PasswordResult::Done)); }, done);
}
