#pragma once
// Which entries of a server's domain lists are used, by every front end alike.
//
// The domains go in up to the first bad entry: an empty line or a domain listed twice means the
// server's domains.tab is damaged, and the load stops there (the user is told). Custom domains are
// reported once each by the server; an empty or repeated line adds nothing.

#include <QString>
#include <QStringList>

struct UsableDomainList {
    QStringList names;     // in the server's order
    bool damaged = false;  // an entry was bad: the names stop before it
};
UsableDomainList UsableDomains(const QStringList& domainNames);
QStringList UsableCustomDomains(const QStringList& customDomainNames);

inline const QString DomainListErrorTitle = QStringLiteral("Error Loading Domain List");
inline const QString DomainListErrorText = QStringLiteral(
    "An error was encourtered while processing the domains.tab file on the server.  "
    "Check the file for invalid entries like \"\".");
