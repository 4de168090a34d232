#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::BuildServerTree()
{
}

void frmMain::AddDomainsToTree(const QString&)
{
}

void frmMain::AddCustomDomainsToTree(const QString&)
{
}

void frmMain::AddUsersToTree(const QString&)
{
}

void frmMain::RemoveChildNodes(const QModelIndex&)
{
}

int frmMain::NodeLevel(const QModelIndex&) const
{
    return 0;
}

QModelIndex frmMain::NodeByKey(const QString&) const
{
    return {};
}

QString frmMain::NodeKey(const QModelIndex&) const
{
    return {};
}

QString frmMain::NodeText(const QModelIndex&) const
{
    return {};
}

QString frmMain::NodeTag(const QModelIndex&) const
{
    return {};
}

void frmMain::SetNodeTag(const QModelIndex&, const QString&)
{
}

QString frmMain::DomainNodeKey(const QString&, const QString&)
{
    return {};
}

QString frmMain::CustomDomainNodeKey(const QString&, const QString&)
{
    return {};
}

QString frmMain::AccountNodeKey(const QString&, const QString&)
{
    return {};
}
