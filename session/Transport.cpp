#include "session/Transport.h"

#include <QTcpSocket>

// The numbers administrators know from their systems' socket errors.
static int ErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::RemoteHostClosedError: return 10053;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10055;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::NetworkError: return 10050;
    case QAbstractSocket::AddressInUseError: return 10048;
    default: return 10000 + int(error);
    }
}

TcpTransport::TcpTransport(QObject* parent) : Transport(parent), socket_(new QTcpSocket(this))
{
    // The reader takes bytes as it reads (64 KiB at a time); beyond 1 MiB not yet taken, the rest
    // of a long reply waits with the server (TCP holds it back) instead of piling up here.
    socket_->setReadBufferSize(1 << 20);
    connect(socket_, &QTcpSocket::connected, this, &Transport::connected);
    connect(socket_, &QTcpSocket::readyRead, this, &Transport::readyRead);
    connect(socket_, &QTcpSocket::disconnected, this, &Transport::closed);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            return;  // the server's close is the close event, not an error
        emit failed(ErrorNumber(error), socket_->errorString());
    });
}

void TcpTransport::open(const QString& host, quint16 port)
{
    socket_->connectToHost(host, port);
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
    socket_->disconnect(this);  // our own close is no close event
    disconnect();               // and nobody hears of this transport again
    if (discardUnsent)
        socket_->abort();
    else
        socket_->close();
    deleteLater();
}
