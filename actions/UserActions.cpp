#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::cmdAddUser_Click()
{
}

void frmMain::cmdDeleteUser_Click()
{
}

void frmMain::cmdSavePassword_Click()
{
}

void frmMain::cmdAddListUser_Click()
{
}

void frmMain::cmdDeleteListUser_Click()
{
}
