#include "window/ControlText.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextCursor>

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
