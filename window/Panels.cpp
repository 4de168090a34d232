#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::SetStatus(const QString&)
{
}

void frmMain::SetVersionStatus(const QString&)
{
}

void frmMain::CreatePanels()
{
}

void frmMain::HideAllPanels()
{
}

void frmMain::ShowServerPanel(const QString&)
{
}

void frmMain::ShowDomainPanel(const QString&)
{
}

void frmMain::ShowUserPanel(const QString&)
{
}

void frmMain::ShowCustomDomainPanel()
{
}

void frmMain::ClearServerFields()
{
}

void frmMain::ClearDomainFields()
{
}

void frmMain::ClearUserFields()
{
}

void frmMain::ShowServerVersion()
{
}

void frmMain::FillAliasList()
{
}

void frmMain::ShowUserVars()
{
}

void frmMain::chkHideServerPwd_Click()
{
}

void frmMain::chkHideUserPwd_Click()
{
}

void frmMain::lstAliases_Click()
{
}

void frmMain::lstRedirects_Click()
{
}

void frmMain::lstLRedirects_Click()
{
}

void frmMain::lstPOP3_Click()
{
}

int frmMain::Px(int twips) const
{
    return twips / 15;
}

int frmMain::Twips(int pixels) const
{
    return pixels * 15;
}
