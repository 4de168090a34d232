#include "session/StateReader.h"

#include <QSet>
#include <QTimer>

#include "session/CommandQueue.h"
#include "protocol/Protocol.h"
#include "session/ServerSession.h"
#include "protocol/AccountTable.h"

using namespace Pseudo;

namespace {
enum Mark { UsersMark = 0x5301, AliasesMark, CustomMark, MembersMark, VarsMark, LinksMark };
}

StateReader::StateReader(QObject* parent) : QObject(parent)
{
    session_ = std::make_unique<ServerSession>(nullptr);
    view_ = std::make_unique<PlanView>(*session_);
    session_->SetView(view_.get());
    session_->Reports.addObserver(this);
}

StateReader::~StateReader()
{
    session_->Reports.removeObserver(this);
    session_->SetView(nullptr);
}

void StateReader::start(const ScriptServer& server, const Request& request)
{
    if (stage_ != Idle)
        return;
    server_ = server;
    request_ = request;
    state = ServerState();
    notes.clear();
    error_.clear();
    failure = ScriptOutcome();
    loginRefused = false;
    view_->greeted = false;
    cancelled_ = false;
    stage_ = Lists;
    head(QStringLiteral("list domains and custom domains"));
    session_->QueueCommand(Pseudo::DomainList);
    session_->QueueCommand(CustDomList);
    tail();
}

void StateReader::cancel()
{
    if (stage_ == Idle || cancelled_)
        return;
    cancelled_ = true;
    session_->CancelScript();
}

quint64 StateReader::head(const QString& action)
{
    ScriptLabel label = ScriptLabel::read(action);
    label.owner = this;
    label.server = server_.name;
    label.serverKey = server_.key;
    view_->clear();
    serial_ = session_->QueueScriptHead(server_.login, false, label);
    return serial_;
}

void StateReader::tail()
{
    session_->QueueCommand(Quit);
    session_->StartQueue();
}

void StateReader::fail(const QString& why)
{
    if (error_.isEmpty())
        error_ = why;
}

void StateReader::queueDomains()
{
    ServerSession& s = *session_;
    const bool everything = request_.domains.isEmpty() && request_.customDomains.isEmpty();
    // The names as the server spells them; a name asked for that the server does not hold is an error.
    auto choose = [&](const QStringList& onServer, const QStringList& asked, const QString& what, QStringList* out) {
        QSet<QString> seen;
        for (const QString& name : onServer) {
            if (name.isEmpty() || seen.contains(name.toLower()))
                continue;
            seen.insert(name.toLower());
            if (everything || std::any_of(asked.begin(), asked.end(), [&](const QString& a) { return StateText::SameName(a, name); }))
                *out << name;
        }
        for (const QString& a : asked)
            if (!seen.contains(a.toLower()) && !request_.skipMissing)
                fail(QStringLiteral("the server %1 holds no %2 %3").arg(server_.name, what, a));
    };
    QStringList domains, customs;
    choose(s.DomainNames, request_.domains, QStringLiteral("domain"), &domains);
    choose(s.CustomDomainNames, request_.customDomains, QStringLiteral("custom domain"), &customs);
    for (const QString& name : std::as_const(domains))
        if (!IsSendable(name))
            fail(QStringLiteral("the domain name \"%1\" cannot be sent back to the server").arg(name));
    if (!error_.isEmpty()) {
        done();
        return;
    }
    for (const QString& d : std::as_const(domains))
        state.domains.push_back(StateDomain{d, {}});
    for (const QString& c : std::as_const(customs))
        state.customDomains.push_back(StateCustomDomain{c, {}});
    stage_ = Domains;
    domainAt_ = customAt_ = 0;
    head(QStringLiteral("read the accounts of %1 domain(s)").arg(domains.size()));
    for (const QString& d : std::as_const(domains)) {
        s.QueueCommand(UserList, UsersMark);
        s.QueueArgument(d);
        if (!request_.accountsOnly) {
            s.QueueCommand(AliasList, AliasesMark);
            for (const QString& a : {d, QStringLiteral("*"), QStringLiteral("*")})
                s.QueueArgument(a);
        }
    }
    for (const QString& c : std::as_const(customs)) {
        s.QueueCommand(CustDomGet, CustomMark);
        s.QueueArgument(c);
    }
    tail();
}

void StateReader::queueDetails()
{
    ServerSession& s = *session_;
    detailOrder_.clear();
    for (size_t d = 0; d < state.domains.size(); ++d)
        for (size_t a = 0; a < state.domains[d].accounts.size(); ++a)
            detailOrder_.push_back({d, a});
    detailAt_ = 0;
    total_ = qsizetype(detailOrder_.size());
    if (detailOrder_.empty()) {
        done();
        return;
    }
    stage_ = Details;
    head(QStringLiteral("read the details of %1 account(s)").arg(total_));
    for (const auto& [d, a] : detailOrder_) {
        const StateDomain& domain = state.domains[d];
        const StateAccount& account = domain.accounts[a];
        const QStringList da{domain.name, account.name};
        if (account.isList) {
            s.QueueCommand(MlUserList, MembersMark);
            for (const QString& x : da)
                s.QueueArgument(x);
        }
        s.QueueCommand(UserVars, VarsMark);
        for (const QString& x : da)
            s.QueueArgument(x);
        // Its refusal ("no file") is no failure: the session notes it in MailProcEditor.
        s.QueueCommand(UserGetMproc);
        for (const QString& x : da)
            s.QueueArgument(x);
        s.QueueCommand(Pop3List, LinksMark);
        for (const QString& x : da)
            s.QueueArgument(x);
    }
    tail();
}

void StateReader::takeAliases(StateDomain& d)
{
    const ServerSession& s = *session_;
    for (StateAccount& a : d.accounts)
        a.aliases = QStringList();
    for (qsizetype i = 0; i < s.AliasEntries.size(); ++i) {
        QString target = s.AliasAccounts.value(i);
        const qsizetype at = target.indexOf(QLatin1Char('@'));
        if (at >= 0 && StateText::SameName(target.mid(at + 1), d.name))
            target = target.left(at);
        auto it = std::find_if(d.accounts.begin(), d.accounts.end(),
                               [&](const StateAccount& a) { return StateText::SameName(a.name, target); });
        if (it == d.accounts.end()) {
            notes << QStringLiteral("the alias %1/%2 leads to %3, no account of %1: it is not part of the file")
                         .arg(d.name, s.AliasEntries.at(i), s.AliasAccounts.value(i));
            continue;
        }
        it->aliases->append(s.AliasEntries.at(i));
    }
}

void StateReader::stepEnded(const ScriptLabel& label, int mark, const ScriptOutcome& outcome)
{
    if (label.owner != this || label.serial != serial_)
        return;
    ServerSession& s = *session_;
    const bool ok = outcome.kind == ScriptOutcome::Done;
    if (stage_ == Domains) {
        if (mark == UsersMark && domainAt_ < state.domains.size()) {
            StateDomain& d = state.domains[domainAt_];
            if (!ok)
                fail(QStringLiteral("the server %1 refused the account list of %2: %3").arg(server_.name, d.name, outcome.detail));
            const AccountTable& t = s.UserEntries;
            d.accounts.reserve(size_t(t.size()));
            QSet<QString> seen;
            for (qsizetype row = 0; row < t.size(); ++row) {
                const QByteArrayView name = Accounts::Name(t, row);
                if (name.isEmpty())
                    continue;
                StateAccount a;
                a.name = Wire::decode(name);
                if (seen.contains(a.name.toLower()))
                    continue;
                seen.insert(a.name.toLower());
                const char kind = Accounts::KindLetter(t, row);
                a.isList = kind == 'M' || kind == 'm';
                a.password = Wire::decode(t.password(row));
                d.accounts.push_back(std::move(a));
            }
            if (request_.accountsOnly)
                ++domainAt_;
        } else if (mark == AliasesMark && domainAt_ < state.domains.size()) {
            StateDomain& d = state.domains[domainAt_++];
            if (!ok)
                fail(QStringLiteral("the server %1 refused the aliases of %2: %3").arg(server_.name, d.name, outcome.detail));
            takeAliases(d);
        } else if (mark == CustomMark && customAt_ < state.customDomains.size()) {
            StateCustomDomain& c = state.customDomains[customAt_++];
            if (!ok || s.CustomDomainEditor.state != EditorSource::Complete)
                fail(QStringLiteral("the custom domain file of %1 was not read whole%2")
                         .arg(c.name, ok ? (s.CustomDomainEditor.state == EditorSource::Unholdable
                                                ? QStringLiteral(": it holds a line that cannot be kept exactly")
                                                : QString())
                                         : QStringLiteral(": ") + outcome.detail));
            c.text = StateText::FromEditors(s.DownloadedFile, false);
        }
        return;
    }
    if (stage_ != Details || detailAt_ >= detailOrder_.size())
        return;
    StateDomain& d = state.domains[detailOrder_[detailAt_].first];
    StateAccount& a = d.accounts[detailOrder_[detailAt_].second];
    const QString address = a.name + QLatin1Char('@') + d.name;
    if (!ok)
        fail(QStringLiteral("the server %1 refused a read of %2: %3").arg(server_.name, address, outcome.detail));
    if (mark == MembersMark) {
        QList<StateMember> members;
        for (const QString& m : std::as_const(s.ListMembers))
            members.append({m.mid(4), m.startsWith(QLatin1Char('R'))});
        a.members = members;
    } else if (mark == VarsMark) {
        QList<QPair<QString, QString>> vars;
        for (qsizetype i = 0; i < s.UserVarNames.size(); ++i)
            vars.append({s.UserVarNames.at(i), s.UserVarValues.value(i)});
        a.variables = vars;
    } else if (mark == LinksMark) {
        // The mail-processing download came just before the links.
        StateFile f;
        switch (s.MailProcEditor.state) {
        case EditorSource::Complete:
            f.exists = true;
            f.text = StateText::FromEditors(s.DownloadedFile, true);
            break;
        case EditorSource::NotSent: break;
        case EditorSource::Unholdable:
            fail(QStringLiteral("the mailproc.tab of %1 holds a line that cannot be kept exactly").arg(address));
            break;
        default: fail(QStringLiteral("the mailproc.tab of %1 was not read whole").arg(address)); break;
        }
        a.mailproc = f;
        QList<StateLink> links;
        for (qsizetype i = 0; i < s.Pop3LinkServers.size(); ++i) {
            StateLink l;
            l.server = s.Pop3LinkServers.at(i);
            l.user = s.Pop3LinkUsers.value(i);
            l.password = s.Pop3LinkPasswords.value(i);
            l.apop = s.Pop3LinkAuths.value(i).compare(QLatin1String("APOP"), Qt::CaseInsensitive) == 0;
            l.enabled = s.Pop3LinkEnabled.value(i) != QLatin1String("0");
            links.append(l);
        }
        a.pop3Links = links;
        ++detailAt_;
        if (detailAt_ % 64 == 0 || detailAt_ == detailOrder_.size())
            emit progress(qsizetype(detailAt_), total_);
    }
}

void StateReader::scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome)
{
    if (label.owner != this || label.serial != serial_)
        return;
    if (outcome.kind != ScriptOutcome::Done && error_.isEmpty()) {
        failure = outcome;
        loginRefused = view_->failedCommand == Login;
    }
    if (outcome.kind != ScriptOutcome::Done)
        fail(cancelled_ ? QStringLiteral("cancelled")
                        : QStringLiteral("the server %1 could not be read: %2").arg(server_.name, outcome.text()));
    const Stage stage = stage_;
    // From the event loop: the driver is still inside its last step.
    QTimer::singleShot(0, this, [this, stage] {
        if (!error_.isEmpty()) {
            done();
            return;
        }
        if (stage == Lists)
            queueDomains();
        else if (stage == Domains && !request_.accountsOnly)
            queueDetails();
        else
            done();
    });
}

void StateReader::done()
{
    stage_ = Idle;
    if (error_.isEmpty())
        state.sort();
    emit finished(error_.isEmpty(), error_);
}
