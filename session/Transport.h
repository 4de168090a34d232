#pragma once
// The byte stream a session talks to its server over: a TCP connection, or a channel through SSH.
//
// The session reads and writes the stream as it would a socket. A transport reports the far side's
// events only: once the session lets go of it (release), it says nothing more, so our own close is
// never taken for the server's.

#include <QObject>
#include <QString>

class QIODevice;

class Transport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Transport() override = default;

    // Starts connecting to the control server at host and port; connected() or failed() follow
    // (either may come before open() returns).
    virtual void open(const QString& host, quint16 port) = 0;
    // The stream once connected: read, bytesAvailable, write.
    virtual QIODevice* device() = 0;
    // Connecting or connected, and not yet released or closed.
    virtual bool isOpen() const = 0;
    // Lets the connection go and emits nothing more: with discardUnsent what is still buffered for
    // sending is dropped, otherwise it goes out first. The transport deletes itself later.
    virtual void release(bool discardUnsent) = 0;
    // How the far end is reached, for messages: "" for a plain connection, "through SSH host H".
    virtual QString route() const { return QString(); }

signals:
    void connected();
    void readyRead();
    // The server (or whatever stands between) closed the stream.
    void closed();
    // The connection failed: an error number administrators know and a description.
    void failed(int number, const QString& description);
};

// The plain connection.
class TcpTransport : public Transport {
    Q_OBJECT
public:
    explicit TcpTransport(QObject* parent = nullptr);
    void open(const QString& host, quint16 port) override;
    QIODevice* device() override;
    bool isOpen() const override;
    void release(bool discardUnsent) override;

private:
    class QTcpSocket* socket_;
    bool released_ = false;
};
