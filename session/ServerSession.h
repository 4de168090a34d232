#pragma once
// One conversation with Tazel servers: the command queue, the connection, the protocol state, the
// reply reader and its handlers, and the collections the replies fill. It knows no widget: whatever
// it shows or asks goes through its SessionView (the window, or the command-line companion).
//
// Scripts run one at a time, each on a connection of its own: connect, log in, requests, close.
// Sessions share nothing, so several can talk to several servers at once.
// The routines are defined across the subsystem folders:
//   session/Driver.cpp            the queue, the script driver and the connection's events
//   session/ReplyReader.cpp      cutting lines, dispatching them, the error path
//   session/*Replies.cpp         one handler per reply kind
//   session/FileTransfer.cpp     the end of a file download, the body of an upload

#include <QObject>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <functional>
#include <optional>

#include "session/CommandQueue.h"
#include "session/ScriptObserver.h"
#include "session/SessionView.h"
#include "store/SshRoute.h"
#include "protocol/AccountTable.h"
#include "protocol/FileText.h"
#include "protocol/LineReader.h"

class QTimer;
class Transport;

// How a reply handler ended with a line: complete (the step is done: run the driver, then read on),
// continue (read the next buffered line), or stop (leave the rest for the next data event).
enum class ReplyOutcome { Complete, Continue, Stop };

// How far the custom domain editor (or the mail-processing editors) holds the server's file.
// A save composes the whole file from the editors, so it may only go ahead when they hold a
// complete download of that very file, or were emptied on purpose to create or remove it.
// NotSent: the server answered the download with "-", which may mean "no file" or "refused just
// now"; the first save asks before it creates a file. Unholdable: the file came down whole but
// holds a line the editors cannot show as it is; it is shown read-only and never saved whole.
struct EditorSource {
    enum State { Empty, Loading, Complete, Fresh, NotSent, Unholdable };
    EditorSource() = default;
    EditorSource(State s, const QString& name) : state(s), owner(name) {}
    State state = Empty;
    QString owner;  // the custom domain name, or the account address (account@domain)
    QString serverAnswer;  // NotSent: the server's "-" line
    bool linesHeld = true;  // Loading: every line so far is held as it is
    bool allowsSaveOf(const QString& name) const
    {
        return (state == Complete || state == Fresh) && owner == name;
    }
};

// What the head of a script needs of a server record: where, through what, and who logs in.
struct ServerLogin {
    QString host;
    QString port;
    QString login;
    // Unknown while the password is still on its way (from the keyring): the script is held in the
    // queue until ProvidePassword or DropHeldScript names it.
    std::optional<QString> password;
    SshRoute ssh;
};

class ServerSession : public QObject {
    Q_OBJECT

public:
    // view: who shows the session (not owned; it must outlive the session or be cleared with SetView).
    explicit ServerSession(SessionView* view, QObject* parent = nullptr);
    ~ServerSession() override;
    void SetView(SessionView* view) { View = view; }
    SessionView* View = nullptr;

    // Makes the transport of a new connection (a plain TCP connection unless route asks for SSH).
    using TransportMaker = std::function<Transport*(const SshRoute& route, QObject* parent)>;
    void SetTransportMaker(TransportMaker maker) { MakeTransport = std::move(maker); }

    // ---------------------------------------------------------------- command queue
    CommandQueue lstCommand;
    // mark: a step whose outcome is reported to the script observers by itself (ScriptObserver.h).
    void QueueCommand(const QString& pseudoCommand, int mark = 0);
    void QueueArgument(const QString& value);
    void QueueEndMarker();
    void QueueConnect(const QString& address, const QString& port);
    QueueEntry NextCommand();
    QString NextArgument();  // the head entry's text, whatever its kind
    int CountScripts() const;
    void StartQueue();
    // The script head: "<%required%>" when asked, connect with the record's host and port, and the
    // administrator login. The label says what the script does; the head fills in the host and
    // port (the caller names the server). Returns the script's serial.
    quint64 QueueScriptHead(const ServerLogin& server, bool required, const ScriptLabel& label);
    // A held script's password has arrived: the script may run when its turn comes.
    void ProvidePassword(quint64 serial, const QString& password);
    // A held script's password cannot be had: when its turn comes the script is dropped whole
    // (nothing of it is sent, it does not connect), and its watchers and the user learn the reason.
    void DropHeldScript(quint64 serial, const QString& reason);
    bool HoldsScript(quint64 serial) const { return HeldScripts.contains(serial); }

    // ---------------------------------------------------------------- script driver
    QString CurrentCommand;
    LineReader ReplyBuffer;
    bool ScriptAborted = false;
    bool ScriptRequired = false;
    double ServerVersion = 0;
    QString GreetingTimestamp;
    QString ServerPlatform;
    QChar QuoteChar = QLatin1Char('"');
    Transport* TcpConnection = nullptr;
    // A server that stops answering must not hold the queue for ever: when nothing arrives for
    // this long while a reply is awaited, the script is abandoned like after a socket error.
    int ReplyTimeoutMs = 60000;
    // Who watches scripts start and end (the activity log, the busy indicator, ...), and the
    // running script's label and outcome.
    ScriptReporter Reports;
    // A server that drips a line byte by byte keeps the timer above from firing: a line that has not
    // ended this long after it began abandons the script too.
    int LineTimeoutMs = 600000;
    // No reply line is longer than this; a server sending more without a line end is abandoned
    // (a long list is many short lines, never one long one).
    qsizetype MaxReplyLineBytes = qsizetype(16) << 20;
    // The "+" that opens the reply being read has arrived (reset with every request sent): after it,
    // a file download's lines starting with "+" are file lines.
    bool ReplyHeaderSeen = false;
    // A note in the activity log beside the running script's row: stray lines dropped, a file the
    // server did not send.
    void NoteForActivityLog(const QString& text);

    void RunNextCommand();
    void CloseConnection();
    void SendText(const QByteArray& bytes);
    // Composes and sends a request line; when a value cannot be sent the request is not sent at
    // all, the user is told, and the script is abandoned. Returns whether it was sent.
    bool SendRequest(const QString& word, const QStringList& args);
    bool SocketOpen() const;
    bool DriverIsIdle() const { return DriverIdle; }
    // The user's Cancel: closes the connection and abandons the running script, no message box.
    void CancelScript();

    void TcpConnection_Connect();
    void TcpConnection_DataArrival();
    void TcpConnection_Close();
    void TcpConnection_Error(int number, const QString& description);
    void ReplyTimedOut();
    void LineTimedOut();

    // ---------------------------------------------------------------- reply reader
    void ReadReplyLines();
    // The reader hands the event loop back after this long, and goes on with the lines still
    // buffered right after them; the connection's close and errors wait until it has read them.
    int ReaderSliceMs = 8;
    bool ReaderHasBacklog() const { return ReaderResumePending; }
    ReplyOutcome HandleReplyLine(const QString& line);
    void ReportErrorReply(const QString& line, const QString& command);
    ReplyOutcome HandleDefaultLine(const QString& line);
    ReplyOutcome HandleQuitLine(const QString& line);
    // The list skeleton: "+" shows the progress text, "." runs onEnd and completes, an empty line is
    // passed over, any other line is a data line handed to onData as received.
    ReplyOutcome HandleListLine(const QString& line, const QString& progressText,
                                const std::function<void(const QString&)>& onData,
                                const std::function<void()>& onEnd = {}, bool emptyIsData = false);
    // For data handlers: the line could not be read. It is skipped, the reader goes on with the
    // next line and the script runs on; the reply's malformed lines are counted, and the user is
    // told once per reply (ReportSkippedLines).
    void ReportMalformedLine(const QString& line);
    // Tells of the malformed lines of the reply just read, if any: one message (how many, the first
    // one quoted; none for a script with quiet errors) and a note in the activity log. Called at
    // the reply's end, and when a reply ends otherwise (the next request, the connection's close).
    void ReportSkippedLines();
    qsizetype MalformedLineCount = 0;  // in the reply being read
    QString FirstMalformedLine;
    QString MalformedLineCommand;      // the command whose reply held them

    // ---------------------------------------------------------------- reply handlers
    ReplyOutcome HandleGreetingLine(const QString& line);
    ReplyOutcome HandleDomainListLine(const QString& line);
    ReplyOutcome HandleCustDomListLine(const QString& line);
    ReplyOutcome HandleCustDomGetLine(const QString& line);
    ReplyOutcome HandleCustDomSetLine(const QString& line);
    ReplyOutcome HandleDomainDelLine(const QString& line);
    ReplyOutcome HandleUserListLine(const QString& line);
    ReplyOutcome HandleMlUserListLine(const QString& line);
    ReplyOutcome HandleGetUserLine(const QString& line);
    ReplyOutcome HandleAliasListLine(const QString& line);
    ReplyOutcome HandleUserVarsLine(const QString& line);
    ReplyOutcome HandleUserGetMprocLine(const QString& line);
    ReplyOutcome HandleUserSetMprocLine(const QString& line);
    ReplyOutcome HandlePop3ListLine(const QString& line);

    // Reply collections. Each holds exactly its items (the driver empties it before its request).
    QStringList DomainNames;
    QStringList CustomDomainNames;
    QStringList ListMembers;             // "R - addr" (read only) or "W - addr"
    QString AccountName, AccountPassword;  // one account's "userlist" line
    bool AccountIsList = false;
    QStringList AliasEntries;
    QStringList AliasAccounts;           // the account each alias of AliasEntries points to
    QStringList UserVarNames;
    QStringList UserVarValues;
    QStringList Pop3LinkUsers;
    QStringList Pop3LinkServers;
    // The rest of each link's line, as far as the server sends it (empty when it does not): its
    // password, its authentication ("APOP" or "CLR") and whether it is on ("1"/"0").
    QStringList Pop3LinkPasswords;
    QStringList Pop3LinkAuths;
    QStringList Pop3LinkEnabled;
    AccountTable UserEntries;            // compact; the tree shares its bytes
    QString UserEntriesDomain;           // the domain whose complete account list UserEntries holds
    QString UserEntriesServer;           // ... and its server (the script's serverKey): names repeat across servers
    QString RequestedUserListDomain;     // the domain of the account list being received
    QString RequestedUserListServer;
    // Whether UserEntries holds the complete account list of that domain (printing and export
    // only ever use a list that reached its end), whatever server it came from.
    bool HoldsWholeAccountList(const QString& domain) const;
    // The same, of that domain of that server (its record's key).
    bool UserEntriesAreOf(const QString& serverKey, const QString& domain) const
    {
        return HoldsWholeAccountList(domain) && UserEntriesServer == serverKey;
    }
    EditorSource CustomDomainEditor;     // what the custom domain editor holds
    EditorSource MailProcEditor;         // what the mail-processing editors hold
    FileEditors DownloadedFile;          // the download being read, as far as it has come
    QString UploadTarget;                // the custom domain or account address of the upload asked for

signals:
    // The driver has reached the end of the queue and waits for the next script.
    void DriverIdled();

private:
    bool RunOneEntry();   // executes the head entry; true when the driver runs on at once
    bool IsStopEntry(const QueueEntry& entry) const;
    void OpenConnection(const QString& address, const QString& portText);
    void WireTransport(Transport* transport);
    // Lets the connection go without its close counting as the server's: with discardUnsent what
    // is still buffered for sending is dropped (abort), otherwise it goes out first (close).
    void ReleaseConnection(bool discardUnsent);
    void WaitForReply();  // (re)starts the reply timer
    // Abandons the running script: the rest of it is dropped up to its "<%quit%>", and the
    // observers learn why (the first reason given is the one they learn).
    void AbandonScript(ScriptOutcome::Kind kind, const QString& detail = QString());
    // Tells the user why the running script failed, unless its label asks for quiet errors.
    void TellFailure(const QString& text, MsgIcon icon);
    void ShowMessage(const QString& text, MsgIcon icon);
    void SetStatus(const QString& text);
    // A fault of the server's reply: tells the user ("The server NAME (HOST, port N) " + fault ...),
    // abandons the script with the given outcome, closes the connection and runs the next script.
    void AbandonReply(ScriptOutcome::Kind kind, const QString& detail, const QString& fault);
    // A whole-file download: a line of it, and its end.
    void AddDownloadedLine(FileKind kind, EditorSource& source, const QString& line);
    void FinishFileDownload(FileKind kind, EditorSource& source, const QString& fileName);
    // The body of an upload the server asked for, composed from the editors; refused (no body, the
    // script abandoned) when the editors do not hold the whole file of the upload's target.
    ReplyOutcome SendUploadBody(FileKind kind, const EditorSource& source, const QString& notReadText,
                                const QString& keptText);
    bool HeadScriptHeld() const;
    // A held script's password has come (password) or cannot be had (reason).
    void SettleHeldScript(quint64 serial, const std::optional<QString>& password, const QString& reason,
                          bool mayWait);

    TransportMaker MakeTransport;
    QTimer* ReplyTimer = nullptr;
    QTimer* LineTimer = nullptr;
    QSet<quint64> HeldScripts;
    QHash<quint64, QString> RefusedScripts;  // held scripts whose password cannot be had: why
    bool DriverIdle = true;
    bool DriverRunning = false;
    bool DriverCalledAgain = false;
    bool ReaderRunning = false;
    bool ReaderResumePending = false;  // lines are left for the reader's next slice
};
