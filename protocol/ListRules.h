#pragma once
// Rules about what a list reply brought that every front end applies alike.

#include <QStringList>

// How much of a "domainlist" reply can be taken as it is: the names up to the first bad entry. An
// empty line or a domain listed twice means the server's domain file is damaged; the names before
// it are sound, what follows is not taken.
struct DomainListCheck {
    qsizetype sound = 0;  // the first this many names are sound
    bool damaged = false;
};
DomainListCheck CheckDomainList(const QStringList& names);
