#include "session/PlanView.h"

#include "session/ServerSession.h"

void PlanView::ShowMessage(const QString& text, MsgIcon)
{
    if (messages.isEmpty())
        failedCommand = session_.CurrentCommand;
    messages << text;
}

FileEditors PlanView::FileEditorContents(FileKind kind) const
{
    return uploads[int(kind)].value(session_.UploadTarget);
}
