// The details of one account: its aliases, its variables, its mail-processing file (download and
// upload) and its external POP3 links.

#include "protocol/Protocol.h"
#include "session/ServerSession.h"

ReplyOutcome ServerSession::HandleAliasListLine(const QString& line)
{
    // The second pass ("<%aliaslist_more%>") arrives under the same command and adds to the first.
    return HandleListLine(
        line, QStringLiteral("Receiving list of aliases for this user..."),
        [this](const QString& data) {
            const QStringList fields = DataLineFields(data);
            if (fields.size() != 3) {
                ReportMalformedLine(data);
                return;
            }
            AliasEntries << fields.at(1);
            AliasAccounts << fields.at(2);
        },
        [this] {
            if (View)
                View->FillAliasList();
        });
}

ReplyOutcome ServerSession::HandleUserVarsLine(const QString& line)
{
    return HandleListLine(line, QStringLiteral("Receiving list of variables for this user..."),
                          [this](const QString& data) {
                              const QStringList fields = DataLineFields(data);
                              if (fields.size() < 2) {
                                  ReportMalformedLine(data);
                                  return;
                              }
                              UserVarNames << fields.at(0);
                              UserVarValues << fields.at(1);
                          });
}

ReplyOutcome ServerSession::HandleUserGetMprocLine(const QString& line)
{
    return HandleListLine(
        line, QStringLiteral("Receiving mailproc.tab for this user..."),
        [this](const QString& data) { AddDownloadedLine(FileKind::MailProc, MailProcEditor, data); },
        [this] {
            // Only a download that reached its closing dot lets the editors be saved back whole.
            FinishFileDownload(FileKind::MailProc, MailProcEditor,
                               QStringLiteral("The mail processing file of %1").arg(MailProcEditor.owner));
        },
        true);
}

ReplyOutcome ServerSession::HandleUserSetMprocLine(const QString& line)
{
    // The server's "+" asks for the file; anything else before it is passed over.
    if (!line.startsWith(QLatin1Char('+')))
        return ReplyOutcome::Continue;
    SetStatus(QStringLiteral("Saving mailproc.tab for this user..."));
    CurrentCommand = Pseudo::UserSetMprocSent;

    return SendUploadBody(FileKind::MailProc, MailProcEditor,
                          QStringLiteral("The mail processing settings of %1 were not read completely from "
                                         "the server; saving them would overwrite its mailproc.tab with part "
                                         "of it. Select the account again to read them, then save.")
                              .arg(UploadTarget),
                          QStringLiteral("The mailproc.tab on the server was not changed."));
}

ReplyOutcome ServerSession::HandlePop3ListLine(const QString& line)
{
    return HandleListLine(
        line, QStringLiteral("Receiving POP3 External List for this user..."),
        [this](const QString& data) {
            const QStringList fields = DataLineFields(data);
            if (fields.size() < 5) {
                ReportMalformedLine(data);
                return;
            }
            Pop3LinkUsers << fields.at(3);
            Pop3LinkServers << fields.at(2);
            Pop3LinkPasswords << fields.at(4);
            Pop3LinkAuths << fields.value(5);
            Pop3LinkEnabled << fields.value(6);
        },
        [this] {
            if (!View)
                return;
            View->ShowPop3Links();
            // The end of the link list rebuilds the alias list too, as the alias reply does.
            View->FillAliasList();
        });
}
