#include "window/ControlText.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "replies/FileText.h"
#include "window/MessageSeam.h"
#include "window/frmMain.h"

QStringList ListItems(const QListWidget* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

int SelectedRow(const QListWidget* list)
{
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

QString BoxText(const QPlainTextEdit* box)
{
    QString text = box->document()->toRawText();
    text.replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
    text.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
    return text;
}

void AppendToBox(QPlainTextEdit* box, const QString& text)
{
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}

void ShowDownloadedFileLine(const QString& line, QCheckBox* mailbox, QListWidget* redirects,
                            QListWidget* lredirects, QPlainTextEdit* advanced)
{
    FileEditors parsed;
    AddFileLine(parsed, line, mailbox != nullptr);
    if (parsed.mailbox)
        mailbox->setChecked(true);
    redirects->addItems(parsed.redirects);
    lredirects->addItems(parsed.lredirects);
    if (!parsed.advanced.isEmpty())
        AppendToBox(advanced, parsed.advanced);
}

FileEditors frmMain::CustomDomainEditorContents() const
{
    FileEditors editors;
    editors.redirects = ListItems(lstDomainRedirects);
    editors.lredirects = ListItems(lstDomainLredirects);
    editors.advanced = BoxText(txtDomainAdvanced);
    return editors;
}

FileEditors frmMain::MailProcEditorContents() const
{
    FileEditors editors;
    editors.mailbox = chkMailbox->isChecked();
    editors.redirects = ListItems(lstRedirects);
    editors.lredirects = ListItems(lstLRedirects);
    editors.advanced = BoxText(txtExternal);
    return editors;
}

ReplyOutcome frmMain::SendUploadBody(const FileEditors& editors, bool withMailbox, const EditorSource& source,
                                     QPlainTextEdit* advancedBox, const QString& notReadText,
                                     const QString& keptText)
{
    // A save queued earlier may get here after the editors stopped holding that file (a later
    // download failed or was cut short, or the text was edited into something the file cannot
    // carry). Then no body is sent, and closing the connection leaves the server's file as it was.
    const QString refusal = source.allowsSaveOf(UploadTarget) ? CheckFileEditors(editors) : notReadText;
    if (!refusal.isEmpty()) {
        ShowMessage(refusal + QStringLiteral("\r\n\r\n") + keptText, MsgIcon::Exclamation);
        AbandonScript(ScriptOutcome::Refused, QStringLiteral("the file of %1 was not read completely").arg(UploadTarget));
        RunNextCommand();
        return ReplyOutcome::Stop;
    }
    // The box shows the line end that the upload adds to a last line without one.
    if (HasAdvancedText(editors.advanced) && !editors.advanced.endsWith(QLatin1Char('\n')))
        AppendToBox(advancedBox, QStringLiteral("\n"));
    SendText(ComposeFileBody(editors, withMailbox));
    return ReplyOutcome::Continue;
}
