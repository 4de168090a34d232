// The details of one account: its aliases, its variables, its mail-processing file (download and
// upload) and its external POP3 links.

#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "engine/Protocol.h"
#include "window/ControlText.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

ReplyOutcome frmMain::HandleAliasListLine(const QString& line)
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
        },
        [this] {
            FillAliasList();
            cmdDeleteAlias->setEnabled(false);
        });
}

ReplyOutcome frmMain::HandleUserVarsLine(const QString& line)
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

ReplyOutcome frmMain::HandleUserGetMprocLine(const QString& line)
{
    return HandleListLine(
        line, QStringLiteral("Receiving mailproc.tab for this user..."),
        [this](const QString& data) {
            // A line before the "+" is no line of the file: what follows is not the file either.
            if (!ReplyHeaderSeen && MailProcEditor.state == EditorSource::Loading)
                MailProcEditor.state = EditorSource::Empty;
            if (!ShowDownloadedFileLine(data, chkMailbox, lstRedirects, lstLRedirects, txtExternal))
                MailProcEditor.linesHeld = false;
        },
        [this] {
            // Only a download that reached its closing dot lets the editors be saved back whole.
            FinishFileDownload(MailProcEditor, txtExternal,
                               QStringLiteral("The mail processing file of %1").arg(MailProcEditor.owner));
        },
        true);
}

ReplyOutcome frmMain::HandleUserSetMprocLine(const QString& line)
{
    // The server's "+" asks for the file; anything else before it is passed over.
    if (!line.startsWith(QLatin1Char('+')))
        return ReplyOutcome::Continue;
    SetStatus(QStringLiteral("Saving mailproc.tab for this user..."));
    CurrentCommand = Pseudo::UserSetMprocSent;

    return SendUploadBody(MailProcEditorContents(), true, MailProcEditor, txtExternal,
                          QStringLiteral("The mail processing settings of %1 were not read completely from "
                                         "the server; saving them would overwrite its mailproc.tab with part "
                                         "of it. Select the account again to read them, then save.")
                              .arg(UploadTarget),
                          QStringLiteral("The mailproc.tab on the server was not changed."));
}

ReplyOutcome frmMain::HandlePop3ListLine(const QString& line)
{
    return HandleListLine(
        line, QStringLiteral("Receiving POP3 External List for this user..."),
        [this](const QString& data) {
            const QStringList fields = DataLineFields(data);
            if (fields.size() < 5) {
                ReportMalformedLine(data);
                return;
            }
            lstPOP3->addItem(fields.at(3) + QLatin1Char('/') + fields.at(2));
            Pop3LinkUsers << fields.at(3);
            Pop3LinkServers << fields.at(2);
        },
        [this] {
            // The end of the link list rebuilds the alias list too, as the alias reply does.
            FillAliasList();
            cmdDeleteAlias->setEnabled(false);
        });
}
