#include "session/ServerSearch.h"

#include <QPointer>
#include <QSet>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "protocol/Protocol.h"
#include "store/ServerStore.h"

using namespace Pseudo;

// ------------------------------------------------------------------------------------ stored servers

ServerLogin StoredSearchLogin(QSettings& settings, const QString& section)
{
    ServerLogin login;
    login.host = GetServerAddress(settings, section);
    login.port = ReadSetting(settings, section, Store::PortKey);
    login.login = ReadSetting(settings, section, Store::LoginKey);
    login.password = ReadServerPassword(settings, section);
    login.ssh = ReadSshRoute(settings, section);
    return login;
}

QList<SearchServer> StoredSearchServers(QSettings& settings)
{
    // The slots the tree shows: 1 up to the count, those marked active.
    const int count = std::clamp(
        ReadWholeNumber(ReadSetting(settings, Store::ServersSection, Store::ServerCountKey, QStringLiteral("0")), 0), 0,
        Store::MaxSlot);
    QList<SearchServer> servers;
    for (int slot = 1; slot <= count; ++slot) {
        const QString section = ServerSection(slot);
        if (!ReadTruth(ReadSetting(settings, section, Store::ActiveKey)))
            continue;
        QString name = ReadSetting(settings, section, Store::NameKey);
        if (name.trimmed().isEmpty())
            name = QStringLiteral("invalid server");  // as the tree names it
        servers.append({section, name, StoredSearchLogin(settings, section)});
    }
    return servers;
}

// ------------------------------------------------------------------------------------ statuses

QString SearchStatus::text() const
{
    QString missed;
    if (domainsMissed > 0)
        missed = QStringLiteral("; %1 domain(s) could not be searched").arg(domainsMissed);
    if (customDomainsMissed)
        missed += QStringLiteral("; the custom domains could not be searched");
    switch (state) {
    case Waiting:
        return QStringLiteral("waiting");
    case Searching:
        if (domainsTotal > 0)
            return QStringLiteral("searching: %1 of %2 domains").arg(domainsDone).arg(domainsTotal);
        return QStringLiteral("searching");
    case Done:
        return QStringLiteral("done (%1 found%2)").arg(found).arg(missed);
    case Failed:
        return failure;
    case Stopped:
        return QStringLiteral("stopped (%1 found)").arg(found);
    }
    return QString();
}

// ------------------------------------------------------------------------------------ one server

namespace {
// The marks of the list requests, so that a refused list is told apart from a refused login.
constexpr int DomainListMark = 1;
constexpr int CustDomListMark = 2;
constexpr int AccountListMark = 3;

struct SearchQuery {
    QString text;
    bool accounts = false;
    bool address = false;  // the text holds "@"
    QString accountPart, domainPart;

    // Whose accounts are read: the domains that hold the part after "@", or every domain.
    bool searchesAccountsOf(const QString& domain) const
    {
        if (address)
            return domain.contains(domainPart, Qt::CaseInsensitive);
        return accounts;
    }
    QString accountNeedle() const { return address ? accountPart : text; }
};

// What went wrong with a server, in words an administrator knows.
QString FailureWords(const ScriptOutcome& outcome, bool greeted, bool loggedIn, bool viaSsh, int timeoutMs)
{
    switch (outcome.kind) {
    case ScriptOutcome::ConnectionError:
        if (!greeted)
            return (viaSsh ? QStringLiteral("SSH failure: ") : QStringLiteral("unreachable: ")) + outcome.detail;
        return QStringLiteral("connection lost: ") + outcome.detail;
    case ScriptOutcome::TimedOut:
        return QStringLiteral("silent: no answer for %1 seconds").arg(timeoutMs / 1000.0);
    case ScriptOutcome::ServerError:
        if (!greeted)
            return QStringLiteral("refused the connection: ") + outcome.detail;
        if (!loggedIn)
            return QStringLiteral("login refused: ") + outcome.detail;
        return QStringLiteral("error: ") + outcome.detail;
    case ScriptOutcome::Refused:
        return QStringLiteral("not asked: ") + outcome.detail;
    case ScriptOutcome::Cancelled:
        return QStringLiteral("stopped");
    case ScriptOutcome::Skipped:
    case ScriptOutcome::Done:
        break;
    }
    return outcome.text();
}
}  // namespace

// One server's search: its session, and the view that collects what the replies bring. First the
// names (one script: domain list, custom domain list), then, when accounts are wanted, a second
// script that reads each chosen domain's aliases and accounts.
class SearchPeer : public QObject, public SessionView, public ScriptObserver {
public:
    SearchPeer(ServerSearch* search, int index, const SearchQuery& query)
        : search_(search), index_(index), query_(query), login_(search->servers_.at(index).login)
    {
    }
    ~SearchPeer() override { Detach(true); }

    void Begin()
    {
        session_ = new ServerSession(this, this);
        session_->ReplyTimeoutMs = search_->ReplyTimeoutMs;
        if (search_->transportMaker_)
            session_->SetTransportMaker(search_->transportMaker_);
        session_->Reports.addObserver(this);
        if (login_.password) {
            QueueNames();
            return;
        }
        // The password is still on its way: the server is asked once it is there.
        if (!search_->passwordSource_) {
            Finish(SearchStatus::Failed, QStringLiteral("password unavailable"));
            return;
        }
        QPointer<SearchPeer> self(this);
        search_->passwordSource_(search_->servers_.at(index_).key,
                                 [self](const std::optional<QString>& password, const QString& reason) {
                                     if (!self || self->over_)
                                         return;
                                     if (!password) {
                                         self->Finish(SearchStatus::Failed,
                                                      QStringLiteral("password unavailable: ") + reason);
                                         return;
                                     }
                                     self->login_.password = password;
                                     self->QueueNames();
                                 });
    }

    // Ends the session at once: its connection is dropped, nothing more is reported. With now the
    // session itself goes at once too (the search goes away; no event of the session is running).
    void Stop(bool now = false)
    {
        over_ = true;
        if (!session_)
            return;
        session_->Reports.removeObserver(this);
        session_->SetView(nullptr);
        session_->lstCommand.clear();
        session_->CancelScript();
        Detach(now);
    }

    // ---------------------------------------------------------------- SessionView
    void ShowMessage(const QString&, MsgIcon) override {}  // the script's outcome says it all
    void SetStatus(const QString&) override {}
    void SetVersionStatus(const QString&) override { greeted_ = true; }
    void NoteActivity(const QString&, const QString&) override {}
    void AddDomainsToTree(const QString&) override
    {
        QList<SearchResult> found;
        QSet<QString> seen;
        for (const QString& name : std::as_const(session_->DomainNames)) {
            if (name.isEmpty() || seen.contains(name))
                continue;  // a damaged list's repeats are no second domain
            seen.insert(name);
            if (name.contains(query_.text, Qt::CaseInsensitive))
                found << Result(name, name, QStringLiteral("domain"));
            if (query_.searchesAccountsOf(name)) {
                // A name the server sent with a quote inside is shown, never sent back.
                if (IsSendable(name))
                    domains_ << name;
                else
                    ++Status().domainsMissed;
            }
        }
        search_->Report(index_, found);
    }
    void AddCustomDomainsToTree(const QString&) override
    {
        QList<SearchResult> found;
        for (const QString& name : std::as_const(session_->CustomDomainNames))
            if (!name.isEmpty() && name.contains(query_.text, Qt::CaseInsensitive))
                found << Result(name, name, QStringLiteral("custom"));
        search_->Report(index_, found);
    }
    // One domain's aliases and accounts have been read (either may have been refused: then the
    // collection is empty, the driver emptied it before the request).
    void AddUsersToTree(const QString& domain) override
    {
        QList<SearchResult> found;
        const QString needle = query_.accountNeedle();
        if (session_->HoldsWholeAccountList(domain)) {
            const AccountTable& table = session_->UserEntries;
            const std::vector<bool> holds = Accounts::Holding(table, needle);
            QSet<QString> seen;
            for (qsizetype row = 0; row < table.size(); ++row) {
                if (!holds[size_t(row)])
                    continue;
                const QString name = Wire::decode(Accounts::Name(table, row));
                if (name.isEmpty() || seen.contains(name))
                    continue;
                seen.insert(name);
                const char kind = Accounts::KindLetter(table, row);
                found << Result(domain, name,
                                kind == 'M' || kind == 'm' ? QStringLiteral("list") : QStringLiteral("user"));
            }
        }
        const QStringList& aliases = session_->AliasEntries;
        for (qsizetype i = 0; i < aliases.size(); ++i) {
            if (!aliases.at(i).contains(needle, Qt::CaseInsensitive))
                continue;
            SearchResult r = Result(domain, aliases.at(i), QStringLiteral("alias"));
            r.target = session_->AliasAccounts.value(i);
            found << r;
        }
        ++Status().domainsDone;
        if (std::exchange(domainRefused_, false))
            ++Status().domainsMissed;
        search_->Report(index_, found);
    }
    void ShowCustomDomainPanel() override {}
    void ShowDomainPanel(const QString&) override {}
    void ShowUserPanel(const QString&) override {}
    void ShowSelectedUserPanel() override {}
    void ShowUserVars() override {}
    void FillAliasList() override {}
    void ListMembersRequested() override {}
    void ShowListMembers(const QStringList&) override {}
    void ShowAccount(const QString&, const QString&, bool) override {}
    void Pop3LinksRequested() override {}
    void ShowPop3Links() override {}
    void DomainRemoved() override {}
    void FileDownloadStarted(FileKind) override {}
    void FileDownloadGrew(FileKind, const FileEditors&, const QString&) override {}
    void FileUnholdable(FileKind) override {}
    FileEditors FileEditorContents(FileKind) const override { return {}; }
    void FileUploadAddedLineEnd(FileKind) override {}

    // ---------------------------------------------------------------- ScriptObserver
    void scriptStarted(const ScriptLabel&) override
    {
        greeted_ = false;
        loggedIn_ = false;
    }
    void stepEnded(const ScriptLabel&, int mark, const ScriptOutcome& outcome) override
    {
        loggedIn_ = true;  // only requests after the login carry a mark
        if (outcome.kind != ScriptOutcome::ServerError)
            return;
        if (mark == DomainListMark)
            listRefusal_ = QStringLiteral("refused the domain list: ") + outcome.detail;
        else if (mark == CustDomListMark)
            Status().customDomainsMissed = true;  // the domains are still searched
        else if (mark == AccountListMark)
            domainRefused_ = true;
    }
    void scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome) override
    {
        if (over_)
            return;
        if (outcome.kind != ScriptOutcome::Done) {
            Finish(SearchStatus::Failed,
                   FailureWords(outcome, greeted_, loggedIn_, label.ssh.isSet(), session_->ReplyTimeoutMs));
            return;
        }
        if (!accountsQueued_ && !listRefusal_.isEmpty()) {
            Finish(SearchStatus::Failed, listRefusal_);
            return;
        }
        if (!accountsQueued_ && !domains_.isEmpty()) {
            accountsQueued_ = true;
            Status().domainsTotal = int(domains_.size());
            emit search_->StatusChanged(index_);
            // The next script is queued once this one has quite ended.
            QTimer::singleShot(0, this, [this] {
                if (!over_)
                    QueueAccounts();
            });
            return;
        }
        Finish(SearchStatus::Done, QString());
    }

private:
    SearchStatus& Status() { return search_->status_[size_t(index_)]; }
    SearchResult Result(const QString& domain, const QString& name, const QString& kind) const
    {
        const SearchServer& s = search_->servers_.at(index_);
        return {s.key, s.name, domain, name, kind, QString()};
    }
    ScriptLabel Label(const QString& action)
    {
        ScriptLabel label = ScriptLabel::read(action);
        label.server = search_->servers_.at(index_).name;
        label.quietErrors = true;  // the status row says what went wrong
        label.owner = this;
        return label;
    }
    void QueueNames()
    {
        session_->QueueScriptHead(login_, true,
                                  Label(QStringLiteral("find domains holding \"%1\"").arg(query_.text)));
        session_->QueueCommand(Pseudo::DomainList, DomainListMark);
        session_->QueueCommand(CustDomList, CustDomListMark);
        session_->QueueCommand(AddDomainsToList);
        session_->QueueArgument(search_->servers_.at(index_).key);
        session_->QueueCommand(AddCustDomainsToList);
        session_->QueueArgument(search_->servers_.at(index_).key);
        session_->QueueCommand(Quit);
        session_->StartQueue();
    }
    void QueueAccounts()
    {
        session_->QueueScriptHead(
            login_, true,
            Label(QStringLiteral("find accounts holding \"%1\" in %2 domains")
                      .arg(query_.accountNeedle(), QString::number(domains_.size()))));
        for (const QString& domain : std::as_const(domains_)) {
            session_->QueueCommand(AliasList, AccountListMark);
            session_->QueueArgument(domain);
            session_->QueueArgument(QStringLiteral("*"));
            session_->QueueArgument(QStringLiteral("*"));
            session_->QueueCommand(UserList, AccountListMark);
            session_->QueueArgument(domain);
            session_->QueueCommand(AddUsersToList);
            session_->QueueArgument(domain);
        }
        session_->QueueCommand(Quit);
        session_->StartQueue();
    }
    void Finish(SearchStatus::State state, const QString& failure)
    {
        over_ = true;
        SearchStatus& status = Status();
        status.state = state;
        status.failure = failure;
        Detach();
        // The search goes on once this session's event has been handled.
        QTimer::singleShot(0, search_, [search = search_, index = index_, gen = search_->generation_] {
            if (search->generation_ == gen)
                search->PeerFinished(index);
        });
    }
    // Lets the session go: later, since this may run inside one of its own events; at once when the
    // search itself goes away.
    void Detach(bool now = false)
    {
        if (!session_)
            return;
        ServerSession* session = std::exchange(session_, nullptr);
        session->Reports.removeObserver(this);
        session->SetView(nullptr);
        if (now) {
            delete session;
        } else {
            session->setParent(nullptr);
            session->deleteLater();
        }
    }

    ServerSearch* search_;
    int index_;
    SearchQuery query_;
    ServerLogin login_;  // the server's, with its password once known
    ServerSession* session_ = nullptr;
    QStringList domains_;  // the domains whose accounts are read
    QString listRefusal_;
    bool greeted_ = false, loggedIn_ = false;
    bool accountsQueued_ = false;
    bool domainRefused_ = false;  // the domain being read: one of its lists was refused
    bool over_ = false;
};

// ------------------------------------------------------------------------------------ the search

ServerSearch::ServerSearch(QObject* parent) : QObject(parent) {}

ServerSearch::~ServerSearch()
{
    for (auto& peer : peers_)
        if (peer)
            peer->Stop(true);
}

QString ServerSearch::RefusalOf(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("Type the text to find: part of a domain name, or of an address (bob@example).");
    if (!IsSendable(text))
        return QStringLiteral("\"%1\" cannot be searched for: it holds a double quote, a control character or a "
                              "character outside Latin-1, which no name on a server holds.\r\n\r\nNothing was sent.")
            .arg(text);
    return QString();
}

bool ServerSearch::Start(const QList<SearchServer>& servers, const QString& text, bool accounts, QString* refusal)
{
    const QString why = RefusalOf(text);
    if (!why.isEmpty()) {
        if (refusal)
            *refusal = why;
        return false;
    }
    Stop();
    ++generation_;
    peers_.clear();
    servers_ = servers;
    status_.assign(size_t(servers.size()), SearchStatus());
    SearchQuery query;
    query.text = text;
    query.accounts = accounts;
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    query.address = at >= 0;
    if (query.address) {
        query.accountPart = text.left(at);
        query.domainPart = text.mid(at + 1);
    }
    for (int i = 0; i < servers.size(); ++i)
        peers_.push_back(std::make_unique<SearchPeer>(this, i, query));
    nextWaiting_ = 0;
    active_ = 0;
    running_ = true;
    StartWaiting();
    if (servers.isEmpty()) {
        QTimer::singleShot(0, this, [this, gen = generation_] {
            if (generation_ == gen && running_) {
                running_ = false;
                emit Finished();
            }
        });
    }
    return true;
}

void ServerSearch::StartWaiting()
{
    while (running_ && active_ < std::max(1, Connections) && nextWaiting_ < int(peers_.size())) {
        const int index = nextWaiting_++;
        ++active_;
        status_[size_t(index)].state = SearchStatus::Searching;
        emit StatusChanged(index);
        peers_[size_t(index)]->Begin();
    }
}

void ServerSearch::Report(int index, const QList<SearchResult>& results)
{
    if (results.isEmpty())
        return;
    status_[size_t(index)].found += int(results.size());
    emit ResultsFound(results);
    emit StatusChanged(index);
}

void ServerSearch::PeerFinished(int index)
{
    if (!running_)
        return;
    --active_;
    emit StatusChanged(index);
    StartWaiting();
    // Over once every server's end has been told: a peer marks its status finished before its
    // PeerFinished comes round, and the search must not end (and its callers stop listening) ahead
    // of the last StatusChanged.
    if (running_ && active_ == 0 && nextWaiting_ >= int(peers_.size())) {
        running_ = false;
        emit Finished();
    }
}

void ServerSearch::Stop()
{
    if (!running_)
        return;
    running_ = false;
    for (size_t i = 0; i < peers_.size(); ++i) {
        // One that finished but whose end was not yet told is told now, as it stands.
        if (!status_[i].finished()) {
            peers_[i]->Stop();
            status_[i].state = SearchStatus::Stopped;
        }
        emit StatusChanged(int(i));
    }
    nextWaiting_ = int(peers_.size());
    active_ = 0;
    emit Finished();
}

bool ServerSearch::AllAnswered() const
{
    return !running_ && std::all_of(status_.begin(), status_.end(),
                                    [](const SearchStatus& s) { return s.state == SearchStatus::Done; });
}
