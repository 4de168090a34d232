#pragma once
// Reads a server's state (session/StateModel.h) through a session of its own, with the requests of
// the window's reads: the domain and custom domain lists, then per domain its account list and its
// aliases, per custom domain its file, then per account its members (mailing lists), variables,
// mailproc.tab and POP3 links. Each stage is one script, one connection; the replies are taken from
// the session's collections as each marked step ends, so no reply is parsed twice.

#include <QObject>
#include <QStringList>
#include <memory>

#include "session/ScriptObserver.h"
#include "session/Scripts.h"
#include "session/PlanView.h"
#include "session/StateModel.h"

class StateReader : public QObject, private ScriptObserver {
    Q_OBJECT
public:
    struct Request {
        QStringList domains;      // none named and no custom domain named: every domain
        QStringList customDomains;  // none named and no domain named: every custom domain
        bool accountsOnly = false;  // the account lists only: one request per domain
        bool skipMissing = false;   // a name the server does not hold is passed over (an apply creates it)
    };

    explicit StateReader(QObject* parent = nullptr);
    ~StateReader() override;
    // The session the reads go through (to give it a transport maker, or watch its scripts).
    ServerSession& session() { return *session_; }

    void start(const ScriptServer& server, const Request& request);
    void cancel();
    bool running() const { return stage_ != Idle; }

    // What was read (sorted), once finished well.
    ServerState state;
    // Things read that the file cannot hold (an alias that leads outside its domain): said, not kept.
    QStringList notes;
    // How the failing script ended, and whether the server had greeted and refused the login.
    ScriptOutcome failure;
    bool greeted() const { return view_->greeted; }
    bool loginRefused = false;

signals:
    void progress(qsizetype done, qsizetype total);
    // ok false: error says why (the server's line, the connection's fault, a name not on the server).
    void finished(bool ok, const QString& error);

private:
    enum Stage { Idle, Lists, Domains, Details };
    void scriptStarted(const ScriptLabel&) override {}
    void stepEnded(const ScriptLabel& label, int mark, const ScriptOutcome& outcome) override;
    void scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome) override;
    quint64 head(const QString& action);
    void tail();
    void queueDomains();
    void queueDetails();
    void fail(const QString& why);
    void done();
    void takeAliases(StateDomain& d);

    std::unique_ptr<ServerSession> session_;
    std::unique_ptr<PlanView> view_;
    ScriptServer server_;
    Request request_;
    Stage stage_ = Idle;
    quint64 serial_ = 0;
    QString error_;
    // Where the marked steps of the running stage have come to.
    size_t domainAt_ = 0, customAt_ = 0;
    std::vector<std::pair<size_t, size_t>> detailOrder_;  // domain, account
    size_t detailAt_ = 0;
    qsizetype total_ = 0;
    bool cancelled_ = false;
};
