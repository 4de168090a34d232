#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::QueueScriptHead(const QString&, bool)
{
}

void frmMain::QueueLoadDomains(const QString&, bool)
{
}

void frmMain::QueueLoadUsers(const QString&, bool)
{
}

void frmMain::QueueLoadCustomDomain(const QString&)
{
}

void frmMain::QueueLoadAccount(const QString&)
{
}

bool frmMain::CheckSendable(const QStringList&)
{
    return false;
}
