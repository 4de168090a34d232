#include "cli/DryRunTransport.h"

#include <QTimer>
#include <cstdio>

class DryRunTransport::Device : public QIODevice {
public:
    explicit Device(DryRunTransport* owner) : QIODevice(owner), owner_(owner) {}
    QByteArray incoming;  // what the "server" answers, not yet read
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return incoming.size() + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, qint64(incoming.size()));
        memcpy(data, incoming.constData(), size_t(n));
        incoming.remove(0, n);
        return n;
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        owner_->pending_.append(data, size);
        qsizetype end;
        while ((end = owner_->pending_.indexOf("\r\n")) >= 0) {
            const QByteArray line = owner_->pending_.left(end);
            owner_->pending_.remove(0, end + 2);
            owner_->take(line);
        }
        return size;
    }

private:
    DryRunTransport* owner_;
};

DryRunTransport::DryRunTransport(QObject* parent) : Transport(parent), device_(new Device(this))
{
    device_->open(QIODevice::ReadWrite);
}

QIODevice* DryRunTransport::device()
{
    return device_;
}

void DryRunTransport::open(const QString&, quint16)
{
    open_ = true;
    QTimer::singleShot(0, this, [this] {
        if (!open_)
            return;
        emit connected();
        answer("+00000 dry run, nothing is sent: Tazel 0.70 (dry run)\r\n");
    });
}

void DryRunTransport::release(bool)
{
    open_ = false;
    deleteLater();
}

void DryRunTransport::answer(const QByteArray& bytes)
{
    device_->incoming += bytes;
    QTimer::singleShot(0, this, [this] {
        if (open_)
            emit readyRead();
    });
}

QByteArray DryRunTransport::Masked(const QByteArray& line, bool loginLine)
{
    QList<QByteArray> fields = line.split('\t');
    // Which field holds a password: the login's second, and per request word its position.
    int secret = -1;
    if (loginLine) {
        secret = 1;
    } else {
        const QByteArray word = fields.value(0);
        if (word == "\"useradd\"" || word == "\"userpasswd\"")
            secret = 3;
        else if (word == "\"poplnkadd\"")
            secret = 5;
    }
    if (secret >= 0 && secret < fields.size())
        fields[secret] = "\"***\"";
    return fields.join('\t');
}

void DryRunTransport::take(const QByteArray& line)
{
    const bool loginLine = !loggedIn_;
    if (inUpload_) {
        std::printf("%s\n", line.constData());
        if (line == ".") {
            inUpload_ = false;
            answer("+00000 OK\r\n");
        }
        return;
    }
    const QByteArray shown = Masked(line, loginLine);
    std::printf("%s\n", shown.constData());
    std::fflush(stdout);
    loggedIn_ = true;
    const QByteArray word = line.split('\t').value(0);
    static const QList<QByteArray> lists = {"\"domainlist\"",   "\"custdomlist\"",  "\"userlist\"",
                                            "\"mluserlist\"",   "\"aliaslist\"",    "\"uservars\"",
                                            "\"usergetmproc\"", "\"poplnklist\"",   "\"custdomget\""};
    if (lists.contains(word)) {
        answer("+00000 OK\r\n.\r\n");
    } else if (word == "\"custdomset\"" || word == "\"usersetmproc\"") {
        inUpload_ = true;
        answer("+00000 send the file\r\n");
    } else {
        answer("+00000 OK\r\n");
    }
}
