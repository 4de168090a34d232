#include "window/frmMain.h"

// Placeholder definitions; replaced by the real routines.

void frmMain::QueueCommand(const QString&)
{
}

void frmMain::QueueArgument(const QString&)
{
}

void frmMain::QueueEndMarker()
{
}

void frmMain::QueueConnect(const QString&, const QString&)
{
}

QueueEntry frmMain::NextCommand()
{
    return {};
}

QString frmMain::NextArgument()
{
    return {};
}

int frmMain::CountScripts() const
{
    return 0;
}

void frmMain::StartQueue()
{
}

void frmMain::RunNextCommand()
{
}

void frmMain::CloseConnection()
{
}

void frmMain::SendText(const QByteArray&)
{
}

bool frmMain::SendRequest(const QString&, const QStringList&)
{
    return false;
}

bool frmMain::SocketOpen() const
{
    return false;
}

void frmMain::TcpConnection_Connect()
{
}

void frmMain::TcpConnection_DataArrival()
{
}

void frmMain::TcpConnection_Close()
{
}

void frmMain::TcpConnection_Error(int, const QString&)
{
}

bool frmMain::RunOneEntry()
{
    return false;
}

bool frmMain::IsStopEntry(const QueueEntry&) const
{
    return false;
}

void frmMain::OpenConnection(const QString&, const QString&)
{
}

void frmMain::WireSocket(QTcpSocket*)
{
}
