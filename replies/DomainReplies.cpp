#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.


ReplyOutcome frmMain::HandleDomainListLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleCustDomListLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleCustDomGetLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleCustDomSetLine(const QString&)
{
    return ReplyOutcome::Stop;
}

ReplyOutcome frmMain::HandleDomainDelLine(const QString&)
{
    return ReplyOutcome::Stop;
}
