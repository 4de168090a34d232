#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::Form_Load()
{
}

void frmMain::Form_Resize()
{
}

void frmMain::Form_Unload()
{
}

void frmMain::resizeEvent(QResizeEvent*)
{
}

void frmMain::closeEvent(QCloseEvent*)
{
}
