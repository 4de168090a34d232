#include "cli/CliView.h"

#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "protocol/Protocol.h"
#include "session/CommandQueue.h"
#include "session/Scripts.h"
#include "session/ServerSession.h"

int ExitCodeForOutcome(const ScriptOutcome& outcome)
{
    switch (outcome.kind) {
    case ScriptOutcome::Done: return 0;
    case ScriptOutcome::ServerError: return 1;
    case ScriptOutcome::LoginRefused: return 77;
    case ScriptOutcome::Refused: return 65;
    case ScriptOutcome::Unreachable: return 69;
    case ScriptOutcome::ConnectionError: return 75;
    case ScriptOutcome::TimedOut:
    case ScriptOutcome::Cancelled:
    case ScriptOutcome::Skipped: return 75;
    }
    return 75;
}

QString PlainLines(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n\r\n"), QStringLiteral("\n"));
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t.trimmed();
}

CliView::CliView(ServerSession& session) : session_(session)
{
    session_.SetView(this);
    session_.AddScriptObserver(this);
}

CliView::~CliView()
{
    session_.RemoveScriptObserver(this);
    session_.SetView(nullptr);
}

void CliView::MessageForUser(const QString& text, MsgIcon)
{
    if (!failureText_.isEmpty() && text == failureText_) {
        failureText_.clear();
        Err(failureLine_);
        return;
    }
    Err(PlainLines(text));
}

// A script reads "the server NAME could not be reached: ADDRESS:PORT: what the system said", as
// other programs report a connection that failed, rather than the window's "TCP Error: ... (10061)".
void CliView::noteConnectionFailure(int number, const QString& description)
{
    const ScriptLabel& label = session_.RunningLabel();
    QString why = description.trimmed();
    if (!why.isEmpty())
        why[0] = why[0].toLower();
    failureText_ = QStringLiteral("TCP Error: %1 (%2)").arg(description).arg(number);
    failureLine_ = QStringLiteral("the server %1 could not be reached: %2:%3: %4")
                       .arg(label.server, label.host.trimmed())
                       .arg(PortFromText(label.port))
                       .arg(why);
}

void CliView::StatusChanged(const QString& text)
{
    if (verbose && text != QLatin1String("Ready"))
        Err(text);
}

void CliView::ServerVersionRead(const QString& text)
{
    if (verbose)
        Err(text.trimmed());
}

void CliView::NoteActivity(const QString&, const QString& text)
{
    Err(QStringLiteral("note: ") + PlainLines(text));
}

void CliView::DomainListRead(const QString&)
{
    delivered_.domains = true;
}

void CliView::CustomDomainListRead(const QString&)
{
    delivered_.customDomains = true;
}

void CliView::AccountListRead(const QString&)
{
    delivered_.users = true;
    if (onUsers)
        onUsers();
}

void CliView::AccountVarsRead()
{
    delivered_.userVars = true;
}

void CliView::AliasesComplete()
{
    delivered_.aliases = true;
}

void CliView::ListMembersRequested()
{
    delivered_.members = false;
    delivered_.memberLines.clear();
}

void CliView::ListMembersRead(const QStringList& members)
{
    delivered_.members = true;
    delivered_.memberLines = members;
}

void CliView::AccountRead(const QString& name, const QString& password, bool isList)
{
    delivered_.account = true;
    delivered_.accountName = name;
    delivered_.accountPassword = password;
    delivered_.accountIsList = isList;
}

void CliView::Pop3LinksRequested()
{
    delivered_.pop3 = false;
}

void CliView::Pop3LinksRead()
{
    delivered_.pop3 = true;
}

void CliView::DomainRemoved()
{
    delivered_.domainRemoved = true;
}

void CliView::FileDownloadStarted(FileKind kind)
{
    delivered_.files[int(kind)] = FileEditors();
    delivered_.fileUnholdable[int(kind)] = false;
}

void CliView::FileDownloadGrew(FileKind kind, const FileEditors& editors, const QString&)
{
    delivered_.files[int(kind)] = editors;
}

void CliView::FileUnholdable(FileKind kind)
{
    delivered_.fileUnholdable[int(kind)] = true;
}

FileEditors CliView::FileEditorContents(FileKind kind) const
{
    return uploadFiles[int(kind)];
}

void CliView::scriptStarted(const ScriptLabel&)
{
    delivered_ = Delivered();
    switchRefused_ = false;
    skippedAtStart_ = session_.RepliesWithSkippedLines();
    failureText_.clear();
}

void CliView::stepEnded(const ScriptLabel&, int mark, const ScriptOutcome& outcome)
{
    if (outcome.kind != ScriptOutcome::ServerError)
        return;
    // The switch of a POP3 link is the command's whole change: refused, the command failed, though
    // the script went on to read the links again.
    if (mark == Scripts::SwitchPop3Mark) {
        switchRefused_ = true;
        Err(QStringLiteral("the server refused \"poplnkenable\": ") + outcome.detail);
        return;
    }
    Err(outcome.detail);
}

void CliView::scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome)
{
    int code = ExitCodeForOutcome(outcome);
    if (code == Exit::Ok && switchRefused_)
        code = Exit::ServerRefused;
    // The read-back of a change does not turn a change that was made into a failure.
    if (code == Exit::Ok && label.kind == ScriptLabel::Read && session_.RepliesWithSkippedLines() > skippedAtStart_)
        damagedRead_ = true;
    if (onScriptEnded)
        onScriptEnded(label, outcome, code);
}
