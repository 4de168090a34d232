#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::QueueSaveCustomDomain()
{
}

void frmMain::cmdAddDomain_Click()
{
}

void frmMain::cmdRemoveDomain_Click()
{
}

void frmMain::cmdRemoveCustDomain_Click()
{
}

void frmMain::cmdAddDomainRedirect_Click()
{
}

void frmMain::cmdAddDomainLredirect_Click()
{
}

void frmMain::cmdDeleteDomainRedirect_Click()
{
}

void frmMain::cmdDeleteDomainLredirect_Click()
{
}

void frmMain::cmdSaveDomainAdvanced_Click()
{
}
