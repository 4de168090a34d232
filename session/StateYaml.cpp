#include "session/StateYaml.h"

#include <QSet>
#include <yaml-cpp/yaml.h>

namespace {

std::string U8(const QString& text)
{
    const QByteArray b = text.toUtf8();
    return std::string(b.constData(), size_t(b.size()));
}

QString Q(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A file's text: a literal block where one reads back as the very same text, double quoted
// (every character escaped as YAML needs) otherwise.
void WriteText(YAML::Emitter& out, const QString& text)
{
    const std::string utf8 = U8(text);
    bool literal = !text.isEmpty() && text.endsWith(QLatin1Char('\n')) && !text.endsWith(QStringLiteral("\n\n")) &&
                   !text.startsWith(QLatin1Char(' ')) && !text.startsWith(QLatin1Char('\n'));
    for (const QChar c : text)
        if ((c < QLatin1Char(' ') && c != QLatin1Char('\n') && c != QLatin1Char('\t')) ||
            (c.unicode() >= 0x7f && c.unicode() <= 0x9f))
            literal = false;
    // The block's own line end stands for the text's last one.
    const std::string block = literal ? utf8.substr(0, utf8.size() - 1) : std::string();
    if (literal) {
        YAML::Emitter probe;
        probe << YAML::BeginMap << YAML::Key << "t" << YAML::Value << YAML::Literal << block << YAML::EndMap;
        try {
            const YAML::Node n = YAML::Load(probe.c_str());
            literal = n["t"].IsScalar() && n["t"].Scalar() == utf8;
        } catch (const YAML::Exception&) {
            literal = false;
        }
    }
    if (literal)
        out << YAML::Literal << block;
    else
        out << YAML::DoubleQuoted << utf8;
}

// A value: plain where YAML reads it back as the same text, double quoted where it would not.
void WriteValue(YAML::Emitter& out, const QString& value)
{
    bool quoted = value.isEmpty();
    for (const QChar c : value)
        if (c < QLatin1Char(' ') || (c.unicode() >= 0x7f && c.unicode() <= 0x9f))
            quoted = true;
    if (quoted)
        out << YAML::DoubleQuoted;
    out << U8(value);
}

}  // namespace

namespace StateYaml {

QString ReadError::where() const
{
    return line > 0 ? QStringLiteral("line %1, column %2").arg(line).arg(column) : QString();
}

QByteArray Write(const ServerState& state)
{
    YAML::Emitter out;
    out.SetIndent(2);
    out.SetSeqFormat(YAML::Block);
    out << YAML::Comment("The state of a Tazel server (tazelctl dump); its form: docs/state-format.md");
    out << YAML::BeginMap;
    out << YAML::Key << "format" << YAML::Value << 1;
    out << YAML::Key << "domains" << YAML::Value << YAML::BeginSeq;
    for (const StateDomain& d : state.domains) {
        out << YAML::BeginMap << YAML::Key << "name" << YAML::Value;
        WriteValue(out, d.name);
        out << YAML::Key << "accounts" << YAML::Value << YAML::BeginSeq;
        for (const StateAccount& a : d.accounts) {
            out << YAML::BeginMap << YAML::Key << "name" << YAML::Value;
            WriteValue(out, a.name);
            out << YAML::Key << "kind" << YAML::Value << (a.isList ? "list" : "user");
            if (a.password) {
                out << YAML::Key << "password" << YAML::Value;
                WriteValue(out, *a.password);
            }
            if (a.aliases) {
                out << YAML::Key << "aliases" << YAML::Value << YAML::BeginSeq;
                for (const QString& alias : *a.aliases)
                    WriteValue(out, alias);
                out << YAML::EndSeq;
            }
            if (a.variables) {
                out << YAML::Key << "variables" << YAML::Value << YAML::BeginMap;
                for (const auto& [name, value] : *a.variables) {
                    out << YAML::Key;
                    WriteValue(out, name);
                    out << YAML::Value;
                    WriteValue(out, value);
                }
                out << YAML::EndMap;
            }
            if (a.mailproc) {
                out << YAML::Key << "mailproc" << YAML::Value;
                if (a.mailproc->exists)
                    WriteText(out, a.mailproc->text);
                else
                    out << YAML::Null;
            }
            if (a.members) {
                out << YAML::Key << "members" << YAML::Value << YAML::BeginSeq;
                for (const StateMember& m : *a.members) {
                    out << YAML::BeginMap << YAML::Key << "address" << YAML::Value;
                    WriteValue(out, m.address);
                    out << YAML::Key << "access" << YAML::Value << (m.readOnly ? "read-only" : "read-write");
                    out << YAML::EndMap;
                }
                out << YAML::EndSeq;
            }
            if (a.pop3Links) {
                out << YAML::Key << "pop3-links" << YAML::Value << YAML::BeginSeq;
                for (const StateLink& l : *a.pop3Links) {
                    out << YAML::BeginMap << YAML::Key << "server" << YAML::Value;
                    WriteValue(out, l.server);
                    out << YAML::Key << "user" << YAML::Value;
                    WriteValue(out, l.user);
                    if (l.password) {
                        out << YAML::Key << "password" << YAML::Value;
                        WriteValue(out, *l.password);
                    }
                    out << YAML::Key << "auth" << YAML::Value << (l.apop ? "APOP" : "CLR");
                    out << YAML::Key << "enabled" << YAML::Value << (l.enabled ? "true" : "false");
                    out << YAML::EndMap;
                }
                out << YAML::EndSeq;
            }
            out << YAML::EndMap;
        }
        out << YAML::EndSeq << YAML::EndMap;
    }
    out << YAML::EndSeq;
    out << YAML::Key << "custom-domains" << YAML::Value << YAML::BeginSeq;
    for (const StateCustomDomain& c : state.customDomains) {
        out << YAML::BeginMap << YAML::Key << "name" << YAML::Value;
        WriteValue(out, c.name);
        out << YAML::Key << "file" << YAML::Value;
        WriteText(out, c.text);
        out << YAML::EndMap;
    }
    out << YAML::EndSeq << YAML::EndMap;
    QByteArray bytes(out.c_str(), qsizetype(out.size()));
    bytes += '\n';
    return bytes;
}

namespace {

// A refusal at a node's place.
struct Bad {
    YAML::Mark mark;
    QString text;
};

[[noreturn]] void Refuse(const YAML::Node& at, const QString& text)
{
    throw Bad{at.Mark(), text};
}

// The map's keys must all be among the known ones; the required ones must be there.
void Keys(const YAML::Node& map, const QString& what, std::initializer_list<const char*> known,
          std::initializer_list<const char*> required = {})
{
    if (!map.IsMap())
        Refuse(map, QStringLiteral("%1 must be a map of keys").arg(what));
    QSet<QString> seen;
    for (const auto& kv : map) {
        const QString key = Q(kv.first.Scalar());
        bool ok = false;
        for (const char* k : known)
            ok = ok || key == QLatin1String(k);
        if (!ok) {
            QStringList names;
            for (const char* k : known)
                names << QLatin1String(k);
            Refuse(kv.first, QStringLiteral("unknown key \"%1\" in %2 (known: %3)").arg(key, what, names.join(QStringLiteral(", "))));
        }
        if (seen.contains(key))
            Refuse(kv.first, QStringLiteral("the key \"%1\" is given twice in %2").arg(key, what));
        seen.insert(key);
    }
    for (const char* k : required)
        if (!seen.contains(QLatin1String(k)))
            Refuse(map, QStringLiteral("%1 has no \"%2\"").arg(what, QLatin1String(k)));
}

QString Text(const YAML::Node& n, const QString& what)
{
    if (!n.IsScalar())
        Refuse(n, QStringLiteral("%1 must be a text").arg(what));
    return Q(n.Scalar());
}

bool Flag(const YAML::Node& n, const QString& what)
{
    const QString t = Text(n, what);
    if (t == QLatin1String("true"))
        return true;
    if (t == QLatin1String("false"))
        return false;
    Refuse(n, QStringLiteral("%1 is true or false, not \"%2\"").arg(what, t));
}

const YAML::Node& Seq(const YAML::Node& n, const QString& what)
{
    if (!n.IsSequence() && !n.IsNull())
        Refuse(n, QStringLiteral("%1 must be a list").arg(what));
    return n;
}

void ReadAccount(const YAML::Node& n, const QString& domain, StateAccount* a)
{
    Keys(n, QStringLiteral("an account of %1").arg(domain),
         {"name", "kind", "password", "aliases", "variables", "mailproc", "members", "pop3-links"}, {"name"});
    a->name = Text(n["name"], QStringLiteral("an account's name"));
    const QString where = QStringLiteral("%1/%2").arg(domain, a->name);
    if (n["kind"]) {
        const QString kind = Text(n["kind"], QStringLiteral("the kind of ") + where);
        if (kind != QLatin1String("user") && kind != QLatin1String("list"))
            Refuse(n["kind"], QStringLiteral("the kind of %1 is user or list, not \"%2\"").arg(where, kind));
        a->isList = kind == QLatin1String("list");
    }
    if (n["password"])
        a->password = Text(n["password"], QStringLiteral("the password of ") + where);
    if (const YAML::Node al = n["aliases"]) {
        a->aliases = QStringList();
        for (const YAML::Node& x : Seq(al, QStringLiteral("the aliases of ") + where))
            a->aliases->append(Text(x, QStringLiteral("an alias of ") + where));
    }
    if (const YAML::Node v = n["variables"]) {
        if (!v.IsMap() && !v.IsNull())
            Refuse(v, QStringLiteral("the variables of %1 must be a map of name: value").arg(where));
        a->variables = QList<QPair<QString, QString>>();
        QSet<QString> seen;
        for (const auto& kv : v) {
            const QString name = Text(kv.first, QStringLiteral("a variable's name"));
            if (seen.contains(name.toLower()))
                Refuse(kv.first, QStringLiteral("the variable \"%1\" of %2 is given twice").arg(name, where));
            seen.insert(name.toLower());
            a->variables->append({name, Text(kv.second, QStringLiteral("the variable %1 of %2").arg(name, where))});
        }
    }
    if (const YAML::Node m = n["mailproc"]) {
        StateFile f;
        f.exists = !m.IsNull();
        if (f.exists)
            f.text = Text(m, QStringLiteral("the mailproc of ") + where);
        a->mailproc = f;
    }
    if (const YAML::Node m = n["members"]) {
        a->members = QList<StateMember>();
        for (const YAML::Node& x : Seq(m, QStringLiteral("the members of ") + where)) {
            Keys(x, QStringLiteral("a member of ") + where, {"address", "access"}, {"address"});
            StateMember member;
            member.address = Text(x["address"], QStringLiteral("a member's address"));
            if (x["access"]) {
                const QString access = Text(x["access"], QStringLiteral("a member's access"));
                if (access != QLatin1String("read-only") && access != QLatin1String("read-write"))
                    Refuse(x["access"], QStringLiteral("a member's access is read-only or read-write, not \"%1\"").arg(access));
                member.readOnly = access == QLatin1String("read-only");
            }
            a->members->append(member);
        }
    }
    if (const YAML::Node p = n["pop3-links"]) {
        a->pop3Links = QList<StateLink>();
        for (const YAML::Node& x : Seq(p, QStringLiteral("the POP3 links of ") + where)) {
            Keys(x, QStringLiteral("a POP3 link of ") + where, {"server", "user", "password", "auth", "enabled"},
                 {"server", "user"});
            StateLink l;
            l.server = Text(x["server"], QStringLiteral("a POP3 link's server"));
            l.user = Text(x["user"], QStringLiteral("a POP3 link's user"));
            if (x["password"])
                l.password = Text(x["password"], QStringLiteral("a POP3 link's password"));
            if (x["auth"]) {
                const QString auth = Text(x["auth"], QStringLiteral("a POP3 link's auth"));
                if (auth != QLatin1String("APOP") && auth != QLatin1String("CLR"))
                    Refuse(x["auth"], QStringLiteral("a POP3 link's auth is APOP or CLR, not \"%1\"").arg(auth));
                l.apop = auth == QLatin1String("APOP");
            }
            if (x["enabled"])
                l.enabled = Flag(x["enabled"], QStringLiteral("a POP3 link's enabled"));
            a->pop3Links->append(l);
        }
    }
}

}  // namespace

bool Read(const QByteArray& text, ServerState* state, ReadError* error)
{
    *state = ServerState();
    try {
        const YAML::Node root = YAML::Load(std::string(text.constData(), size_t(text.size())));
        if (root.IsNull())
            return true;  // an empty file states nothing
        Keys(root, QStringLiteral("the file"), {"format", "domains", "custom-domains"});
        if (root["format"] && Text(root["format"], QStringLiteral("format")) != QLatin1String("1"))
            Refuse(root["format"], QStringLiteral("this program reads format 1, not \"%1\"").arg(Q(root["format"].Scalar())));
        QSet<QString> domainNames;
        if (const YAML::Node ds = root["domains"]) {
            for (const YAML::Node& dn : Seq(ds, QStringLiteral("domains"))) {
                Keys(dn, QStringLiteral("a domain"), {"name", "accounts"}, {"name"});
                StateDomain d;
                d.name = Text(dn["name"], QStringLiteral("a domain's name"));
                if (domainNames.contains(d.name.toLower()))
                    Refuse(dn["name"], QStringLiteral("the domain %1 is given twice").arg(d.name));
                domainNames.insert(d.name.toLower());
                QSet<QString> accountNames;
                if (const YAML::Node as = dn["accounts"]) {
                    for (const YAML::Node& an : Seq(as, QStringLiteral("the accounts of ") + d.name)) {
                        StateAccount a;
                        ReadAccount(an, d.name, &a);
                        if (accountNames.contains(a.name.toLower()))
                            Refuse(an["name"], QStringLiteral("the account %1/%2 is given twice").arg(d.name, a.name));
                        accountNames.insert(a.name.toLower());
                        d.accounts.push_back(std::move(a));
                    }
                }
                state->domains.push_back(std::move(d));
            }
        }
        QSet<QString> customNames;
        if (const YAML::Node cs = root["custom-domains"]) {
            for (const YAML::Node& cn : Seq(cs, QStringLiteral("custom-domains"))) {
                Keys(cn, QStringLiteral("a custom domain"), {"name", "file"}, {"name", "file"});
                StateCustomDomain c;
                c.name = Text(cn["name"], QStringLiteral("a custom domain's name"));
                if (customNames.contains(c.name.toLower()))
                    Refuse(cn["name"], QStringLiteral("the custom domain %1 is given twice").arg(c.name));
                customNames.insert(c.name.toLower());
                c.text = Text(cn["file"], QStringLiteral("the file of custom domain ") + c.name);
                state->customDomains.push_back(std::move(c));
            }
        }
    } catch (const Bad& bad) {
        *state = ServerState();
        error->line = bad.mark.is_null() ? 0 : bad.mark.line + 1;
        error->column = bad.mark.is_null() ? 0 : bad.mark.column + 1;
        error->text = bad.text;
        return false;
    } catch (const YAML::Exception& e) {
        *state = ServerState();
        error->line = e.mark.is_null() ? 0 : e.mark.line + 1;
        error->column = e.mark.is_null() ? 0 : e.mark.column + 1;
        error->text = QStringLiteral("not valid YAML: ") + Q(e.msg);
        return false;
    }
    state->sort();
    return true;
}

}  // namespace StateYaml
