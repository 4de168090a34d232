#include "sim/SimCommands.h"

#include <QRegularExpression>

#include "protocol/Protocol.h"

QStringList ParseRequestFields(const QByteArray& line)
{
    QStringList fields = Wire::decode(line).split(QLatin1Char('\t'));
    for (QString& f : fields)
        if (f.size() >= 2 && f.startsWith(QLatin1Char('"')) && f.endsWith(QLatin1Char('"')))
            f = f.mid(1, f.size() - 2);
    return fields;
}

QByteArray SimGreeting(const QString& version, const QString& timestamp, const QString& platform)
{
    QString line = QStringLiteral("+00000 ");
    if (!timestamp.isEmpty())
        line += timestamp + QLatin1Char(' ');
    line += QStringLiteral("Tazel ") + version;
    if (!platform.isEmpty())
        line += QLatin1Char(' ') + platform;
    line += QStringLiteral(" CTRL Server ready");
    return Wire::encode(line) + Wire::LineEnd;
}

bool SimLoginAccepted(const QStringList& fields, const QString& login, const QString& password,
                      const QString& timestamp, double version)
{
    if (fields.size() != 2 || fields[0] != login)
        return false;
    const QString& given = fields[1];
    if (given == password)
        return true;
    const bool md5Offered = !TrimSpaces(timestamp).isEmpty() && version >= 0.66;
    return md5Offered && given.startsWith(QLatin1Char('#')) &&
           given.mid(1).compare(MD5Hex(timestamp + password), Qt::CaseInsensitive) == 0;
}

// --- building replies: a list of a million accounts must not cost a copy per field ---

static char* PutLatin1(char* p, const QString& text)
{
    for (const QChar c : text)
        *p++ = c.unicode() <= 0xFF ? char(c.unicode()) : '?';
    return p;
}

class ListReply {
public:
    explicit ListReply(qsizetype expectedBytes = 0)
    {
        bytes_.reserve(expectedBytes + 64);
        bytes_ += SimReply::Ok;
    }
    // One data line: the fields quoted and separated by TABs, written in place.
    void row(std::initializer_list<const QString*> fields)
    {
        qsizetype length = 2 + qsizetype(fields.size()) * 3 - 1;
        for (const QString* f : fields)
            length += f->size();
        const qsizetype at = bytes_.size();
        if (bytes_.capacity() < at + length)
            bytes_.reserve(2 * (at + length));
        bytes_.resize(at + length);
        char* p = bytes_.data() + at;
        bool first = true;
        for (const QString* f : fields) {
            if (!first)
                *p++ = '\t';
            first = false;
            *p++ = '"';
            p = PutLatin1(p, *f);
            *p++ = '"';
        }
        *p++ = '\r';
        *p++ = '\n';
    }
    void rawLine(const QString& line)
    {
        const qsizetype at = bytes_.size();
        bytes_.resize(at + line.size());
        PutLatin1(bytes_.data() + at, line);
        bytes_ += "\r\n";
    }
    QByteArray finish()
    {
        bytes_ += ".\r\n";
        return std::move(bytes_);
    }

private:
    QByteArray bytes_;
};

static QByteArray FileReply(const QString& text)
{
    ListReply reply(text.size());
    for (const QString& line : FileLines(text))
        reply.rawLine(line);
    return reply.finish();
}

// "*" matches anything, a pattern with "*" in it matches like a file name pattern, anything else
// must be the same name.
static bool MatchesPattern(const QString& pattern, const QString& value)
{
    if (pattern == QLatin1String("*"))
        return true;
    if (!pattern.contains(QLatin1Char('*')))
        return SameName(pattern, value);
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    return re.match(value).hasMatch();
}

static const QString kOne = QStringLiteral("1");
static const QString kZero = QStringLiteral("0");

// --- the commands, one function each; args are the fields after the command word ---

using Args = QStringList;

static QByteArray DomainList(SimState& s, const Args&)
{
    ListReply reply;
    for (const SimDomain& d : s.domains)
        reply.row({&d.name});
    return reply.finish();
}

static QByteArray CustDomList(SimState& s, const Args&)
{
    ListReply reply;
    for (auto it = s.customDomains.cbegin(); it != s.customDomains.cend(); ++it)
        reply.row({&it.key()});
    return reply.finish();
}

static QByteArray CustDomGet(SimState& s, const Args& a)
{
    const QString key = s.customDomainKey(a[0]);
    if (key.isNull())
        return SimReply::UnknownCustomDomain;
    return FileReply(s.customDomains.value(key));
}

static QByteArray DomainAdd(SimState& s, const Args& a)
{
    if (TrimSpaces(a[0]).isEmpty())
        return SimReply::InvalidArgument;
    if (s.domain(a[0]))
        return SimReply::DomainExists;
    s.domains.append(SimDomain{a[0], {}});
    return SimReply::Ok;
}

static QByteArray DomainDel(SimState& s, const Args& a)
{
    const SimDomain* d = s.domain(a[0]);
    if (!d)
        return SimReply::UnknownDomain;
    const QString name = d->name;
    s.domains.removeIf([&](const SimDomain& x) { return SameName(x.name, name); });
    s.aliases.removeIf([&](const SimAlias& x) { return SameName(x.domain, name); });
    s.pop3Links.removeIf([&](const SimPop3Link& x) { return SameName(x.domain, name); });
    return SimReply::Ok;
}

static QByteArray UserList(SimState& s, const Args& a)
{
    const SimDomain* d = s.domain(a[0]);
    if (!d)
        return SimReply::UnknownDomain;
    if (a.size() == 2) {
        const SimAccount* acc = s.account(a[0], a[1]);
        if (!acc)
            return SimReply::UnknownAccount;
        ListReply reply;
        reply.row({&d->name, &acc->name, &acc->password, &acc->kind});
        return reply.finish();
    }
    qsizetype expected = 0;
    if (!d->accounts.isEmpty()) {
        const SimAccount& first = d->accounts.first();
        expected = (d->name.size() + first.name.size() + first.password.size() + 16) * d->accounts.size();
    }
    ListReply reply(expected);
    for (const SimAccount& acc : d->accounts)
        reply.row({&d->name, &acc.name, &acc.password, &acc.kind});
    return reply.finish();
}

static QByteArray UserAdd(SimState& s, const Args& a)
{
    SimDomain* d = s.domain(a[0]);
    if (!d)
        return SimReply::UnknownDomain;
    const QString kind = a[3].toUpper();
    if (TrimSpaces(a[1]).isEmpty() || (kind != QLatin1String("U") && kind != QLatin1String("M")))
        return SimReply::InvalidArgument;
    if (s.account(a[0], a[1]))
        return SimReply::AccountExists;
    SimAccount acc;
    acc.name = a[1];
    acc.password = a[2];
    acc.kind = kind;
    d->accounts.append(acc);
    return SimReply::Ok;
}

static QByteArray UserDel(SimState& s, const Args& a)
{
    SimDomain* d = s.domain(a[0]);
    if (!d)
        return SimReply::UnknownDomain;
    const SimAccount* acc = s.account(a[0], a[1]);
    if (!acc)
        return SimReply::UnknownAccount;
    const QString name = acc->name;
    const QString address = name + QLatin1Char('@') + d->name;
    d->accounts.removeIf([&](const SimAccount& x) { return SameName(x.name, name); });
    // The account's POP3 links and the aliases of its domain that lead to it go with it.
    s.pop3Links.removeIf([&](const SimPop3Link& x) {
        return SameName(x.domain, d->name) && SameName(x.account, name);
    });
    s.aliases.removeIf([&](const SimAlias& x) {
        return SameName(x.domain, d->name) && (SameName(x.account, name) || SameName(x.account, address));
    });
    return SimReply::Ok;
}

static QByteArray UserPasswd(SimState& s, const Args& a)
{
    if (!s.domain(a[0]))
        return SimReply::UnknownDomain;
    SimAccount* acc = s.account(a[0], a[1]);
    if (!acc)
        return SimReply::UnknownAccount;
    acc->password = a[2];
    return SimReply::Ok;
}

// The account of a request, or the refusal to send when the domain or the account is unknown.
static SimAccount* FindAccount(SimState& s, const Args& a, QByteArray* refusal)
{
    if (!s.domain(a[0])) {
        *refusal = SimReply::UnknownDomain;
        return nullptr;
    }
    SimAccount* acc = s.account(a[0], a[1]);
    if (!acc)
        *refusal = SimReply::UnknownAccount;
    return acc;
}

static SimAccount* FindList(SimState& s, const Args& a, QByteArray* refusal)
{
    SimAccount* acc = FindAccount(s, a, refusal);
    if (acc && acc->kind.compare(QLatin1String("M"), Qt::CaseInsensitive) != 0) {
        *refusal = SimReply::NotAList;
        return nullptr;
    }
    return acc;
}

static QByteArray MlUserList(SimState& s, const Args& a)
{
    QByteArray refusal;
    const SimAccount* list = FindList(s, a, &refusal);
    if (!list)
        return refusal;
    ListReply reply;
    for (const SimMember& m : list->members)
        reply.row({&m.address, &m.access});
    return reply.finish();
}

static QByteArray MlUserAdd(SimState& s, const Args& a)
{
    QByteArray refusal;
    SimAccount* list = FindList(s, a, &refusal);
    if (!list)
        return refusal;
    const QString access = a.size() == 4 ? a[3].toUpper() : QStringLiteral("RW");
    if (TrimSpaces(a[2]).isEmpty() || (access != QLatin1String("R") && access != QLatin1String("RW")))
        return SimReply::InvalidArgument;
    for (const SimMember& m : list->members)
        if (SameName(m.address, a[2]))
            return SimReply::MemberExists;
    list->members.append(SimMember{a[2], access});
    return SimReply::Ok;
}

static QByteArray MlUserDel(SimState& s, const Args& a)
{
    QByteArray refusal;
    SimAccount* list = FindList(s, a, &refusal);
    if (!list)
        return refusal;
    const auto removed = list->members.removeIf([&](const SimMember& m) { return SameName(m.address, a[2]); });
    return removed ? SimReply::Ok : SimReply::UnknownMember;
}

static QByteArray AliasList(SimState& s, const Args& a)
{
    // A pattern that matches no domain just gives an empty list.
    ListReply reply;
    for (const SimAlias& x : s.aliases)
        if (MatchesPattern(a[0], x.domain) && MatchesPattern(a[1], x.alias) && MatchesPattern(a[2], x.account))
            reply.row({&x.domain, &x.alias, &x.account});
    return reply.finish();
}

static QByteArray AliasAdd(SimState& s, const Args& a)
{
    const SimDomain* d = s.domain(a[0]);
    if (!d)
        return SimReply::UnknownDomain;
    if (TrimSpaces(a[1]).isEmpty() || TrimSpaces(a[2]).isEmpty())
        return SimReply::InvalidArgument;
    if (s.aliasIndex(a[0], a[1]) >= 0)
        return SimReply::AliasExists;
    s.aliases.append(SimAlias{d->name, a[1], a[2]});
    return SimReply::Ok;
}

static QByteArray AliasDel(SimState& s, const Args& a)
{
    if (!s.domain(a[0]))
        return SimReply::UnknownDomain;
    const int i = s.aliasIndex(a[0], a[1]);
    if (i < 0)
        return SimReply::UnknownAlias;
    s.aliases.removeAt(i);
    return SimReply::Ok;
}

static QByteArray UserVars(SimState& s, const Args& a)
{
    QByteArray refusal;
    const SimAccount* acc = FindAccount(s, a, &refusal);
    if (!acc)
        return refusal;
    ListReply reply;
    for (const auto& v : acc->vars)
        reply.row({&v.first, &v.second});
    return reply.finish();
}

static QByteArray UserVarsSet(SimState& s, const Args& a)
{
    if ((a.size() - 2) % 2 != 0)
        return SimReply::WrongArgumentCount;
    QByteArray refusal;
    SimAccount* acc = FindAccount(s, a, &refusal);
    if (!acc)
        return refusal;
    for (qsizetype i = 2; i + 1 < a.size(); i += 2) {
        if (TrimSpaces(a[i]).isEmpty())
            return SimReply::InvalidArgument;
    }
    for (qsizetype i = 2; i + 1 < a.size(); i += 2) {
        auto it = std::find_if(acc->vars.begin(), acc->vars.end(),
                               [&](const QPair<QString, QString>& v) { return SameName(v.first, a[i]); });
        if (it != acc->vars.end())
            *it = {a[i], a[i + 1]};
        else
            acc->vars.append({a[i], a[i + 1]});
    }
    return SimReply::Ok;
}

static QByteArray UserGetMproc(SimState& s, const Args& a)
{
    QByteArray refusal;
    const SimAccount* acc = FindAccount(s, a, &refusal);
    if (!acc)
        return refusal;
    if (!acc->hasMailproc)
        return SimReply::NoMailproc;
    return FileReply(acc->mailproc);
}

static QByteArray PopLnkList(SimState& s, const Args& a)
{
    QByteArray refusal;
    const SimAccount* acc = FindAccount(s, a, &refusal);
    if (!acc)
        return refusal;
    ListReply reply;
    for (const SimPop3Link& l : s.pop3Links)
        if (SameName(l.domain, a[0]) && SameName(l.account, a[1]))
            reply.row({&l.domain, &l.account, &l.server, &l.user, &l.password, &l.auth,
                       l.enabled ? &kOne : &kZero});
    return reply.finish();
}

static QByteArray PopLnkAdd(SimState& s, const Args& a)
{
    QByteArray refusal;
    const SimAccount* acc = FindAccount(s, a, &refusal);
    if (!acc)
        return refusal;
    const QString auth = a[5].toUpper();
    if (TrimSpaces(a[2]).isEmpty() || TrimSpaces(a[3]).isEmpty() ||
        (auth != QLatin1String("CLR") && auth != QLatin1String("APOP")))
        return SimReply::InvalidArgument;
    if (s.pop3LinkIndex(a[0], a[1], a[2], a[3]) >= 0)
        return SimReply::LinkExists;
    // A new link starts disabled; the program enables it with "poplnkenable" right after.
    s.pop3Links.append(SimPop3Link{s.domain(a[0])->name, acc->name, a[2], a[3], a[4], auth, false});
    return SimReply::Ok;
}

static QByteArray PopLnkDel(SimState& s, const Args& a)
{
    QByteArray refusal;
    if (!FindAccount(s, a, &refusal))
        return refusal;
    const int i = s.pop3LinkIndex(a[0], a[1], a[2], a[3]);
    if (i < 0)
        return SimReply::UnknownLink;
    s.pop3Links.removeAt(i);
    return SimReply::Ok;
}

static QByteArray PopLnkEnable(SimState& s, const Args& a)
{
    if (a[0] != kOne && a[0] != kZero)
        return SimReply::InvalidArgument;
    const Args rest = a.mid(1);
    QByteArray refusal;
    if (!FindAccount(s, rest, &refusal))
        return refusal;
    const int i = s.pop3LinkIndex(rest[0], rest[1], rest[2], rest[3]);
    if (i < 0)
        return SimReply::UnknownLink;
    s.pop3Links[i].enabled = a[0] == kOne;
    return SimReply::Ok;
}

// --- dispatch ---

struct CommandRow {
    const char* word;
    int minArgs, maxArgs;
    QByteArray (*run)(SimState&, const Args&);
};

static const CommandRow kCommands[] = {
    {"domainlist", 0, 0, DomainList},     {"custdomlist", 0, 0, CustDomList},
    {"custdomget", 1, 1, CustDomGet},     {"domainadd", 1, 1, DomainAdd},
    {"domaindel", 1, 1, DomainDel},       {"userlist", 1, 2, UserList},
    {"useradd", 4, 4, UserAdd},           {"userdel", 2, 2, UserDel},
    {"userpasswd", 3, 3, UserPasswd},     {"mluserlist", 2, 2, MlUserList},
    {"mluseradd", 4, 4, MlUserAdd},       {"mluserdel", 3, 3, MlUserDel},
    {"aliaslist", 3, 3, AliasList},       {"aliasadd", 3, 3, AliasAdd},
    {"aliasdel", 2, 2, AliasDel},         {"uservars", 2, 2, UserVars},
    {"uservarsset", 2, 1 << 20, UserVarsSet}, {"usergetmproc", 2, 2, UserGetMproc},
    {"poplnklist", 2, 2, PopLnkList},     {"poplnkadd", 6, 6, PopLnkAdd},
    {"poplnkdel", 4, 4, PopLnkDel},       {"poplnkenable", 5, 5, PopLnkEnable},
};

static QByteArray BeginUpload(SimState& s, const QString& word, const Args& a, SimUpload* upload)
{
    if (word == QLatin1String("custdomset")) {
        if (a.size() != 1)
            return SimReply::WrongArgumentCount;
        if (TrimSpaces(a[0]).isEmpty())
            return SimReply::InvalidArgument;
        *upload = SimUpload{SimUpload::CustomDomain, a[0], QString()};
        return SimReply::GoAhead;
    }
    if (a.size() != 2)
        return SimReply::WrongArgumentCount;
    QByteArray refusal;
    if (!FindAccount(s, a, &refusal))
        return refusal;
    *upload = SimUpload{SimUpload::MailProc, a[0], a[1]};
    return SimReply::GoAhead;
}

QByteArray RunSimCommand(SimState& state, double version, const QStringList& fields, SimUpload* upload)
{
    *upload = SimUpload{};
    if (fields.isEmpty())
        return SimReply::UnknownCommand;
    const QString word = fields[0].toLower();
    const Args args = fields.mid(1);
    if (word == QLatin1String("custdomset") || word == QLatin1String("usersetmproc"))
        return BeginUpload(state, word, args, upload);
    for (const CommandRow& row : kCommands) {
        if (word != QLatin1String(row.word))
            continue;
        int minArgs = row.minArgs, maxArgs = row.maxArgs;
        // Servers up to 0.63 know no member access: the member is added with read and post.
        if (word == QLatin1String("mluseradd") && version <= 0.63 + 1e-9)
            minArgs = maxArgs = 3;
        if (args.size() < minArgs || args.size() > maxArgs)
            return SimReply::WrongArgumentCount;
        return row.run(state, args);
    }
    return SimReply::UnknownCommand;
}

QByteArray FinishSimUpload(SimState& state, const SimUpload& upload, const QList<QByteArray>& body)
{
    QString text;
    for (const QByteArray& line : body)
        text += Wire::decode(line) + QLatin1String("\r\n");
    if (upload.kind == SimUpload::CustomDomain) {
        QString key = state.customDomainKey(upload.domain);
        if (body.isEmpty()) {
            if (!key.isNull())
                state.customDomains.remove(key);
            return SimReply::Ok;
        }
        state.customDomains.insert(key.isNull() ? upload.domain : key, text);
        return SimReply::Ok;
    }
    // The account may have gone while its body was on the way.
    SimAccount* acc = state.account(upload.domain, upload.account);
    if (!acc)
        return SimReply::UnknownAccount;
    acc->hasMailproc = !body.isEmpty();
    acc->mailproc = text;
    return SimReply::Ok;
}

bool IsSimListCommand(const QString& word)
{
    static const QStringList lists = {"domainlist", "custdomlist", "custdomget", "userlist", "mluserlist",
                                      "aliaslist", "uservars", "usergetmproc", "poplnklist"};
    return lists.contains(word.toLower());
}

QByteArray SimMalformedLine(const QString& word)
{
    // One field fewer than the list's lines have (members: one more than the two they may have).
    const QString w = word.toLower();
    int fields = 2;
    if (w == QLatin1String("userlist"))
        fields = 3;
    else if (w == QLatin1String("mluserlist"))
        fields = 3;
    else if (w == QLatin1String("aliaslist"))
        fields = 2;
    else if (w == QLatin1String("uservars"))
        fields = 1;
    else if (w == QLatin1String("poplnklist"))
        fields = 4;
    QByteArray line;
    for (int i = 0; i < fields; ++i)
        line += (i ? "\t" : "") + QByteArray("\"malformed\"");
    return line + "\r\n";
}
