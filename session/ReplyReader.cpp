// The reply reader: cuts the received bytes into lines and hands each to the handler of the
// command whose reply is awaited. Handlers say how they ended with a line: complete (the step is
// done, the driver runs on), continue (read the next line) or stop (the rest waits for more data).

#include <QElapsedTimer>
#include <QIODevice>
#include <QTimer>
#include <utility>

#include "session/CommandQueue.h"
#include "protocol/Protocol.h"
#include "session/ServerSession.h"
#include "session/Transport.h"

using namespace Pseudo;

// The message of an error reply names the command without its "<%" and "%>".
static QString ErrorReplyText(const QString& line, const QString& command)
{
    const QString name = QString(command).remove(QStringLiteral("%>")).remove(QStringLiteral("<%"));
    return QStringLiteral("Error response durring '") + name + QStringLiteral("'\r\n\r\n") + line;
}

// The reader takes this much from the socket at a time.
static constexpr qint64 ReaderPieceBytes = 64 * 1024;

// An account line of a domain's account list goes straight from its bytes into the table, with no
// string per field: such lists are most of what a server ever sends. Anything else (the header,
// the end, an error, a line of the wrong shape) is left to the general way, which also reports it.
static bool TakeAccountLine(QByteArrayView line, AccountTable& accounts)
{
    if (line.isEmpty() || line.front() == '+' || line.front() == '-' || line == ".")
        return false;
    QByteArrayView f[4];
    return DataLineFields(line, f, 4) && f[3].size() == 1 && accounts.append(f[1], f[3], f[2]);
}

void ServerSession::ReadReplyLines()
{
    // Lines are read in a loop, not by handlers calling back into the reader; a driver step that
    // runs inside a handler and asks for more reading is served by the loop already running.
    if (ReaderRunning)
        return;
    ReaderRunning = true;
    ReaderResumePending = false;
    // A long reply is read in slices of a few milliseconds: after each the window's events run,
    // and the reader goes on with the next line through the event loop (never from inside itself).
    QElapsedTimer slice;
    slice.start();
    int sinceCheck = 0;
    for (;;) {
        const auto bytes = ReplyBuffer.takeLineView();
        if (!bytes) {
            // The bytes are taken from the socket as they are needed, a piece at a time: a long
            // reply waits in the socket (and the server) instead of piling up here.
            if (!TcpConnection || TcpConnection->device()->bytesAvailable() == 0)
                break;
            ReplyBuffer.append(TcpConnection->device()->read(ReaderPieceBytes));
            continue;
        }
        const bool accountLine = ReplyHeaderSeen && CurrentCommand == UserList && !DriverIsIdle() &&
                                 TakeAccountLine(*bytes, UserEntries);
        const ReplyOutcome outcome = accountLine ? ReplyOutcome::Continue : HandleReplyLine(Wire::decode(*bytes));
        if (outcome == ReplyOutcome::Complete) {
            Reports.endStep({ScriptOutcome::Done, {}});
            RunNextCommand();
        }
        else if (outcome == ReplyOutcome::Stop)
            break;
        if (++sinceCheck == 64) {
            sinceCheck = 0;
            if (slice.elapsed() >= ReaderSliceMs &&
                (ReplyBuffer.hasCompleteLine() || (TcpConnection && TcpConnection->device()->bytesAvailable() > 0))) {
                ReaderResumePending = true;
                QTimer::singleShot(0, this, [this] {
                    if (ReaderResumePending)
                        ReadReplyLines();
                });
                break;
            }
        }
    }
    ReaderRunning = false;
}

ReplyOutcome ServerSession::HandleReplyLine(const QString& line)
{
    // With no script running nothing is awaited: a late line must not drive anything.
    if (DriverIsIdle())
        return ReplyOutcome::Continue;

    if (line.startsWith(QLatin1Char('-'))) {
        if (CurrentCommand == UserGetMproc && !ReplyHeaderSeen) {
            // The account has no mail-processing file yet: mail is stored locally. The reply cannot
            // tell that from a refusal, so the first save asks before it creates a file.
            DownloadedFile.mailbox = true;
            if (View)
                View->FileDownloadGrew(FileKind::MailProc, DownloadedFile, QString());
            MailProcEditor.state = EditorSource::NotSent;
            MailProcEditor.serverAnswer = line;
            NoteForActivityLog(QStringLiteral("The server did not send a mail processing file for %1 (its "
                                              "answer: %2).")
                                   .arg(MailProcEditor.owner, line));
            RunNextCommand();
        } else if (CurrentCommand == UserGetMproc) {
            // A "-" after the "+": the download broke off. The editors hold part of the file, which
            // is never saved whole (its state stays Loading); the rest of the account still loads.
            NoteForActivityLog(QStringLiteral("The mail processing file of %1 was not sent whole (the server "
                                              "broke off with: %2); it cannot be saved until the account is "
                                              "read again.")
                                   .arg(MailProcEditor.owner, line));
            ReportSkippedLines();
            RunNextCommand();
        } else if (CurrentCommand == Quit) {
            ShowMessage(ErrorReplyText(line, CurrentCommand), MsgIcon::None);
            CloseConnection();
            RunNextCommand();
        } else if (Reports.stepMark() != 0) {
            // A marked step's refusal is its caller's to report, and the script goes on.
            Reports.endStep({ScriptOutcome::ServerError, line});
            RunNextCommand();
        } else if (CurrentCommand == Pop3Enable) {
            // A link that cannot be switched is still listed or deleted.
            RunNextCommand();
        } else {
            ReportErrorReply(line, CurrentCommand);
        }
        return ReplyOutcome::Stop;
    }

    const QString& c = CurrentCommand;
    if (c == Pseudo::DomainList) return HandleDomainListLine(line);
    if (c == CustDomList) return HandleCustDomListLine(line);
    if (c == CustDomGet) return HandleCustDomGetLine(line);
    if (c == CustDomSet) return HandleCustDomSetLine(line);
    if (c == Quit) return HandleQuitLine(line);
    if (c == DomainDel) return HandleDomainDelLine(line);
    if (c == UserList) return HandleUserListLine(line);
    if (c == MlUserList) return HandleMlUserListLine(line);
    if (c == GetUser) return HandleGetUserLine(line);
    if (c == AliasList) return HandleAliasListLine(line);
    if (c == UserVars) return HandleUserVarsLine(line);
    if (c == UserGetMproc) return HandleUserGetMprocLine(line);
    if (c == UserSetMproc) return HandleUserSetMprocLine(line);
    if (c == Pop3List) return HandlePop3ListLine(line);
    if (c == Connect) return HandleGreetingLine(line);
    return HandleDefaultLine(line);
}

ReplyOutcome ServerSession::HandleDefaultLine(const QString& line)
{
    return line.startsWith(QLatin1Char('+')) ? ReplyOutcome::Complete : ReplyOutcome::Continue;
}

ReplyOutcome ServerSession::HandleQuitLine(const QString& line)
{
    if (line.startsWith(QLatin1Char('+')))
        SetStatus(QStringLiteral("Waiting for server to close connection."));
    else if (line.startsWith(QLatin1Char('-')))
        ShowMessage(ErrorReplyText(line, Quit), MsgIcon::None);
    return ReplyOutcome::Continue;
}

ReplyOutcome ServerSession::HandleGreetingLine(const QString& line)
{
    if (!line.startsWith(QLatin1Char('+')))
        return ReplyOutcome::Continue;  // text before the greeting is passed over
    const Greeting greeting = ParseGreeting(line);
    ServerVersion = greeting.version;
    GreetingTimestamp = greeting.timestamp;
    ServerPlatform = greeting.platform;
    if (View)
        View->SetVersionStatus(GreetingStatusText(ServerVersion, ServerPlatform));
    return ReplyOutcome::Complete;
}

ReplyOutcome ServerSession::HandleListLine(const QString& line, const QString& progressText,
                                     const std::function<void(const QString&)>& onData,
                                     const std::function<void()>& onEnd, bool emptyIsData)
{
    // A file download (emptyIsData) keeps its empty lines, and only its first "+" opens it: a later
    // one is a line of the file.
    if (line.startsWith(QLatin1Char('+')) && !(emptyIsData && ReplyHeaderSeen)) {
        ReplyHeaderSeen = true;
        SetStatus(progressText);
        return ReplyOutcome::Continue;
    }
    if (line == QLatin1String(".")) {
        ReportSkippedLines();  // once per reply, before what its end shows
        if (onEnd)
            onEnd();
        return ReplyOutcome::Complete;
    }
    if (line.isEmpty() && !emptyIsData)
        return ReplyOutcome::Continue;
    onData(line);
    return ReplyOutcome::Continue;
}

// One rule for every list reply (domains, custom domains, accounts, members, aliases, variables,
// POP3 links): a line that cannot be read is skipped, the sound lines are listed and the script
// goes on. A server that sends a thousand such lines raises one message, not a thousand.
void ServerSession::ReportMalformedLine(const QString& line)
{
    if (MalformedLineCount++ == 0) {
        FirstMalformedLine = line;
        MalformedLineCommand = CurrentCommand;
    }
}

void ServerSession::ReportSkippedLines()
{
    if (MalformedLineCount == 0)
        return;
    const qsizetype count = std::exchange(MalformedLineCount, 0);
    const QString first = std::exchange(FirstMalformedLine, QString());
    const QString name = std::exchange(MalformedLineCommand, QString())
                             .remove(QStringLiteral("%>"))
                             .remove(QStringLiteral("<%"));
    // A line may be up to 16 MiB long: the message quotes its start.
    constexpr qsizetype Quoted = 200;
    const QString quoted = first.size() > Quoted ? first.left(Quoted) + QStringLiteral("...") : first;
    const QString lines = count == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(count);
    if (!Reports.label().quietErrors)
        ShowMessage(QStringLiteral("%1 of the server's answer to '%2' could not be read and %3 skipped; the "
                                   "rest of the answer was read. The first of them:\r\n\r\n%4")
                        .arg(lines, name, count == 1 ? QStringLiteral("was") : QStringLiteral("were"), quoted),
                    MsgIcon::Exclamation);
    // The log names no line: an account line holds a password, and the log never shows one.
    NoteForActivityLog(QStringLiteral("%1 of the answer to \"%2\" could not be read and %3 skipped.")
                           .arg(lines, name, count == 1 ? QStringLiteral("was") : QStringLiteral("were")));
}

void ServerSession::ReportErrorReply(const QString& line, const QString& command)
{
    if (!Reports.label().quietErrors)
        ShowMessage(ErrorReplyText(line, command), MsgIcon::None);
    AbandonScript(ScriptOutcome::ServerError, line);
    RunNextCommand();
}
