// The script driver: executes the command queue one entry at a time and owns the connection.
//
// A local step runs at once and the driver goes on; a request is sent and the driver returns until
// the reply reader calls it again. The driver loops over local steps instead of calling itself, so a
// long run of steps (or of entries skipped after a failure) never deepens the stack.

#include <QIODevice>
#include <QTimer>
#include <utility>

#include "protocol/Protocol.h"
#include "session/ServerSession.h"
#include "session/SshTransport.h"
#include "session/Steps.h"
#include "session/Transport.h"

using namespace Pseudo;

ServerSession::ServerSession(SessionView* view, QObject* parent) : QObject(parent), View(view) {}

ServerSession::~ServerSession()
{
    // A script still running ends with the session: its connection must not report anything to a
    // session (or a view) that is half gone.
    ReleaseConnection(true);
}

// ------------------------------------------------------------------------------------ the queue

void ServerSession::QueueCommand(const QString& pseudoCommand, int mark)
{
    lstCommand.pushCommand(pseudoCommand, mark);
}

void ServerSession::QueueArgument(const QString& value)
{
    lstCommand.pushArgument(value);
}

void ServerSession::QueueEndMarker()
{
    lstCommand.pushEndMarker();
}

void ServerSession::QueueConnect(const QString& address, const QString& port)
{
    QueueCommand(Connect);
    QueueArgument(address);
    QueueArgument(port);
}

QueueEntry ServerSession::NextCommand()
{
    return lstCommand.take();
}

QString ServerSession::NextArgument()
{
    // A missing argument reads as empty text rather than as a step name.
    return lstCommand.isEmpty() ? QString() : lstCommand.take().text;
}

int ServerSession::CountScripts() const
{
    return lstCommand.countScripts();
}

quint64 ServerSession::QueueScriptHead(const ServerLogin& server, bool required, const ScriptLabel& label)
{
    // The record as it is now: a script keeps these values even if the record changes before it runs.
    ScriptLabel named = label;
    named.host = server.host;
    named.port = server.port;
    named.ssh = server.ssh;
    const quint64 serial = lstCommand.labelNextScript(named);
    if (required)
        QueueCommand(Required);
    QueueConnect(server.host, server.port);
    QueueCommand(Login);
    QueueArgument(server.login);
    QueueArgument(server.password.value_or(QString()));
    if (!server.password)
        HeldScripts.insert(serial);
    return serial;
}

bool ServerSession::HeadScriptHeld() const
{
    return !HeldScripts.isEmpty() && !Reports.active() && !lstCommand.isEmpty() &&
           HeldScripts.contains(lstCommand.headLabel().serial);
}

void ServerSession::ProvidePassword(quint64 serial, const QString& password)
{
    SettleHeldScript(serial, password, QString(), true);
}

void ServerSession::DropHeldScript(quint64 serial, const QString& reason)
{
    SettleHeldScript(serial, std::nullopt, reason, true);
}

void ServerSession::SettleHeldScript(quint64 serial, const std::optional<QString>& password,
                                     const QString& reason, bool mayWait)
{
    if (!HeldScripts.contains(serial))
        return;
    if (!lstCommand.holdsScript(serial)) {
        // Answered while its script was still being queued: once it is queued to its end. A script
        // that never got there holds nothing back any more.
        if (mayWait)
            QTimer::singleShot(0, this, [=] { SettleHeldScript(serial, password, reason, false); });
        else
            HeldScripts.remove(serial);
        return;
    }
    const bool atHead = lstCommand.headLabel().serial == serial;
    HeldScripts.remove(serial);
    if (password)
        lstCommand.setArgumentOf(serial, Login, 1, *password);
    else
        RefusedScripts.insert(serial, reason);  // abandoned as it starts, in its turn
    // The driver waits at a held script: it may run now.
    if (atHead && !Reports.active())
        RunNextCommand();
}

bool ServerSession::HoldsWholeAccountList(const QString& domain) const
{
    return !UserEntriesDomain.isEmpty() && UserEntriesDomain == domain;
}

void ServerSession::StartQueue()
{
    // With more than one script queued, one is already running and reaches the new one by itself.
    if (CountScripts() == 1)
        RunNextCommand();
}

// ------------------------------------------------------------------------------------ the driver

void ServerSession::RunNextCommand()
{
    // A socket event raised inside a step (a connection refused at once, say) asks for the next
    // entry while this call is still running: remember it and run once more when this step ends.
    if (DriverRunning) {
        DriverCalledAgain = true;
        return;
    }
    DriverRunning = true;
    do {
        DriverCalledAgain = false;
        while (RunOneEntry()) {
        }
    } while (DriverCalledAgain);
    DriverRunning = false;
}

bool ServerSession::IsStopEntry(const QueueEntry& entry) const
{
    if (entry.kind != QueueEntry::Command)
        return false;
    return entry.text == Quit || entry.text == Null || entry.text == Required ||
           (entry.text == Login && SocketOpen());
}

bool ServerSession::RunOneEntry()
{
    // A script whose password is still on its way waits, and the scripts behind it with it.
    if (HeadScriptHeld()) {
        DriverIdle = false;
        return false;
    }
    // The first entry of a script: its watchers learn that it starts.
    if (!Reports.active() && !lstCommand.isEmpty()) {
        ScriptLabel label = lstCommand.headLabel();
        label.session = this;
        Reports.begin(label);
        // A script whose password could not be had sends nothing: it is dropped up to its end,
        // and its watchers (and, unless it is quiet, the user) learn why.
        const auto refused = RefusedScripts.find(label.serial);
        if (refused != RefusedScripts.end()) {
            const QString why = refused.value();
            RefusedScripts.erase(refused);
            TellFailure(why, MsgIcon::Exclamation);
            AbandonScript(ScriptOutcome::Refused, why);
        }
    }
    QueueEntry entry = NextCommand();

    // An optional script gives way to any script queued behind it, and a failed script is dropped
    // up to its "<%quit%>" (but still logs in while its connection is up).
    if ((CountScripts() > 1 && !ScriptRequired) || ScriptAborted) {
        if (!ScriptAborted && !IsStopEntry(entry))
            Reports.fail(ScriptOutcome::Skipped);
        while (!IsStopEntry(entry))
            entry = NextCommand();
    }
    if (entry.kind != QueueEntry::Command)
        return true;  // an argument without its step: nothing to do with it

    const Step* step = FindStep(entry.text);
    if (!step)
        return false;  // an entry that is no step: dropped, the driver waits

    const QString& name = entry.text;
    if (name == Null) {
        ScriptRequired = false;
        ScriptAborted = false;
        Reports.end();  // entries queued without a "<%quit%>" end here
        if (!DriverIdle) {
            DriverIdle = true;
            emit DriverIdled();
        }
        return false;
    }
    DriverIdle = false;

    if (name == Required) {
        ScriptRequired = true;
        return true;
    }
    if (name == Connect) {
        ServerVersion = 0;
        const QString address = NextArgument();
        const QString port = NextArgument();
        OpenConnection(address, port);
        return false;
    }
    if (name == Quit) {
        ScriptAborted = false;
        ScriptRequired = false;
        CurrentCommand = Quit;
        if (TcpConnection)  // the reader takes bytes as it reads: what it left in the socket too
            ReplyBuffer.append(TcpConnection->device()->readAll());
        // Lines the server sent after the last reply the script awaited get the quit row's answer
        // once the connection is closed (closing empties the buffer); they drive nothing.
        QStringList leftOver;
        while (const auto bytes = ReplyBuffer.takeLineView())
            leftOver << Wire::decode(*bytes);
        CloseConnection();  // no log-off line: the server sees the connection close
        for (const QString& line : std::as_const(leftOver))
            HandleQuitLine(line);
        Reports.end();
        return true;
    }
    if (name == Login) {
        const QString login = NextArgument();
        const QString password = NextArgument();
        const bool md5 = UsesMd5Login(GreetingTimestamp, ServerVersion);
        SetStatus(md5 ? QStringLiteral("Authenticating Administrator using MD5...")
                      : QStringLiteral("Authenticating Administrator..."));
        CurrentCommand = Login;
        const auto line = ComposeLogin(login, password, GreetingTimestamp, ServerVersion);
        if (!line) {
            TellFailure(QStringLiteral("The login name or password of this server holds a double quote, a "
                                       "control character or a character outside Latin-1 and cannot be "
                                       "sent. Correct it in the server's properties."),
                        MsgIcon::Exclamation);
            AbandonScript(ScriptOutcome::Refused, QStringLiteral("the login name or password cannot be sent"));
            return true;
        }
        SendText(*line);
        return false;
    }

    // Every other step: its fixed arguments, its progress text and the reply it waits for.
    QStringList args;
    for (int i = 0; i < step->arguments; ++i)
        args << NextArgument();
    if (name == Pop3Enable) {
        SetStatus(args.value(0) == QLatin1String("0")
                      ? QStringLiteral("Disabling POP3 External Link for this user...")
                      : QStringLiteral("Enabling POP3 External Link for this user..."));
    } else if (!step->status.isEmpty()) {
        SetStatus(step->status);
    }
    if (!step->current.isEmpty())
        CurrentCommand = step->current;

    if (step->kind == Step::Local) {
        if (name == VerifyCustDomain) {
            // A custom domain file of that name (in any letter case) must not be overwritten.
            const QString wanted = args.value(0).toLower();
            for (const QString& existing : std::as_const(CustomDomainNames)) {
                if (existing.toLower() == wanted) {
                    ShowMessage(QStringLiteral("Custom Domain File ") + QuoteChar + wanted +
                                    QStringLiteral(".tab") + QuoteChar + QStringLiteral(" already exists."),
                                MsgIcon::None);
                    AbandonScript(ScriptOutcome::Refused, wanted + QStringLiteral(".tab already exists"));
                }
            }
            // The editor was emptied to create this name; refused, it holds no file of it.
            if (ScriptAborted && CustomDomainEditor.state == EditorSource::Fresh &&
                CustomDomainEditor.owner.toLower() == wanted)
                CustomDomainEditor = EditorSource();
        } else if (!View) {
            // Nobody shows the session any more: the steps that show something have nobody to tell.
        } else if (name == ShowCustDomain) {
            View->ShowCustomDomainPanel();
        } else if (name == AddDomainsToList) {
            View->AddDomainsToTree(args.value(0));
        } else if (name == AddCustDomainsToList) {
            View->AddCustomDomainsToTree(args.value(0));
        } else if (name == ShowDomainProperties) {
            View->ShowDomainPanel(QStringLiteral("add"));
        } else if (name == AddUsersToList) {
            View->AddUsersToTree(args.value(0));
        } else if (name == ShowUserProperties) {
            View->ShowUserPanel(QStringLiteral("add"));
        } else if (name == ShowUserEdit) {
            View->ShowSelectedUserPanel();
        } else if (name == ShowListUser) {
            View->ShowUserPanel(QStringLiteral("list"));
        } else if (name == Pseudo::ShowUserVars) {
            View->ShowUserVars();
        }
        return true;
    }

    // Requests: empty what the reply will fill, then send.
    if (name == Pseudo::DomainList) {
        DomainNames.clear();
    } else if (name == CustDomList) {
        CustomDomainNames.clear();
    } else if (name == CustDomGet) {
        DownloadedFile = FileEditors();
        if (View)
            View->FileDownloadStarted(FileKind::CustomDomain);
        CustomDomainEditor = {EditorSource::Loading, args.value(0)};
    } else if (name == CustDomSet) {
        UploadTarget = args.value(0);
    } else if (name == UserList) {
        UserEntries.clear();
        UserEntriesDomain.clear();
        UserEntriesServer.clear();
        RequestedUserListDomain = args.value(0);
        RequestedUserListServer = Reports.label().serverKey;
    } else if (name == MlUserList) {
        ListMembers.clear();
        if (View)
            View->ListMembersRequested();
    } else if (name == GetUser) {
        AccountName.clear();
        AccountPassword.clear();
        AccountIsList = false;
    } else if (name == UserVars) {
        UserVarNames.clear();
        UserVarValues.clear();
    } else if (name == UserGetMproc) {
        DownloadedFile = FileEditors();
        if (View)
            View->FileDownloadStarted(FileKind::MailProc);
        MailProcEditor = {EditorSource::Loading, args.value(1) + QLatin1Char('@') + args.value(0)};
    } else if (name == UserSetMproc) {
        UploadTarget = args.value(1) + QLatin1Char('@') + args.value(0);
    } else if (name == AliasList) {
        AliasEntries.clear();  // the second pass adds to the first
        AliasAccounts.clear();
    } else if (name == Pop3List) {
        Pop3LinkUsers.clear();
        Pop3LinkServers.clear();
        Pop3LinkPasswords.clear();
        Pop3LinkAuths.clear();
        Pop3LinkEnabled.clear();
        if (View)
            View->Pop3LinksRequested();
    } else if (name == UserVarsSet) {
        // Name and value pairs up to the end marker; a value that reads "!EOF" is still a value.
        while (!lstCommand.isEmpty()) {
            const QueueEntry pairEntry = NextCommand();
            if (pairEntry.kind == QueueEntry::EndMarker)
                break;
            args << pairEntry.text;
        }
    } else if (name == MlUserAdd) {
        // Servers up to 0.63 take no access argument; it is taken off the queue all the same.
        if (ServerVersion <= 0.63)
            args.removeLast();
    }
    Reports.setStepMark(entry.mark);
    return !SendRequest(step->word, args);
}

bool ServerSession::SendRequest(const QString& word, const QStringList& args)
{
    const auto line = ComposeRequest(word, args);
    if (!line) {
        // The last guard: a value that would split into other fields or lines never goes out.
        TellFailure(QStringLiteral("The request \"%1\" was not sent: one of its values holds a double "
                                   "quote, a control character or a character outside Latin-1.")
                        .arg(word),
                    MsgIcon::Exclamation);
        AbandonScript(ScriptOutcome::Refused, QStringLiteral("a value of \"%1\" cannot be sent").arg(word));
        return false;
    }
    SendText(*line);
    return true;
}

void ServerSession::SendText(const QByteArray& bytes)
{
    if (!TcpConnection)
        return;
    // Whatever the server sent beyond its last reply answers no request; left in the buffer (or in
    // the socket, where the reader leaves what it has not needed yet) it would be read as the reply
    // to this one.
    ReplyBuffer.append(TcpConnection->device()->readAll());
    ReportSkippedLines();  // the last reply ended without its closing dot
    const qsizetype stray = ReplyBuffer.discardPending();
    if (stray > 0)
        NoteForActivityLog(QStringLiteral("%1 line(s) the server sent beyond its reply were dropped "
                                          "before \"%2\" was sent.")
                               .arg(stray)
                               .arg(CurrentCommand));
    ReplyHeaderSeen = false;
    TcpConnection->device()->write(bytes);
    WaitForReply();
}

void ServerSession::NoteForActivityLog(const QString& text)
{
    if (View)
        View->NoteActivity(Reports.label().server, text);
}

void ServerSession::ShowMessage(const QString& text, MsgIcon icon)
{
    if (View)
        View->ShowMessage(text, icon);
}

void ServerSession::SetStatus(const QString& text)
{
    if (View)
        View->SetStatus(text);
}

void ServerSession::WaitForReply()
{
    if (!ReplyTimer) {
        ReplyTimer = new QTimer(this);
        ReplyTimer->setSingleShot(true);
        connect(ReplyTimer, &QTimer::timeout, this, &ServerSession::ReplyTimedOut);
    }
    ReplyTimer->start(ReplyTimeoutMs);
}

// Abandons the script after a fault of the server's reply: the user is told which server and which
// action, the connection closes (which empties the reply buffer) and the next script runs.
void ServerSession::AbandonReply(ScriptOutcome::Kind kind, const QString& detail, const QString& fault)
{
    const ScriptLabel& script = Reports.label();
    TellFailure(QStringLiteral("The server %1 (%2, port %3) %4 while this action ran: %5. The connection "
                               "was closed and the rest of the action was abandoned.")
                    .arg(script.server, script.host.trimmed(), QString::number(PortFromText(script.port)),
                         fault, script.action.isEmpty() ? QStringLiteral("(unnamed)") : script.action),
                MsgIcon::Exclamation);
    AbandonScript(kind, detail);
    CloseConnection();
    RunNextCommand();
}

void ServerSession::LineTimedOut()
{
    if (!TcpConnection)
        return;
    AbandonReply(ScriptOutcome::TimedOut, QString(),
                 QStringLiteral("began a line of its answer and did not end it within %1 minutes")
                     .arg(LineTimeoutMs / 60000.0));
}

void ServerSession::ReplyTimedOut()
{
    if (!TcpConnection)
        return;
    AbandonReply(ScriptOutcome::TimedOut, QString(),
                 QStringLiteral("did not answer for %1 seconds").arg(ReplyTimeoutMs / 1000.0));
}

void ServerSession::TellFailure(const QString& text, MsgIcon icon)
{
    // A script whose caller learns its outcome by itself (a run of many) raises no message box.
    if (!Reports.label().quietErrors)
        ShowMessage(text, icon);
}

void ServerSession::AbandonScript(ScriptOutcome::Kind kind, const QString& detail)
{
    ScriptAborted = true;
    Reports.fail(kind, detail);
}

void ServerSession::CancelScript()
{
    if (DriverIdle || DriverRunning || ReaderRunning)
        return;  // nothing runs, or the driver is at work and the user's click waits for it
    // A whole-file upload is written in one go after the server's "+"; once it is out, the server
    // may have stored it before it sees the connection close.
    const bool uploadSent = CurrentCommand == CustDomSetSent || CurrentCommand == UserSetMprocSent;
    AbandonScript(ScriptOutcome::Cancelled,
                  uploadSent ? QStringLiteral("the file %1 was sent; the server may have stored it")
                                   .arg(UploadTarget)
                             : QString());
    ReleaseConnection(true);  // nothing still waiting in the socket's buffer goes out after the cancel
    CloseConnection();
    RunNextCommand();
}

// ------------------------------------------------------------------------------------ the connection

bool ServerSession::SocketOpen() const
{
    return TcpConnection && TcpConnection->isOpen();
}

void ServerSession::OpenConnection(const QString& address, const QString& portText)
{
    // Whatever the previous connection left unread, or half a line of it, does not belong to the
    // new server's greeting.
    ReplyBuffer.clear();
    ReleaseConnection(true);
    SetStatus(QStringLiteral("Connecting to ") + address + QStringLiteral("..."));
    CurrentCommand = Connect;
    const SshRoute route = Reports.label().ssh;
    // Unless the front end makes its own, a record reached through SSH runs the system's ssh, which
    // asks its questions (a passphrase, an unknown host key) on the terminal, if there is one.
    Transport* transport = MakeTransport ? MakeTransport(route, this) : nullptr;
    if (!transport)
        transport = MakeRouteTransport(route, QString(), this);
    TcpConnection = transport;
    WireTransport(transport);
    WaitForReply();
    transport->open(address.trimmed(), PortFromText(portText));
}

// Connection events that arrive while the driver or the reader is at work are handled right after
// it, in the order they came, and only while their transport is still the current connection.
static void Later(ServerSession* session, Transport* transport, std::function<void()> event)
{
    QTimer::singleShot(0, session, [session, transport, event = std::move(event)]() mutable {
        if (session->TcpConnection != transport)
            return;
        if (session->ReaderHasBacklog())  // the lines that came before the event are read first
            Later(session, transport, std::move(event));
        else
            event();
    });
}

void ServerSession::WireTransport(Transport* transport)
{
    connect(transport, &Transport::connected, this, [this, transport] {
        if (TcpConnection == transport)
            TcpConnection_Connect();
    });
    connect(transport, &Transport::readyRead, this, [this, transport] {
        if (TcpConnection == transport)
            TcpConnection_DataArrival();
    });
    // Only the server's close reaches here: before this side closes a connection it lets go of it.
    connect(transport, &Transport::closed, this, [this, transport] {
        if (TcpConnection != transport)
            return;
        if (DriverRunning || ReaderRunning || ReaderHasBacklog())
            Later(this, transport, [this] { TcpConnection_Close(); });
        else
            TcpConnection_Close();
    });
    connect(transport, &Transport::failed, this, [this, transport](int number, const QString& description) {
        if (TcpConnection != transport)
            return;
        if (DriverRunning || ReaderRunning || ReaderHasBacklog())
            Later(this, transport, [this, number, description] { TcpConnection_Error(number, description); });
        else
            TcpConnection_Error(number, description);
    });
}

void ServerSession::CloseConnection()
{
    SetStatus(QStringLiteral("Closeing connection..."));
    if (ReplyTimer)
        ReplyTimer->stop();
    if (LineTimer)
        LineTimer->stop();
    // Nothing received on this connection belongs to the next one; a huge partial line is let go.
    ReplyBuffer.clear();
    ReleaseConnection(false);
    ReportSkippedLines();  // a reply cut short still tells of the lines it skipped
    SetStatus(QStringLiteral("Ready"));
}

void ServerSession::ReleaseConnection(bool discardUnsent)
{
    Transport* transport = std::exchange(TcpConnection, nullptr);
    if (!transport)
        return;
    transport->disconnect(this);  // our own close is no close event
    transport->release(discardUnsent);
}

void ServerSession::TcpConnection_Connect()
{
    SetStatus(QStringLiteral("Connected"));
}

void ServerSession::TcpConnection_DataArrival()
{
    WaitForReply();  // a long reply still arriving is no silent server
    const qsizetype takenBefore = ReplyBuffer.takenLines();
    ReadReplyLines();  // it takes the bytes from the socket as it reads
    if (!TcpConnection)
        return;  // the reply ended the connection
    if (ReplyBuffer.partialLineTooLong(MaxReplyLineBytes)) {
        const QString fault = QStringLiteral("sent a line longer than %1 MiB without ending it")
                                  .arg(MaxReplyLineBytes / double(1 << 20));
        AbandonReply(ScriptOutcome::ConnectionError, fault, fault);
        return;
    }
    // The per-line limit runs from the moment a line begins until it ends.
    if (ReplyBuffer.pending() == 0) {
        if (LineTimer)
            LineTimer->stop();
    } else if (!LineTimer || !LineTimer->isActive() || ReplyBuffer.takenLines() != takenBefore) {
        if (!LineTimer) {
            LineTimer = new QTimer(this);
            LineTimer->setSingleShot(true);
            connect(LineTimer, &QTimer::timeout, this, &ServerSession::LineTimedOut);
        }
        LineTimer->start(LineTimeoutMs);
    }
}

void ServerSession::TcpConnection_Close()
{
    // The server closed the connection in the middle of a script: abandon it without a message.
    CloseConnection();
    AbandonScript(ScriptOutcome::ConnectionError, QStringLiteral("the server closed the connection"));
    RunNextCommand();
}

void ServerSession::TcpConnection_Error(int number, const QString& description)
{
    // Through SSH the description names the SSH host and gives ssh's own last line; the message
    // names the server too.
    const QString route = TcpConnection ? TcpConnection->route() : QString();
    const QString text = route.isEmpty()
                             ? QStringLiteral("TCP Error: ") + description + QStringLiteral(" (") +
                                   QString::number(number) + QLatin1Char(')')
                             : QStringLiteral("The server %1 could not be reached %2. %3")
                                   .arg(Reports.label().server, route, description);
    TellFailure(text, MsgIcon::None);
    AbandonScript(ScriptOutcome::ConnectionError, text);
    CloseConnection();
    RunNextCommand();
}
