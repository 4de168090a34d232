#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::ReadReplyLines()
{
}

ReplyOutcome frmMain::HandleReplyLine(const QString&)
{
    return ReplyOutcome::Stop;
}

void frmMain::ReportErrorReply(const QString&, const QString&)
{
}

ReplyOutcome frmMain::HandleDefaultLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleQuitLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleListLine(const QString&, const QString&, const std::function<void(const QString&)>&, const std::function<void()>&)
{
    return ReplyOutcome::Stop;
}

void frmMain::ReportMalformedLine(const QString&)
{
}
