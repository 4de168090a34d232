// The whole-file transfers: a custom domain's file and an account's "mailproc.tab", read line by
// line into the editors and written back whole from them.

#include "session/ServerSession.h"

void ServerSession::AddDownloadedLine(FileKind kind, EditorSource& source, const QString& line)
{
    // A line before the "+" is no line of the file: what follows is not the file either.
    if (!ReplyHeaderSeen && source.state == EditorSource::Loading)
        source.state = EditorSource::Empty;
    // What the editors hold so far decides where the line goes (only the first list line of each
    // kind fills its list); the view is shown the file as it grows, so a download cut short is
    // still shown as far as it came.
    const qsizetype advancedBefore = DownloadedFile.advanced.size();
    if (!AddFileLine(DownloadedFile, line, kind == FileKind::MailProc))
        source.linesHeld = false;
    if (View)
        View->FileDownloadGrew(kind, DownloadedFile, DownloadedFile.advanced.mid(advancedBefore));
}

void ServerSession::FinishFileDownload(FileKind kind, EditorSource& source, const QString& fileName)
{
    if (source.state != EditorSource::Loading)
        return;
    if (source.linesHeld) {
        source.state = EditorSource::Complete;
        return;
    }
    source.state = EditorSource::Unholdable;
    if (View)
        View->FileUnholdable(kind);
    ShowMessage(QStringLiteral("%1 holds a line that cannot be shown here as it is (a line break or "
                               "another control character inside a line, or a TAB or \",\" that would "
                               "not be saved back as it came). It is shown read-only, and it cannot be "
                               "saved from here: saving would change that line on the server.")
                    .arg(fileName),
                MsgIcon::Exclamation);
}

ReplyOutcome ServerSession::SendUploadBody(FileKind kind, const EditorSource& source, const QString& notReadText,
                                           const QString& keptText)
{
    // The editors as they stand now, when the server asks for the file.
    const FileEditors editors = View ? View->FileEditorContents(kind) : FileEditors();
    // A save queued earlier may get here after the editors stopped holding that file (a later
    // download failed or was cut short, or the text was edited into something the file cannot
    // carry). Then no body is sent, and closing the connection leaves the server's file as it was.
    const QString refusal = !View                           ? notReadText
                            : source.allowsSaveOf(UploadTarget) ? CheckFileEditors(editors)
                                                                : notReadText;
    if (!refusal.isEmpty()) {
        ShowMessage(refusal + QStringLiteral("\r\n\r\n") + keptText, MsgIcon::Exclamation);
        AbandonScript(ScriptOutcome::Refused, QStringLiteral("the file of %1 was not read completely").arg(UploadTarget));
        RunNextCommand();
        return ReplyOutcome::Stop;
    }
    // The editor shows the line end that the upload adds to a last line without one.
    if (HasAdvancedText(editors.advanced) && !editors.advanced.endsWith(QLatin1Char('\n')))
        View->FileUploadAddedLineEnd(kind);
    SendText(ComposeFileBody(editors, kind == FileKind::MailProc));
    return ReplyOutcome::Continue;
}
