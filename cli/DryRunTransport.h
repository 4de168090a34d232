#pragma once
// The connection of a --dry-run: it reaches no server. It greets, answers every request as a
// server that holds nothing would (an empty list, "+" for a change, "+" for an upload once its
// body has come), and prints each request line it is given to standard output, passwords as ***.
// So a dry run shows exactly the lines the real script would send, and sends none of them.

#include <QByteArray>
#include <QIODevice>

#include "session/Transport.h"

class DryRunTransport : public Transport {
    Q_OBJECT
public:
    explicit DryRunTransport(QObject* parent = nullptr);
    void open(const QString& host, quint16 port) override;
    QIODevice* device() override;
    bool isOpen() const override { return open_; }
    void release(bool discardUnsent) override;

    // A request line as it is printed: the password fields of the login and of the requests that
    // carry one shown as ***.
    static QByteArray Masked(const QByteArray& line, bool loginLine);

private:
    class Device;
    void take(const QByteArray& line);
    void answer(const QByteArray& bytes);
    Device* device_;
    QByteArray pending_;
    bool open_ = false;
    bool loggedIn_ = false;
    bool inUpload_ = false;
};
