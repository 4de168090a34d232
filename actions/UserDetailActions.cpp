#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::QueueSaveMailProc()
{
}

void frmMain::cmdAddAlias_Click()
{
}

void frmMain::cmdDeleteAlias_Click()
{
}

void frmMain::cmdSaveUserVars_Click()
{
}

void frmMain::cmdSaveAdvanced_Click()
{
}

void frmMain::cmdAddRedirect_Click()
{
}

void frmMain::cmdDeleteRedirect_Click()
{
}

void frmMain::cmdAddLRedirect_Click()
{
}

void frmMain::cmdDeleteLRedirect_Click()
{
}

void frmMain::cmdAddPOP3_Click()
{
}

void frmMain::cmdDeletePOP3_Click()
{
}
