#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::DomainList_Expand(const QModelIndex&)
{
}

void frmMain::DomainList_NodeClick(const QModelIndex&)
{
}

void frmMain::ShowServerOfNode(const QModelIndex&, bool)
{
}

void frmMain::ShowDomainOfNode(const QModelIndex&, bool)
{
}

void frmMain::FillServerFields(const QString&)
{
}
