#pragma once
// Finding a name on every stored server at once: "which server holds example.org, and where is bob@?"
//
// One ServerSession per server, each shown by a small view of its own that collects what its
// replies bring; at most MaxConnections servers are asked at the same time and the rest wait their
// turn. The window's own session and queue are never used, so the window stays usable meanwhile.
// A server that fails (unreachable, login refused, silent, SSH failure) ends alone: the others go on.
//
// What is searched, always without regard to case:
//   - the names of every domain and custom domain ("domainlist" and "custdomlist", once a server)
//     that hold the text;
//   - for a text with "@" ("bob@exa"): the accounts and aliases whose names hold the part before
//     it, in the domains whose names hold the part after it;
//   - with accounts on: the accounts and aliases of every domain whose names hold the text.
// Results are reported as each reply is read, each server's status as it changes.
//
// The window (Edit > Find on All Servers...) and the command-line companion both use this class.

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "session/ServerSession.h"

class QSettings;

// One server to ask: its record's section, its name as the tree shows it, and how to log in.
struct SearchServer {
    QString key;
    QString name;
    ServerLogin login;
};

// Where a search gets a stored server's login, password and SSH route: the record as it stands.
// (The password is the record's own; the route is none yet.)
ServerLogin StoredSearchLogin(QSettings& settings, const QString& section);
// Every active stored server, in slot order.
QList<SearchServer> StoredSearchServers(QSettings& settings);

struct SearchResult {
    QString serverKey;  // the record's section
    QString server;     // the server's name
    QString domain;     // the domain (for a domain or custom domain: the name itself)
    QString name;
    QString kind;       // "domain", "custom", "user", "list" or "alias"
    QString target;     // an alias: the account it points to (a name of its domain or an address)
};

// Where one server's search stands.
struct SearchStatus {
    enum State { Waiting, Searching, Done, Failed, Stopped };
    State state = Waiting;
    int found = 0;
    int domainsDone = 0;   // accounts searched: domains whose accounts have been read
    int domainsTotal = 0;  //                    of this many
    int domainsMissed = 0;  // domains not searched: their lists refused, or names that cannot be sent
    bool customDomainsMissed = false;  // the server refused its custom domain list (an older server)
    QString failure;       // Failed: what went wrong, in words ("unreachable: ...")

    bool finished() const { return state == Done || state == Failed || state == Stopped; }
    // Done, but some of the server could not be searched.
    bool partial() const { return state == Done && (domainsMissed > 0 || customDomainsMissed); }
    // "waiting", "searching", "searching: 3 of 10 domains", "done (4 found)", "login refused: ..."
    QString text() const;
};

class SearchPeer;

class ServerSearch : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxConnections = 8;

    explicit ServerSearch(QObject* parent = nullptr);
    ~ServerSearch() override;

    // Why a text cannot be searched, or nothing: an empty text, a double quote, a control
    // character or a character outside Latin-1 (no name on the wire can hold them).
    static QString RefusalOf(const QString& text);

    // Starts a search over these servers (a search still running is stopped first). A text that
    // cannot be searched starts nothing: *refusal says why and false is returned.
    bool Start(const QList<SearchServer>& servers, const QString& text, bool accounts, QString* refusal = nullptr);
    // Ends every server's session at once; what was found stays found.
    void Stop();
    bool IsRunning() const { return running_; }

    int ServerCount() const { return int(servers_.size()); }
    const SearchServer& Server(int index) const { return servers_.at(index); }
    const SearchStatus& Status(int index) const { return status_.at(size_t(index)); }
    // Whether every server answered (false while running and when some failed or were stopped).
    bool AllAnswered() const;

    // The limits of every session a search starts (read at Start).
    int ReplyTimeoutMs = 30000;
    int Connections = MaxConnections;
    void SetTransportMaker(ServerSession::TransportMaker maker) { transportMaker_ = std::move(maker); }
    // Where a server whose login has no password yet (the keyring has not answered) gets it: asked
    // when the server's turn comes, answered (at once or later) with the password, or with none
    // and the reason. Without a source such a server fails with "password unavailable".
    using PasswordAnswer = std::function<void(const std::optional<QString>& password, const QString& reason)>;
    using PasswordSource = std::function<void(const QString& serverKey, PasswordAnswer answer)>;
    void SetPasswordSource(PasswordSource source) { passwordSource_ = std::move(source); }

signals:
    void ResultsFound(const QList<SearchResult>& results);
    void StatusChanged(int server);  // its state or its progress
    void Finished();                 // every server finished (also after Stop)

private:
    friend class SearchPeer;
    void StartWaiting();
    void PeerFinished(int index);
    void Report(int index, const QList<SearchResult>& results);

    QList<SearchServer> servers_;
    std::vector<SearchStatus> status_;
    std::vector<std::unique_ptr<SearchPeer>> peers_;
    ServerSession::TransportMaker transportMaker_;
    PasswordSource passwordSource_;
    int nextWaiting_ = 0;
    int active_ = 0;
    bool running_ = false;
    quint64 generation_ = 0;
};
