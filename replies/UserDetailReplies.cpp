// The details of one account: its aliases, its variables, its mail-processing file (download and
// upload) and its external POP3 links.

#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "engine/Protocol.h"
#include "replies/FileText.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

static const QString kTab = QStringLiteral("\t");

// The fields of a data line: every double quote removed, then split at TABs.
static QStringList DataFields(const QString& line)
{
    QString text = line;
    text.remove(QLatin1Char('"'));
    return SplitFields(text, kTab);
}

// The text of the advanced box exactly as it stands: the box's plain text would turn a no-break
// space into a space, and a saved file must hold what the server sent.
static QString AdvancedText(const QPlainTextEdit* box)
{
    QString text = box->document()->toRawText();
    text.replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
    text.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
    return text;
}

static void AppendToBox(QPlainTextEdit* box, const QString& text)
{
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}

ReplyOutcome frmMain::HandleAliasListLine(const QString& line)
{
    // The second pass ("<%aliaslist_more%>") arrives under the same command and adds to the first.
    return HandleListLine(
        line, QStringLiteral("Receiving list of aliases for this user..."),
        [this](const QString& data) {
            const QStringList fields = DataFields(data);
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
                              const QStringList fields = DataFields(data);
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
            FileEditors parsed;
            AddFileLine(parsed, data, true);
            if (parsed.mailbox)
                chkMailbox->setChecked(true);
            lstRedirects->addItems(parsed.redirects);
            lstLRedirects->addItems(parsed.lredirects);
            if (!parsed.advanced.isEmpty())
                AppendToBox(txtExternal, parsed.advanced);
        },
        [this] {
            // Only a download that reached its closing dot lets the editors be saved back whole.
            if (MailProcEditor.state == EditorSource::Loading)
                MailProcEditor.state = EditorSource::Complete;
        });
}

ReplyOutcome frmMain::HandleUserSetMprocLine(const QString& line)
{
    // The server's "+" asks for the file; anything else before it is passed over.
    if (!line.startsWith(QLatin1Char('+')))
        return ReplyOutcome::Continue;
    SetStatus(QStringLiteral("Saving mailproc.tab for this user..."));
    CurrentCommand = Pseudo::UserSetMprocSent;

    FileEditors editors;
    editors.mailbox = chkMailbox->isChecked();
    for (int i = 0; i < lstRedirects->count(); ++i)
        editors.redirects << lstRedirects->item(i)->text();
    for (int i = 0; i < lstLRedirects->count(); ++i)
        editors.lredirects << lstLRedirects->item(i)->text();
    editors.advanced = AdvancedText(txtExternal);

    // The editors may have changed, or been refilled by a download that failed, since the save was
    // queued. Sending no body and closing the connection leaves the server's file as it was.
    QString refusal;
    if (!MailProcEditor.allowsSaveOf(UploadTarget))
        refusal = QStringLiteral("The mail processing settings of %1 were not read completely from "
                                 "the server; saving them would overwrite its mailproc.tab with part "
                                 "of it. Select the account again to read them, then save.")
                      .arg(UploadTarget);
    else
        refusal = CheckFileEditors(editors);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal + QStringLiteral("\r\n\r\nThe mailproc.tab on the server was not changed."),
                    MsgIcon::Exclamation);
        ScriptAborted = true;
        RunNextCommand();
        return ReplyOutcome::Stop;
    }

    const QByteArray body = ComposeFileBody(editors, true);
    if (HasAdvancedText(editors.advanced) && !editors.advanced.endsWith(QLatin1Char('\n')))
        AppendToBox(txtExternal, QStringLiteral("\n"));
    SendText(body);
    return ReplyOutcome::Continue;
}

ReplyOutcome frmMain::HandlePop3ListLine(const QString& line)
{
    return HandleListLine(
        line, QStringLiteral("Receiving POP3 External List for this user..."),
        [this](const QString& data) {
            const QStringList fields = DataFields(data);
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
