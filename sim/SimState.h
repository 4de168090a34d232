#pragma once
// What the simulated server holds: domains with their accounts, mailing-list members, variables and
// mail-processing files, custom domains with their file text, aliases and POP3 links.
//
// Plain public containers, so that tests can set up and inspect the server directly; the lookups
// compare domain, account and custom domain names without regard to case, as the server does.
// File texts keep their lines ended by CR LF, as the server sends them.

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

struct SimMember {
    QString address;
    QString access;  // "R" read only, "RW" read and post
};

struct SimAccount {
    QString name, password, kind;  // kind "U" user or "M" mailing list
    QList<QPair<QString, QString>> vars;
    bool hasMailproc = false;
    QString mailproc;  // the mailproc.tab text, lines ended CR LF
    QList<SimMember> members;

    // An account with a name, a password and a kind, and nothing else.
    static SimAccount Make(const QString& name, const QString& password = QStringLiteral("pw"),
                           const QString& kind = QStringLiteral("U"))
    {
        SimAccount a;
        a.name = name;
        a.password = password;
        a.kind = kind;
        return a;
    }
};

// Moved, not copied, when a list of a million accounts grows.
Q_DECLARE_TYPEINFO(SimAccount, Q_RELOCATABLE_TYPE);

struct SimDomain {
    QString name;
    QList<SimAccount> accounts;
};

struct SimAlias {
    QString domain, alias, account;  // account: a name of the domain or a whole address
};

struct SimPop3Link {
    QString domain, account, server, user, password;
    QString auth;  // "CLR" or "APOP"
    bool enabled = false;
};

struct SimState {
    QList<SimDomain> domains;
    QMap<QString, QString> customDomains;  // name -> file text, lines ended CR LF
    QList<SimAlias> aliases;
    QList<SimPop3Link> pop3Links;

    SimDomain* domain(const QString& name);
    const SimDomain* domain(const QString& name) const;
    SimAccount* account(const QString& domain, const QString& name);
    const SimAccount* account(const QString& domain, const QString& name) const;
    // The key under which a custom domain is stored, whatever the case of the name asked for;
    // a null text when there is none.
    QString customDomainKey(const QString& name) const;
    int aliasIndex(const QString& domain, const QString& alias) const;  // -1 when none
    int pop3LinkIndex(const QString& domain, const QString& account, const QString& server,
                      const QString& user) const;  // -1 when none

    // Adds count users "user0000001"... (password "pass" + the same number) to the domain, creating
    // the domain when it is missing. Numbering goes on from the accounts already there.
    void addBulkAccounts(const QString& domain, int count);
    void clear();
};

// Two names the same without regard to case.
bool SameName(const QString& a, const QString& b);

// A text split into its lines at CR LF (a last line without one counts too); an empty text has none.
QList<QString> FileLines(const QString& text);

// The state as the text of a data file, and back. The data file is our own line format:
//   domain     NAME
//   account    DOMAIN NAME PASSWORD KIND
//   member     DOMAIN LIST ADDRESS ACCESS
//   var        DOMAIN ACCOUNT NAME VALUE
//   mailproc   DOMAIN ACCOUNT                 (the account has a mailproc.tab, maybe empty)
//   procline   DOMAIN ACCOUNT LINE            (one line of it)
//   custdomain NAME                           (a custom domain, maybe with an empty file)
//   custline   NAME LINE                      (one line of its file)
//   alias      DOMAIN ALIAS ACCOUNT
//   pop3       DOMAIN ACCOUNT SERVER USER PASSWORD AUTH ENABLED(1/0)
// Fields are separated by one TAB; the LINE of procline and custline is the rest of the line, TABs
// included. A backslash escapes: \t TAB, \r CR, \n LF, \\ backslash. Empty lines and lines starting
// with "#" are comments.
bool ParseSimState(const QString& text, SimState* state, QString* error);
QString SimStateText(const SimState& state);
