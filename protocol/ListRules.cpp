// Rules about what a list reply brought that every front end applies alike.

#include "protocol/ListRules.h"

#include <QSet>

DomainListCheck CheckDomainList(const QStringList& names)
{
    DomainListCheck check;
    QSet<QString> seen;
    seen.reserve(names.size());
    for (const QString& domain : names) {
        if (domain.isEmpty() || seen.contains(domain)) {
            check.damaged = true;
            break;
        }
        seen.insert(domain);
        ++check.sound;
    }
    return check;
}

QStringList UniqueCustomDomainNames(const QStringList& names)
{
    QStringList unique;
    QSet<QString> seen;
    for (const QString& name : names) {
        if (name.isEmpty() || seen.contains(name))
            continue;
        seen.insert(name);
        unique << name;
    }
    return unique;
}
