#pragma once
// A server's state as data: the domains chosen with their accounts and each account's details,
// and the custom domains with their files' text. It is what a dump writes, what a state file is
// read into, and the two sides a plan is computed from.
//
// Every detail group of an account is optional: absent means "not stated" (a dump with
// --accounts-only, a hand-written file that names only the passwords), and a plan neither compares
// nor touches what one side does not state. Texts are as the wire carries them (Latin-1 once sent);
// a file's text is its lines, each ended by "\n", exactly as the editors hold it.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "protocol/FileText.h"

struct StateMember {
    QString address;
    bool readOnly = false;
    bool operator==(const StateMember& o) const { return address == o.address && readOnly == o.readOnly; }
};

struct StateLink {
    QString server, user;
    std::optional<QString> password;  // absent: not stated (a dump without passwords)
    bool apop = false;
    bool enabled = true;
};

// A mail-processing file as the server holds it: none (the server sent "-"), or its text.
struct StateFile {
    bool exists = false;
    QString text;
    bool operator==(const StateFile& o) const { return exists == o.exists && (!exists || text == o.text); }
};

struct StateAccount {
    QString name;
    bool isList = false;
    std::optional<QString> password;
    std::optional<QStringList> aliases;                     // the aliases of its domain that lead to it
    std::optional<QList<QPair<QString, QString>>> variables;  // name, value
    std::optional<StateFile> mailproc;
    std::optional<QList<StateMember>> members;              // mailing lists only
    std::optional<QList<StateLink>> pop3Links;
};

struct StateDomain {
    QString name;
    std::vector<StateAccount> accounts;
    const StateAccount* find(const QString& account) const;
};

struct StateCustomDomain {
    QString name;
    QString text;
};

struct ServerState {
    std::vector<StateDomain> domains;
    std::vector<StateCustomDomain> customDomains;

    const StateDomain* findDomain(const QString& name) const;
    const StateCustomDomain* findCustomDomain(const QString& name) const;
    // The fixed order every dump is written in: domains, accounts, aliases, members and links by
    // name (without regard to case, then as they stand), variables by name.
    void sort();
    // Takes every password out (--no-passwords).
    void dropPasswords();
    qsizetype accountCount() const;
};

namespace StateText {
// The text of a downloaded file as the editors hold it: its lines, each ended by "\n".
QString FromEditors(const FileEditors& editors, bool withMailbox);
// A file's text as the editors would hold it after a download. False (with the 1-based number of
// the first line they could not hold as it stands) when a line could not be sent back exactly.
bool ToEditors(const QString& text, bool withMailbox, FileEditors* editors, int* badLine);
// The names compare so: without regard to case, then as they stand.
bool NameLess(const QString& a, const QString& b);
bool SameName(const QString& a, const QString& b);
}  // namespace StateText
