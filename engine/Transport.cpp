#include "engine/Transport.h"

#include <QTcpSocket>

TcpTransport::TcpTransport(QObject* parent) : Transport(parent), socket_(new QTcpSocket(this))
{
    // The reader takes bytes as it reads; beyond 1 MiB not yet taken, the rest of a long reply
    // waits with the server (TCP holds it back) instead of piling up here.
    socket_->setReadBufferSize(1 << 20);
    connect(socket_, &QTcpSocket::connected, this, [this] {
        if (!released_)
            emit connected();
    });
    connect(socket_, &QTcpSocket::readyRead, this, [this] {
        if (!released_)
            emit readyRead();
    });
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        if (!released_)
            emit closed();
    });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (released_ || error == QAbstractSocket::RemoteHostClosedError)
            return;  // the server's close is the close event, not an error
        emit failed(10000 + int(error), socket_->errorString());
    });
}

void TcpTransport::open(const QString& host, quint16 port)
{
    socket_->connectToHost(host.trimmed(), port);
}

QIODevice* TcpTransport::device()
{
    return socket_;
}

bool TcpTransport::isOpen() const
{
    return !released_ && socket_->state() != QAbstractSocket::UnconnectedState;
}

void TcpTransport::release(bool discardUnsent)
{
    if (released_)
        return;
    released_ = true;
    if (discardUnsent)
        socket_->abort();
    else
        socket_->close();
    deleteLater();
}
