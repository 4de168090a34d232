#include "session/Plan.h"

#include <QSet>

#include "protocol/Protocol.h"
#include "session/Scripts.h"

using StateText::SameName;

// ------------------------------------------------------------------------------------ showing

QString PlanStep::objectName() const
{
    switch (object) {
    case Domain: return QStringLiteral("domain");
    case Account: return QStringLiteral("account");
    case Password: return QStringLiteral("password");
    case Alias: return QStringLiteral("alias");
    case Variable: return QStringLiteral("var");
    case MailProc: return QStringLiteral("mailproc");
    case Member: return QStringLiteral("member");
    case Pop3Link: return QStringLiteral("pop3");
    case CustomDomain: return QStringLiteral("custdomain");
    }
    return QString();
}

QString PlanStep::target() const
{
    if (object == Domain || object == CustomDomain)
        return domain;
    return domain + QLatin1Char('/') + account;
}

QString PlanStep::line() const
{
    const QChar sign = action == Create ? QLatin1Char('+') : action == Change ? QLatin1Char('~') : QLatin1Char('-');
    QString text = QString(sign) + QLatin1Char(' ') + objectName() + QLatin1Char(' ');
    switch (object) {
    case Domain:
    case CustomDomain:
    case Password:
    case MailProc: text += target(); break;
    case Account: text += target() + QStringLiteral(" (") + newValue + oldValue + QLatin1Char(')'); break;
    case Alias: text += domain + QLatin1Char('/') + item + QStringLiteral(" -> ") + account; break;
    case Variable:
        text += target() + QLatin1Char(' ') + item + QStringLiteral(": ");
        text += action == Create ? newValue : oldValue + QStringLiteral(" -> ") + newValue;
        break;
    case Member:
    case Pop3Link:
        text += target() + QLatin1Char(' ') + item;
        if (action == Change)
            text += QStringLiteral(": ") + oldValue + QStringLiteral(" -> ") + newValue;
        else if (!newValue.isEmpty() || !oldValue.isEmpty())
            text += QStringLiteral(" (") + (action == Create ? newValue : oldValue) + QLatin1Char(')');
        break;
    }
    return text;
}

QString PlanStep::actionText() const
{
    const QString address = account + QLatin1Char('@') + domain;
    const QString verb = action == Create ? QStringLiteral("add") : action == Change ? QStringLiteral("change")
                                                                                   : QStringLiteral("remove");
    switch (object) {
    case Domain: return verb + QStringLiteral(" domain ") + domain;
    case CustomDomain: return (action == Change ? QStringLiteral("save") : verb) + QStringLiteral(" custom domain ") + domain;
    case Account: return verb + (newValue + oldValue == QLatin1String("list") ? QStringLiteral(" mailing list ") : QStringLiteral(" account ")) + address;
    case Password: return QStringLiteral("set the password of ") + address;
    case Alias: return QStringLiteral("%1 alias %2 %3 %4").arg(verb, item, action == Create ? QStringLiteral("to") : QStringLiteral("from"), address);
    case Variable: return QStringLiteral("save variable %1 of %2").arg(item, address);
    case MailProc: return (action == Destroy ? QStringLiteral("remove") : QStringLiteral("save")) + QStringLiteral(" mail processing of ") + address;
    case Member: return QStringLiteral("%1 member %2 %3 %4").arg(verb, item, action == Create ? QStringLiteral("to") : QStringLiteral("of"), address);
    case Pop3Link: return QStringLiteral("%1 POP3 link %2 of %3").arg(verb, item, address);
    }
    return QString();
}

int Plan::creates() const
{
    return int(std::count_if(steps.begin(), steps.end(), [](const PlanStep& s) { return s.action == PlanStep::Create; }));
}
int Plan::changes() const
{
    return int(std::count_if(steps.begin(), steps.end(), [](const PlanStep& s) { return s.action == PlanStep::Change; }));
}
int Plan::destroys() const
{
    return int(std::count_if(steps.begin(), steps.end(), [](const PlanStep& s) { return s.action == PlanStep::Destroy; }));
}

QString Plan::summary() const
{
    return QStringLiteral("Plan: %1 to add, %2 to change, %3 to remove.").arg(creates()).arg(changes()).arg(destroys());
}

bool StatesDetails(const ServerState& desired)
{
    for (const StateDomain& d : desired.domains)
        for (const StateAccount& a : d.accounts)
            if (a.aliases || a.variables || a.mailproc || a.members || a.pop3Links)
                return true;
    return false;
}

// ------------------------------------------------------------------------------------ working it out

namespace {

QString Kind(const StateAccount& a)
{
    return a.isList ? QStringLiteral("list") : QStringLiteral("user");
}

QString LinkName(const StateLink& l)
{
    return l.user + QLatin1Char('@') + l.server;
}

QStringList LinkValues(const StateLink& l)
{
    return {l.server, l.user, l.password.value_or(QString()), l.apop ? QStringLiteral("APOP") : QStringLiteral("CLR"),
            l.enabled ? QStringLiteral("1") : QStringLiteral("0")};
}

struct Builder {
    Plan plan;
    std::vector<PlanStep> removals;  // run after everything else

    void refuse(const QString& why)
    {
        if (plan.refusal.isEmpty())
            plan.refusal = why;
    }
    // Every value that goes out must travel as it stands.
    void sendable(const QStringList& values)
    {
        const QString why = Scripts::UnsendableMessage(values);
        if (!why.isEmpty())
            refuse(why);
    }
    int add(PlanStep step)
    {
        if (step.action == PlanStep::Destroy) {
            removals.push_back(std::move(step));
            return -1;
        }
        plan.steps.push_back(std::move(step));
        return int(plan.steps.size()) - 1;
    }
    void fileSendable(const QString& text, bool withMailbox, const QString& what)
    {
        FileEditors editors;
        int bad = 0;
        if (!StateText::ToEditors(text, withMailbox, &editors, &bad)) {
            refuse(bad > 0 ? QStringLiteral("line %1 of %2 cannot be sent as it stands (a control character, a TAB or \",\" "
                                             "that would not come back as written, or a character outside Latin-1). Nothing was changed.")
                                 .arg(bad)
                                 .arg(what)
                           : QStringLiteral("%1 cannot be sent as it stands: its lines would not come back as written. "
                                            "Nothing was changed.").arg(what));
            return;
        }
        const QString why = CheckFileEditors(editors);
        if (!why.isEmpty())
            refuse(why);
    }

    void account(const StateDomain& d, const StateAccount* cur, const StateAccount& want, int domainStep, bool prune);
};

void Builder::account(const StateDomain& d, const StateAccount* cur, const StateAccount& want, int domainStep, bool prune)
{
    const QString address = want.name + QLatin1Char('@') + d.name;
    int accountStep = -1;
    sendable({want.name});
    auto base = [&](PlanStep::Action action, PlanStep::Object object) {
        PlanStep s;
        s.action = action;
        s.object = object;
        s.domain = d.name;
        s.account = cur ? cur->name : want.name;
        return s;
    };
    if (!cur) {
        if (!want.password) {
            refuse(QStringLiteral("The account %1 is not on the server and the file gives it no password to create it with. "
                                  "Nothing was changed.").arg(address));
            return;
        }
        sendable({*want.password});
        PlanStep s = base(PlanStep::Create, PlanStep::Account);
        s.account = TrimSpaces(want.name).toLower();
        s.newValue = Kind(want);
        s.values = {TrimSpaces(*want.password), want.isList ? QStringLiteral("M") : QStringLiteral("U")};
        s.dependsOn = domainStep;
        accountStep = add(s);
    } else {
        if (cur->isList != want.isList)
            refuse(QStringLiteral("%1 is a %2 on the server and a %3 in the file: an account's kind cannot be changed. "
                                  "Nothing was changed.").arg(address, Kind(*cur), Kind(want)));
        if (want.password && cur->password && *want.password != *cur->password) {
            sendable({*want.password});
            PlanStep s = base(PlanStep::Change, PlanStep::Password);
            s.sensitive = true;
            s.values = {*want.password};
            add(s);
        }
    }
    const QString name = cur ? cur->name : want.name;

    // Aliases.
    if (want.aliases && (!cur || cur->aliases)) {
        const QStringList have = cur ? *cur->aliases : QStringList();
        for (const QString& alias : *want.aliases) {
            if (std::any_of(have.begin(), have.end(), [&](const QString& h) { return SameName(h, alias); }))
                continue;
            sendable({alias});
            PlanStep s = base(PlanStep::Create, PlanStep::Alias);
            s.item = alias.toLower();
            s.dependsOn = accountStep;
            add(s);
        }
        if (prune && cur)
            for (const QString& alias : have)
                if (!std::any_of(want.aliases->begin(), want.aliases->end(), [&](const QString& w) { return SameName(w, alias); })) {
                    PlanStep s = base(PlanStep::Destroy, PlanStep::Alias);
                    s.item = alias;
                    add(s);
                }
    }

    // Variables: each change sends them all, the server's with the changes so far.
    if (want.variables && (!cur || cur->variables)) {
        QList<QPair<QString, QString>> all = cur ? *cur->variables : QList<QPair<QString, QString>>();
        Scripts::UserVarsForm form;
        for (const auto& [vname, value] : *want.variables) {
            sendable({vname, value});
            if (TrimSpaces(vname).isEmpty())
                refuse(QStringLiteral("A variable of %1 has no name. Nothing was changed.").arg(address));
            if (vname.compare(QLatin1String("MaxMBSize"), Qt::CaseInsensitive) == 0)
                form.maxMBSize = value;
            auto it = std::find_if(all.begin(), all.end(), [&](const QPair<QString, QString>& v) { return SameName(v.first, vname); });
            if (it != all.end() && it->second == value)
                continue;
            PlanStep s = base(it == all.end() ? PlanStep::Create : PlanStep::Change, PlanStep::Variable);
            s.item = it == all.end() ? vname : it->first;
            s.oldValue = it == all.end() ? QString() : it->second;
            s.newValue = value;
            if (it == all.end())
                all.append({vname, value});
            else
                it->second = value;
            for (const auto& [n, v] : all)
                s.values << n << v;
            s.dependsOn = accountStep;
            add(s);
        }
        // The panel's rule for the mailbox size holds here too.
        const QString why = Scripts::UserVarsRefusal(address, form);
        if (!why.isEmpty())
            refuse(why);
    }

    // The mail-processing file.
    if (want.mailproc && (!cur || cur->mailproc)) {
        const StateFile have = cur ? *cur->mailproc : StateFile();
        if (!(have == *want.mailproc) && (want.mailproc->exists || prune)) {
            PlanStep s = base(!want.mailproc->exists ? PlanStep::Destroy : have.exists ? PlanStep::Change : PlanStep::Create,
                              PlanStep::MailProc);
            s.text = want.mailproc->exists ? want.mailproc->text : QString();
            s.oldValue = have.text;
            s.newValue = s.text;
            s.dependsOn = accountStep;
            if (want.mailproc->exists)
                fileSendable(s.text, true, QStringLiteral("the mailproc of ") + address);
            add(s);
        }
    }

    // Members of a mailing list.
    if (want.isList && want.members && (!cur || cur->members)) {
        const QList<StateMember> have = cur ? *cur->members : QList<StateMember>();
        auto access = [](bool readOnly) { return readOnly ? QStringLiteral("read-only") : QStringLiteral("read-write"); };
        for (const StateMember& m : *want.members) {
            sendable({m.address});
            auto it = std::find_if(have.begin(), have.end(), [&](const StateMember& h) { return SameName(h.address, m.address); });
            if (it != have.end() && it->readOnly == m.readOnly)
                continue;
            PlanStep s = base(it == have.end() ? PlanStep::Create : PlanStep::Change, PlanStep::Member);
            s.item = it == have.end() ? TrimSpaces(m.address) : it->address;
            s.oldValue = it == have.end() ? QString() : access(it->readOnly);
            s.newValue = access(m.readOnly);
            s.values = {m.readOnly ? QStringLiteral("R") : QStringLiteral("RW")};
            s.dependsOn = accountStep;
            add(s);
        }
        if (prune && cur)
            for (const StateMember& h : have)
                if (!std::any_of(want.members->begin(), want.members->end(), [&](const StateMember& m) { return SameName(m.address, h.address); })) {
                    PlanStep s = base(PlanStep::Destroy, PlanStep::Member);
                    s.item = h.address;
                    s.oldValue = access(h.readOnly);
                    add(s);
                }
    }

    // POP3 links, by server and user.
    if (want.pop3Links && (!cur || cur->pop3Links)) {
        const QList<StateLink> have = cur ? *cur->pop3Links : QList<StateLink>();
        auto same = [](const StateLink& a, const StateLink& b) { return SameName(a.server, b.server) && a.user == b.user; };
        auto onOff = [](bool on) { return on ? QStringLiteral("enabled") : QStringLiteral("disabled"); };
        for (const StateLink& l : *want.pop3Links) {
            auto it = std::find_if(have.begin(), have.end(), [&](const StateLink& h) { return same(h, l); });
            PlanStep s = base(PlanStep::Create, PlanStep::Pop3Link);
            s.item = LinkName(l);
            s.dependsOn = accountStep;
            if (it == have.end()) {
                if (!l.password) {
                    refuse(QStringLiteral("The POP3 link %1 of %2 is not on the server and the file gives it no password. "
                                          "Nothing was changed.").arg(LinkName(l), address));
                    continue;
                }
                if (TrimSpaces(l.server).isEmpty() || TrimSpaces(l.user).isEmpty() || TrimSpaces(*l.password).isEmpty())
                    refuse(QStringLiteral("A POP3 link needs a server, a user and a password."));
                sendable({l.server, l.user, *l.password});
                s.newValue = onOff(l.enabled);
                s.values = LinkValues(l);
                add(s);
                continue;
            }
            const bool passwordDiffers = l.password && it->password && *l.password != *it->password;
            if (!passwordDiffers && it->apop == l.apop && it->enabled == l.enabled)
                continue;
            StateLink merged = l;
            if (!merged.password)
                merged.password = it->password;
            sendable({merged.server, merged.user, merged.password.value_or(QString())});
            s.action = PlanStep::Change;
            s.replaceLink = passwordDiffers || it->apop != l.apop;
            s.sensitive = passwordDiffers;
            s.oldValue = QStringLiteral("%1 %2").arg(onOff(it->enabled), it->apop ? QStringLiteral("APOP") : QStringLiteral("CLR"));
            s.newValue = QStringLiteral("%1 %2").arg(onOff(l.enabled), l.apop ? QStringLiteral("APOP") : QStringLiteral("CLR"));
            if (passwordDiffers) {
                s.oldValue += QStringLiteral(" (password)");
                s.newValue += QStringLiteral(" (password)");
            }
            s.values = LinkValues(merged);
            s.values[0] = it->server;
            add(s);
        }
        if (prune && cur)
            for (const StateLink& h : have)
                if (!std::any_of(want.pop3Links->begin(), want.pop3Links->end(), [&](const StateLink& l) { return same(h, l); })) {
                    PlanStep s = base(PlanStep::Destroy, PlanStep::Pop3Link);
                    s.item = LinkName(h);
                    s.values = LinkValues(h);
                    add(s);
                }
    }
    Q_UNUSED(name)
}

}  // namespace

Plan ComputePlan(const ServerState& current, const ServerState& desired, bool prune)
{
    Builder b;
    for (const StateDomain& want : desired.domains) {
        const StateDomain* cur = current.findDomain(want.name);
        int domainStep = -1;
        b.sendable({want.name});
        if (!cur) {
            PlanStep s;
            s.object = PlanStep::Domain;
            s.domain = want.name;
            domainStep = b.add(s);
        }
        const StateDomain& d = cur ? *cur : want;
        for (const StateAccount& a : want.accounts)
            b.account(d, cur ? cur->find(a.name) : nullptr, a, domainStep, prune);
        if (prune && cur) {
            for (const StateAccount& have : cur->accounts) {
                if (want.find(have.name))
                    continue;
                // Its aliases, members and links go with it on the server.
                PlanStep s;
                s.action = PlanStep::Destroy;
                s.object = PlanStep::Account;
                s.domain = cur->name;
                s.account = have.name;
                s.oldValue = Kind(have);
                b.add(s);
            }
        }
    }
    for (const StateCustomDomain& want : desired.customDomains) {
        const StateCustomDomain* cur = current.findCustomDomain(want.name);
        if (cur && cur->text == want.text)
            continue;
        b.sendable({want.name});
        b.fileSendable(want.text, false, QStringLiteral("the file of custom domain ") + want.name);
        PlanStep s;
        s.action = cur ? PlanStep::Change : PlanStep::Create;
        s.object = PlanStep::CustomDomain;
        s.domain = cur ? cur->name : want.name;
        s.oldValue = cur ? cur->text : QString();
        s.newValue = want.text;
        s.text = want.text;
        b.add(s);
    }
    // The removals last: the details of the accounts that stay, then the accounts.
    std::stable_sort(b.removals.begin(), b.removals.end(), [](const PlanStep& x, const PlanStep& y) {
        return (x.object != PlanStep::Account) && (y.object == PlanStep::Account);
    });
    for (PlanStep& s : b.removals)
        b.plan.steps.push_back(std::move(s));
    return std::move(b.plan);
}
