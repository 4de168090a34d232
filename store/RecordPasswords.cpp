#include "store/RecordPasswords.h"

#include <QSettings>
#include <QStringList>

RecordPasswords::RecordPasswords(QSettings& settings, PasswordStore* store) : settings_(settings), store_(store)
{
}

RecordPasswords::~RecordPasswords() = default;

void RecordPasswords::read(const QString& section, PasswordStore::Callback done)
{
    if (!PasswordInKeyring(settings_, section)) {
        PasswordResult r;
        r.password = ReadServerPassword(settings_, section);
        done(r);
        return;
    }
    if (!store_) {
        done({PasswordResult::NoKeyring, {}, {}});
        return;
    }
    store_->read(section, guarded(std::move(done)));
}

void RecordPasswords::save(const QString& section, const ServerRecord& record,
                           std::function<void(const Saved&)> done)
{
    if (!SettingsWritable(settings_)) {
        done({});
        return;
    }
    // A record whose password is in the keyring stays there: without a keyring that answers it is
    // not saved (its password never moves back into the file behind the user's back).
    const bool inKeyring = PasswordInKeyring(settings_, section);
    if (!store_) {
        if (inKeyring)
            done({{PasswordResult::NoAnswer, {}, QStringLiteral("no keyring is used in this run")}, false});
        else
            done({{PasswordResult::NoKeyring, {}, {}}, WriteServerRecord(settings_, section, record)});
        return;
    }
    store_->write(section, record.password, guarded([this, section, record, done, inKeyring](PasswordResult r) {
        if (r.kind == PasswordResult::NoKeyring && inKeyring)
            r.kind = PasswordResult::NoAnswer;
        Saved saved{r, false};
        if (r.kind == PasswordResult::Done || r.kind == PasswordResult::NoKeyring)
            saved.written = WriteServerRecord(settings_, section, record, r.kind == PasswordResult::Done);
        done(saved);
    }));
}

void RecordPasswords::moveAll(std::function<void(const Moved&)> done)
{
    QStringList sections;
    for (const QString& section : ServerRecordSections(settings_))
        if (!PasswordInKeyring(settings_, section) && settings_.contains(section + QLatin1Char('/') + Store::PasswordKey))
            sections << section;
    Moved moved;
    moved.left = int(sections.size());
    if (!store_) {
        moved.failure.kind = PasswordResult::NoKeyring;
        done(moved);
        return;
    }
    if (!sections.isEmpty() && !SettingsWritable(settings_)) {
        moved.written = false;
        done(moved);
        return;
    }
    moveFrom(sections, 0, moved, std::move(done));
}

void RecordPasswords::moveFrom(QStringList sections, int index, Moved moved, std::function<void(const Moved&)> done)
{
    if (index >= sections.size()) {
        done(moved);
        return;
    }
    const QString section = sections.at(index);
    // Read when its turn comes: the record may have been saved meanwhile.
    if (PasswordInKeyring(settings_, section)) {
        --moved.left;
        moveFrom(sections, index + 1, moved, std::move(done));
        return;
    }
    const QString password = ReadServerPassword(settings_, section);
    store_->write(section, password, guarded([this, sections, index, moved, done, section](const PasswordResult& r) mutable {
        if (!r.ok()) {
            moved.failure = r;
            done(moved);
            return;
        }
        if (!MarkPasswordInKeyring(settings_, section)) {
            moved.written = false;
            done(moved);
            return;
        }
        ++moved.moved;
        --moved.left;
        moveFrom(sections, index + 1, moved, done);
    }));
}

void RecordPasswords::remove(const QString& section, std::function<void(const Removed&)> done)
{
    if (!SettingsWritable(settings_)) {
        done({});
        return;
    }
    if (!PasswordInKeyring(settings_, section)) {
        done({{PasswordResult::NotFound, {}, {}}, DeleteServerRecord(settings_, section)});
        return;
    }
    if (!store_) {
        done({{PasswordResult::NoKeyring, {}, {}}, DeleteServerRecord(settings_, section)});
        return;
    }
    store_->remove(section, guarded([this, section, done](const PasswordResult& r) {
        Removed removed{r, false};
        if (r.kind == PasswordResult::Done || r.kind == PasswordResult::NotFound ||
            r.kind == PasswordResult::NoKeyring)
            removed.written = DeleteServerRecord(settings_, section);
        done(removed);
    }));
}
