#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

ReplyOutcome frmMain::HandleUserListLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleMlUserListLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleGetUserLine(const QString&)
{
    return ReplyOutcome::Stop;
}
