// Replies to the domain-level commands: the lists of domains and custom domains, the download and
// upload of a custom domain file, and the removal of a domain. The greeting lives with the reader.

#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "replies/FileText.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

static const QChar kQuote = QLatin1Char('"');

// A name list holds one quoted name per line; the line is not split, only its quotes go.
static QString NameOfLine(const QString& line)
{
    QString name = line;
    name.remove(kQuote);
    return name;
}

ReplyOutcome frmMain::HandleDomainListLine(const QString& line)
{
    return HandleListLine(line, QStringLiteral("Receiving list of handled domains..."),
                          [this](const QString& data) { DomainNames << NameOfLine(data); });
}

ReplyOutcome frmMain::HandleCustDomListLine(const QString& line)
{
    return HandleListLine(line, QStringLiteral("Receiving list of custom domains..."),
                          [this](const QString& data) { CustomDomainNames << NameOfLine(data); });
}

// The file's redirections and L-redirections go to their lists, every other line to the advanced
// text. The editor holds the whole file only once the server's closing dot has arrived: a file cut
// short by a dropped connection must never be saved back over the server's copy.
ReplyOutcome frmMain::HandleCustDomGetLine(const QString& line)
{
    return HandleListLine(
        line, QStringLiteral("Receiving custom domain file..."),
        [this](const QString& data) {
            FileEditors added;
            AddFileLine(added, data, false);
            lstDomainRedirects->addItems(added.redirects);
            lstDomainLredirects->addItems(added.lredirects);
            if (!added.advanced.isEmpty()) {
                QTextCursor end(txtDomainAdvanced->document());
                end.movePosition(QTextCursor::End);
                end.insertText(added.advanced);
            }
        },
        [this] {
            if (CustomDomainEditor.state == EditorSource::Loading)
                CustomDomainEditor.state = EditorSource::Complete;
        });
}

// What the custom domain editor holds, as the file text sees it.
static FileEditors CustomDomainEditorContents(const frmMain& w)
{
    FileEditors editors;
    for (int i = 0; i < w.lstDomainRedirects->count(); ++i)
        editors.redirects << w.lstDomainRedirects->item(i)->text();
    for (int i = 0; i < w.lstDomainLredirects->count(); ++i)
        editors.lredirects << w.lstDomainLredirects->item(i)->text();
    editors.advanced = w.txtDomainAdvanced->toPlainText();
    return editors;
}

// The server is ready for the file: compose it from the editor as it stands now. A save queued
// earlier may get here after the editor stopped holding that file (another download failed or was
// cut short, or the text was edited into something the file cannot carry); then no body is sent,
// and closing the connection leaves the server's file as it was.
ReplyOutcome frmMain::HandleCustDomSetLine(const QString& line)
{
    if (!line.startsWith(QLatin1Char('+')))
        return ReplyOutcome::Continue;
    SetStatus(QStringLiteral("Saving custom domain file..."));
    CurrentCommand = Pseudo::CustDomSetSent;

    const FileEditors editors = CustomDomainEditorContents(*this);
    QString refusal;
    if (!CustomDomainEditor.allowsSaveOf(UploadTarget))
        refusal = QStringLiteral("The custom domain file of %1 was not saved: the editor does not hold "
                                 "the whole file as the server has it (it was not read completely). "
                                 "The server keeps its file. Select the custom domain again to read it, "
                                 "then make the change.")
                      .arg(UploadTarget);
    else
        refusal = CheckFileEditors(editors);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal, MsgIcon::Exclamation);
        ScriptAborted = true;
        RunNextCommand();
        return ReplyOutcome::Stop;
    }

    if (HasAdvancedText(editors.advanced) && !editors.advanced.endsWith(QLatin1Char('\n')))
        txtDomainAdvanced->setPlainText(AdvancedWithFinalLineEnd(editors.advanced));
    SendText(ComposeFileBody(editors, false));
    return ReplyOutcome::Continue;
}

ReplyOutcome frmMain::HandleDomainDelLine(const QString& line)
{
    if (!line.startsWith(QLatin1Char('+')))
        return ReplyOutcome::Continue;
    SelectedDomainIndex = QPersistentModelIndex();
    return ReplyOutcome::Complete;
}
