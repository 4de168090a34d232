#include "replies/DomainLists.h"

#include <QSet>

UsableDomainList UsableDomains(const QStringList& domainNames)
{
    UsableDomainList list;
    QSet<QString> seen;
    for (const QString& domain : domainNames) {
        if (domain.isEmpty() || seen.contains(domain)) {
            list.damaged = true;
            break;
        }
        seen.insert(domain);
        list.names << domain;
    }
    return list;
}

QStringList UsableCustomDomains(const QStringList& customDomainNames)
{
    QStringList names;
    QSet<QString> seen;
    for (const QString& name : customDomainNames) {
        if (name.isEmpty() || seen.contains(name))
            continue;
        seen.insert(name);
        names << name;
    }
    return names;
}
