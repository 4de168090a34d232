#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::SaveServerRecord(const QString&)
{
}

void frmMain::cmdAddServer_Click()
{
}

void frmMain::cmdUpdateServer_Click()
{
}

void frmMain::cmdRemoveServer_Click()
{
}
