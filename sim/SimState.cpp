#include "sim/SimState.h"

#include <QHash>
#include <QStringList>
#include <algorithm>

// Names compared without regard to case; a plain loop, since a domain may hold a million accounts.
bool SameName(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    const QChar* p = a.constData();
    const QChar* q = b.constData();
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = p[i].unicode(), y = q[i].unicode();
        if (x == y)
            continue;
        if (x < 0x80 && y < 0x80) {
            if ((x | 0x20) != (y | 0x20) || (x | 0x20) < u'a' || (x | 0x20) > u'z')
                return false;
        } else if (p[i].toCaseFolded() != q[i].toCaseFolded()) {
            return false;
        }
    }
    return true;
}

SimDomain* SimState::domain(const QString& name)
{
    for (SimDomain& d : domains)
        if (SameName(d.name, name))
            return &d;
    return nullptr;
}

const SimDomain* SimState::domain(const QString& name) const
{
    return const_cast<SimState*>(this)->domain(name);
}

SimAccount* SimState::account(const QString& domainName, const QString& name)
{
    SimDomain* d = domain(domainName);
    if (!d)
        return nullptr;
    for (SimAccount& a : d->accounts)
        if (SameName(a.name, name))
            return &a;
    return nullptr;
}

const SimAccount* SimState::account(const QString& domainName, const QString& name) const
{
    return const_cast<SimState*>(this)->account(domainName, name);
}

QString SimState::customDomainKey(const QString& name) const
{
    for (auto it = customDomains.cbegin(); it != customDomains.cend(); ++it)
        if (SameName(it.key(), name))
            return it.key();
    return QString();
}

int SimState::aliasIndex(const QString& domainName, const QString& alias) const
{
    for (int i = 0; i < aliases.size(); ++i)
        if (SameName(aliases[i].domain, domainName) && SameName(aliases[i].alias, alias))
            return i;
    return -1;
}

int SimState::pop3LinkIndex(const QString& domainName, const QString& accountName,
                            const QString& server, const QString& user) const
{
    for (int i = 0; i < pop3Links.size(); ++i) {
        const SimPop3Link& l = pop3Links[i];
        if (SameName(l.domain, domainName) && SameName(l.account, accountName) &&
            SameName(l.server, server) && l.user == user)
            return i;
    }
    return -1;
}

void SimState::addBulkAccounts(const QString& domainName, int count)
{
    SimDomain* d = domain(domainName);
    if (!d) {
        domains.append(SimDomain{domainName, {}});
        d = &domains.last();
    }
    const int first = int(d->accounts.size()) + 1;
    d->accounts.reserve(d->accounts.size() + count);
    const QString user = QStringLiteral("U");
    // "user" / "pass" and the number with at least seven digits, written straight into the text.
    char16_t digits[16];
    for (int n = first; n < first + count; ++n) {
        int len = 0;
        for (int v = n; v > 0 || len < 7; v /= 10)
            digits[15 - len++] = char16_t(u'0' + v % 10);
        SimAccount& a = d->accounts.emplace_back();
        a.name.resize(4 + len);
        a.password.resize(4 + len);
        char16_t* name = reinterpret_cast<char16_t*>(a.name.data());
        char16_t* pass = reinterpret_cast<char16_t*>(a.password.data());
        std::copy_n(u"user", 4, name);
        std::copy_n(u"pass", 4, pass);
        std::copy_n(digits + 16 - len, len, name + 4);
        std::copy_n(digits + 16 - len, len, pass + 4);
        a.kind = user;  // shared text: a million accounts cost a million names and passwords only
    }
}

void SimState::clear()
{
    domains.clear();
    customDomains.clear();
    aliases.clear();
    pop3Links.clear();
}

QList<QString> FileLines(const QString& text)
{
    QList<QString> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = text.indexOf(QLatin1String("\r\n"), start);
        if (end < 0) {
            lines.append(text.mid(start));
            break;
        }
        lines.append(text.mid(start, end - start));
        start = end + 2;
    }
    return lines;
}

// --- the data file ---

static QString Escape(const QString& value, bool keepTabs)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\t': out += keepTabs ? QStringLiteral("\t") : QStringLiteral("\\t"); break;
        default: out += c;
        }
    }
    return out;
}

static QString Unescape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar n = value.at(++i);
        if (n == QLatin1Char('t'))
            out += QLatin1Char('\t');
        else if (n == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (n == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else
            out += n;
    }
    return out;
}

static QString Record(const QStringList& fields, const QString& rest = QString(), bool withRest = false)
{
    QStringList escaped;
    for (const QString& f : fields)
        escaped << Escape(f, false);
    if (withRest)
        escaped << Escape(rest, true);
    return escaped.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

QString SimStateText(const SimState& state)
{
    QString out = QStringLiteral("# Tazel simulator data\n");
    for (const SimDomain& d : state.domains) {
        out += Record({QStringLiteral("domain"), d.name});
        for (const SimAccount& a : d.accounts) {
            out += Record({QStringLiteral("account"), d.name, a.name, a.password, a.kind});
            for (const SimMember& m : a.members)
                out += Record({QStringLiteral("member"), d.name, a.name, m.address, m.access});
            for (const auto& v : a.vars)
                out += Record({QStringLiteral("var"), d.name, a.name, v.first, v.second});
            if (a.hasMailproc) {
                out += Record({QStringLiteral("mailproc"), d.name, a.name});
                for (const QString& line : FileLines(a.mailproc))
                    out += Record({QStringLiteral("procline"), d.name, a.name}, line, true);
            }
        }
    }
    for (auto it = state.customDomains.cbegin(); it != state.customDomains.cend(); ++it) {
        out += Record({QStringLiteral("custdomain"), it.key()});
        for (const QString& line : FileLines(it.value()))
            out += Record({QStringLiteral("custline"), it.key()}, line, true);
    }
    for (const SimAlias& a : state.aliases)
        out += Record({QStringLiteral("alias"), a.domain, a.alias, a.account});
    for (const SimPop3Link& l : state.pop3Links)
        out += Record({QStringLiteral("pop3"), l.domain, l.account, l.server, l.user, l.password, l.auth,
                       l.enabled ? QStringLiteral("1") : QStringLiteral("0")});
    return out;
}

// Splits a record into at most `count` fields; the last one takes the rest of the line.
static QStringList SplitRecord(const QString& line, int count)
{
    QStringList fields;
    qsizetype start = 0;
    while (fields.size() + 1 < count) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'), start);
        if (tab < 0)
            break;
        fields << line.mid(start, tab - start);
        start = tab + 1;
    }
    fields << line.mid(start);
    return fields;
}

bool ParseSimState(const QString& text, SimState* out, QString* error)
{
    // Field counts per record; procline and custline end with the rest of the line.
    static const QMap<QString, int> counts = {
        {QStringLiteral("domain"), 2},  {QStringLiteral("account"), 5},    {QStringLiteral("member"), 5},
        {QStringLiteral("var"), 5},     {QStringLiteral("mailproc"), 3},   {QStringLiteral("procline"), 4},
        {QStringLiteral("custdomain"), 2}, {QStringLiteral("custline"), 3}, {QStringLiteral("alias"), 4},
        {QStringLiteral("pop3"), 8}};
    SimState state;
    // Lookups by case-folded name, so that a file of a million accounts loads in linear time.
    QHash<QString, int> domainAt;                        // domain -> its index
    QHash<QString, QHash<QString, int>> accountAt;       // domain -> account -> its index
    QHash<QString, QString> customKey;                   // custom domain -> its stored name
    const auto findAccount = [&](const QString& domainName, const QString& name) -> SimAccount* {
        const int d = domainAt.value(domainName.toCaseFolded(), -1);
        if (d < 0)
            return nullptr;
        const int a = accountAt.value(domainName.toCaseFolded()).value(name.toCaseFolded(), -1);
        return a < 0 ? nullptr : &state.domains[d].accounts[a];
    };
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        auto fail = [&](const QString& why) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(n + 1).arg(why);
            return false;
        };
        const QString kind = line.section(QLatin1Char('\t'), 0, 0);
        if (!counts.contains(kind))
            return fail(QStringLiteral("unknown record \"%1\"").arg(kind));
        const int count = counts.value(kind);
        const bool withRest = kind == QLatin1String("procline") || kind == QLatin1String("custline");
        QStringList f = withRest ? SplitRecord(line, count) : line.split(QLatin1Char('\t'));
        if (f.size() != count)
            return fail(QStringLiteral("\"%1\" needs %2 fields, found %3").arg(kind).arg(count).arg(f.size()));
        for (QString& field : f)
            field = Unescape(field);

        if (kind == QLatin1String("domain")) {
            if (f[1].isEmpty() || domainAt.contains(f[1].toCaseFolded()))
                return fail(QStringLiteral("empty or repeated domain"));
            domainAt.insert(f[1].toCaseFolded(), int(state.domains.size()));
            state.domains.append(SimDomain{f[1], {}});
        } else if (kind == QLatin1String("account")) {
            const int at = domainAt.value(f[1].toCaseFolded(), -1);
            if (at < 0)
                return fail(QStringLiteral("unknown domain \"%1\"").arg(f[1]));
            SimDomain* d = &state.domains[at];
            QHash<QString, int>& names = accountAt[f[1].toCaseFolded()];
            if (f[2].isEmpty() || names.contains(f[2].toCaseFolded()))
                return fail(QStringLiteral("empty or repeated account"));
            names.insert(f[2].toCaseFolded(), int(d->accounts.size()));
            const QString kindLetter = f[4].toUpper();
            if (kindLetter != QLatin1String("U") && kindLetter != QLatin1String("M"))
                return fail(QStringLiteral("account kind must be U or M"));
            SimAccount a;
            a.name = f[2];
            a.password = f[3];
            a.kind = kindLetter;
            d->accounts.append(a);
        } else if (kind == QLatin1String("custdomain")) {
            if (f[1].isEmpty() || customKey.contains(f[1].toCaseFolded()))
                return fail(QStringLiteral("empty or repeated custom domain"));
            customKey.insert(f[1].toCaseFolded(), f[1]);
            state.customDomains.insert(f[1], QString());
        } else if (kind == QLatin1String("custline")) {
            const QString key = customKey.value(f[1].toCaseFolded());
            if (key.isNull())
                return fail(QStringLiteral("unknown custom domain \"%1\"").arg(f[1]));
            state.customDomains[key] += f[2] + QLatin1String("\r\n");
        } else if (kind == QLatin1String("alias")) {
            if (!domainAt.contains(f[1].toCaseFolded()))
                return fail(QStringLiteral("unknown domain \"%1\"").arg(f[1]));
            state.aliases.append(SimAlias{f[1], f[2], f[3]});
        } else {
            SimAccount* a = findAccount(f[1], f[2]);
            if (!a)
                return fail(QStringLiteral("unknown account \"%1\" of \"%2\"").arg(f[2], f[1]));
            if (kind == QLatin1String("member")) {
                const QString access = f[4].toUpper();
                if (access != QLatin1String("R") && access != QLatin1String("RW"))
                    return fail(QStringLiteral("member access must be R or RW"));
                a->members.append(SimMember{f[3], access});
            } else if (kind == QLatin1String("var")) {
                a->vars.append({f[3], f[4]});
            } else if (kind == QLatin1String("mailproc")) {
                a->hasMailproc = true;
            } else if (kind == QLatin1String("procline")) {
                a->hasMailproc = true;
                a->mailproc += f[3] + QLatin1String("\r\n");
            } else {  // pop3
                const QString auth = f[6].toUpper();
                if (auth != QLatin1String("CLR") && auth != QLatin1String("APOP"))
                    return fail(QStringLiteral("POP3 authentication must be CLR or APOP"));
                if (f[7] != QLatin1String("1") && f[7] != QLatin1String("0"))
                    return fail(QStringLiteral("POP3 enabled flag must be 1 or 0"));
                state.pop3Links.append(SimPop3Link{f[1], f[2], f[3], f[4], f[5], auth, f[7] == QLatin1String("1")});
            }
        }
    }
    *out = std::move(state);
    return true;
}
