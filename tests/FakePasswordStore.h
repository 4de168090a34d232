#pragma once
// A keyring in memory for the tests of our own password logic: it answers every call through the
// event loop as the real one does, or holds the answers until the test releases them, and can be
// told to answer as a keyring that is absent, locked or refusing (for every key or for one).

#include <QMap>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

#include "store/PasswordStore.h"

struct FakeKeyring {
    QMap<QString, QString> entries;
    PasswordResult::Kind answer = PasswordResult::Done;  // Done: acts as a working keyring
    QMap<QString, PasswordResult::Kind> answerFor;       // per key, in place of `answer`
    bool hold = false;                                    // answers wait for release()
    QStringList calls;                                    // "read server1", "write server1", ...
    std::vector<std::function<void()>> held;

    void release()
    {
        auto answers = std::move(held);
        held.clear();
        for (auto& a : answers)
            a();
    }
};

class FakePasswordStore : public PasswordStore {
public:
    explicit FakePasswordStore(FakeKeyring& keyring) : k_(keyring) {}

    void read(const QString& key, Callback done) override
    {
        k_.calls << QStringLiteral("read ") + key;
        answer(key, done, [this, key](PasswordResult& r) {
            if (!k_.entries.contains(key))
                r.kind = PasswordResult::NotFound;
            else
                r.password = k_.entries.value(key);
        });
    }
    void write(const QString& key, const QString& password, Callback done) override
    {
        k_.calls << QStringLiteral("write ") + key;
        answer(key, done, [this, key, password](PasswordResult&) { k_.entries[key] = password; });
    }
    void remove(const QString& key, Callback done) override
    {
        k_.calls << QStringLiteral("remove ") + key;
        answer(key, done, [this, key](PasswordResult& r) {
            if (!k_.entries.remove(key))
                r.kind = PasswordResult::NotFound;
        });
    }

    void probe(Callback done) override
    {
        k_.calls << QStringLiteral("probe");
        answer(QString(), done, [](PasswordResult&) {});
    }

private:
    // The keyring acts when it answers, as a real one does once the job has run.
    void answer(const QString& key, Callback done, std::function<void(PasswordResult&)> act)
    {
        FakeKeyring& k = k_;
        auto run = [&k, key, done, act] {
            PasswordResult r;
            r.kind = k.answerFor.value(key, k.answer);
            if (r.kind == PasswordResult::OtherError)
                r.text = QStringLiteral("the collection could not be opened");
            if (r.ok())
                act(r);
            done(r);
        };
        if (k_.hold)
            k_.held.push_back(run);
        else
            QTimer::singleShot(0, run);
    }

    FakeKeyring& k_;
};
