#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::cmdPrintUserList_Click()
{
}
