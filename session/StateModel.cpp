#include "session/StateModel.h"

#include <algorithm>

#include "protocol/Protocol.h"

namespace StateText {

bool NameLess(const QString& a, const QString& b)
{
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString FromEditors(const FileEditors& editors, bool withMailbox)
{
    QByteArray body = ComposeFileBody(editors, withMailbox);
    if (body.endsWith(".\r\n"))
        body.chop(3);
    body.replace("\r\n", "\n");
    return Wire::decode(body);
}

bool ToEditors(const QString& text, bool withMailbox, FileEditors* editors, int* badLine)
{
    *editors = FileEditors();
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (int i = 0; i < lines.size(); ++i) {
        if (!AddFileLine(*editors, lines.at(i), withMailbox)) {
            *badLine = i + 1;
            return false;
        }
    }
    // Held line by line, and composed back into the very same text.
    if (FromEditors(*editors, withMailbox) != (lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n'))) {
        *badLine = 0;
        return false;
    }
    return true;
}

}  // namespace StateText

using StateText::NameLess;
using StateText::SameName;

const StateAccount* StateDomain::find(const QString& account) const
{
    // Sorted by name: a binary search keeps a diff of a large domain linear.
    auto it = std::lower_bound(accounts.begin(), accounts.end(), account, [](const StateAccount& a, const QString& n) {
        return a.name.compare(n, Qt::CaseInsensitive) < 0;
    });
    return it != accounts.end() && SameName(it->name, account) ? &*it : nullptr;
}

const StateDomain* ServerState::findDomain(const QString& name) const
{
    for (const StateDomain& d : domains)
        if (SameName(d.name, name))
            return &d;
    return nullptr;
}

const StateCustomDomain* ServerState::findCustomDomain(const QString& name) const
{
    for (const StateCustomDomain& c : customDomains)
        if (SameName(c.name, name))
            return &c;
    return nullptr;
}

void ServerState::sort()
{
    std::sort(domains.begin(), domains.end(), [](const StateDomain& a, const StateDomain& b) { return NameLess(a.name, b.name); });
    std::sort(customDomains.begin(), customDomains.end(),
              [](const StateCustomDomain& a, const StateCustomDomain& b) { return NameLess(a.name, b.name); });
    for (StateDomain& d : domains) {
        std::sort(d.accounts.begin(), d.accounts.end(),
                  [](const StateAccount& a, const StateAccount& b) { return NameLess(a.name, b.name); });
        for (StateAccount& a : d.accounts) {
            if (a.aliases)
                std::sort(a.aliases->begin(), a.aliases->end(), NameLess);
            if (a.variables)
                std::sort(a.variables->begin(), a.variables->end(),
                          [](const QPair<QString, QString>& x, const QPair<QString, QString>& y) { return NameLess(x.first, y.first); });
            if (a.members)
                std::sort(a.members->begin(), a.members->end(),
                          [](const StateMember& x, const StateMember& y) { return NameLess(x.address, y.address); });
            if (a.pop3Links)
                std::sort(a.pop3Links->begin(), a.pop3Links->end(), [](const StateLink& x, const StateLink& y) {
                    return SameName(x.server, y.server) ? NameLess(x.user, y.user) : NameLess(x.server, y.server);
                });
        }
    }
}

void ServerState::dropPasswords()
{
    for (StateDomain& d : domains)
        for (StateAccount& a : d.accounts) {
            a.password.reset();
            if (a.pop3Links)
                for (StateLink& l : *a.pop3Links)
                    l.password.reset();
        }
}

qsizetype ServerState::accountCount() const
{
    qsizetype n = 0;
    for (const StateDomain& d : domains)
        n += qsizetype(d.accounts.size());
    return n;
}
