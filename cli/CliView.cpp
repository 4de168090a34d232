#include "cli/CliView.h"

#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "session/CommandQueue.h"
#include "session/Scripts.h"
#include "session/ServerSession.h"

int ExitCodeForOutcome(const ScriptOutcome& outcome, bool greeted, bool loginRefused)
{
    switch (outcome.kind) {
    case ScriptOutcome::Done: return 0;
    case ScriptOutcome::ServerError: return loginRefused ? 77 : 1;
    case ScriptOutcome::Refused: return 65;
    case ScriptOutcome::ConnectionError: return greeted ? 75 : 69;
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
    session_.Reports.addObserver(this);
}

CliView::~CliView()
{
    session_.Reports.removeObserver(this);
    session_.SetView(nullptr);
}

void CliView::ShowMessage(const QString& text, MsgIcon)
{
    // The "-" that answers the login is the server refusing us, not the request.
    if (session_.CurrentCommand == Pseudo::Login && !session_.DriverIsIdle())
        loginRefused_ = true;
    Err(PlainLines(text));
}

void CliView::SetStatus(const QString& text)
{
    // The login's progress text stands until the next step's; a failure then closes the connection
    // (its own texts leave this as it was), so a script refused here was refused at the login.
    if (text.startsWith(QLatin1String("Authenticating Administrator")))
        atLogin_ = true;
    else if (!text.startsWith(QLatin1String("Clos")) && !text.startsWith(QLatin1String("Waiting for server")) &&
             text != QLatin1String("Ready"))
        atLogin_ = false;
    if (verbose && text != QLatin1String("Ready"))
        Err(text);
}

void CliView::SetVersionStatus(const QString& text)
{
    greeted_ = true;
    if (verbose)
        Err(text.trimmed());
}

void CliView::NoteActivity(const QString&, const QString& text)
{
    Err(QStringLiteral("note: ") + PlainLines(text));
}

void CliView::AddDomainsToTree(const QString&)
{
    delivered_.domains = true;
}

void CliView::AddCustomDomainsToTree(const QString&)
{
    delivered_.customDomains = true;
}

void CliView::AddUsersToTree(const QString&)
{
    delivered_.users = true;
    if (onUsers)
        onUsers();
}

void CliView::ShowUserVars()
{
    delivered_.userVars = true;
}

void CliView::FillAliasList()
{
    delivered_.aliases = true;
}

void CliView::ListMembersRequested()
{
    delivered_.members = false;
    delivered_.memberLines.clear();
}

void CliView::ShowListMembers(const QStringList& members)
{
    delivered_.members = true;
    delivered_.memberLines = members;
}

void CliView::ShowAccount(const QString& name, const QString& password, bool isList)
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

void CliView::ShowPop3Links()
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
    greeted_ = false;
    loginRefused_ = false;
    atLogin_ = false;
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
    int code = ExitCodeForOutcome(outcome, greeted_,
                                  loginRefused_ || (outcome.kind == ScriptOutcome::ServerError && atLogin_));
    if (code == Exit::Ok && switchRefused_)
        code = Exit::ServerRefused;
    if (onScriptEnded)
        onScriptEnded(label, outcome, code);
}
