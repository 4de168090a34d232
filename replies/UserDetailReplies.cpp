#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

ReplyOutcome frmMain::HandleAliasListLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleUserVarsLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleUserGetMprocLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleUserSetMprocLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandlePop3ListLine(const QString&)
{
    return ReplyOutcome::Stop;
}
