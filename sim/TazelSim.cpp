#include "sim/TazelSim.h"

#include <QFile>
#include <QHostAddress>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>

#include "protocol/Protocol.h"
#include "sim/SimCommands.h"

static void InitSampleResource()
{
    Q_INIT_RESOURCE(sim);
}

// One client connection: cuts the incoming bytes into lines, answers each, and sends the replies
// one after the other, each shaped by the faults in force when it was made.
class SimConnection : public QObject {
public:
    SimConnection(TazelSim* sim, QTcpSocket* socket) : QObject(sim), sim_(sim), socket_(socket)
    {
        socket_->setParent(this);
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket_, &QTcpSocket::readyRead, this, &SimConnection::readIncoming);
        connect(socket_, &QTcpSocket::disconnected, this, [this] {
            if (inBody_ && sim_->recording)
                ++sim_->uploadsCutShort;
            closing_ = true;
            emit sim_->clientClosed();
            deleteLater();
        });
    }

    void greet()
    {
        const QString key = QStringLiteral("<greeting>");
        if (Matches(sim_->faults.silentCommand, key))
            return;
        if (Matches(sim_->faults.refuseCommand, key))
            return send(key, SimReply::Refused);
        send(key, Scripted(key, SimGreeting(sim_->version, sim_->timestamp, sim_->platform)));
    }

    // Ends the connection without a word to anyone: the simulator is going away.
    void dropQuietly()
    {
        disconnect(socket_, nullptr, this, nullptr);
        socket_->abort();
    }

private:
    struct Outgoing {
        QByteArray bytes;
        int delayMs = 0;
        int chunkSize = 0;
        int splitAt = -1;
        int closeAfter = -1;  // -1: stay open
    };

    static bool Matches(const QString& faultWord, const QString& key)
    {
        return !faultWord.isEmpty() && faultWord.compare(key, Qt::CaseInsensitive) == 0;
    }

    QByteArray Scripted(const QString& key, const QByteArray& normal) const
    {
        const auto& scripted = sim_->faults.scriptedReplies;
        if (key == QLatin1String("<login>") && scripted.contains(QString()))
            return scripted.value(QString());
        for (auto it = scripted.cbegin(); it != scripted.cend(); ++it)
            if (Matches(it.key(), key))
                return it.value();
        return normal;
    }

    void readIncoming()
    {
        const QByteArray data = socket_->readAll();
        if (sim_->recording)
            sim_->receivedBytes += data;
        inbox_ += data;
        qsizetype start = 0;
        for (;;) {
            const qsizetype end = inbox_.indexOf("\r\n", start);
            if (end < 0)
                break;
            const QByteArray line = inbox_.mid(start, end - start);
            start = end + 2;
            if (sim_->recording)
                sim_->received.append(line);
            emit sim_->lineReceived(line);
            if (!closing_)
                handleLine(line);
        }
        inbox_.remove(0, start);
    }

    void handleLine(const QByteArray& line)
    {
        const SimFaults& f = sim_->faults;
        if (!loggedIn_) {
            // Until the administrator is in, every line is a login attempt.
            const QString key = QStringLiteral("<login>");
            if (Matches(f.silentCommand, key))
                return;
            if (Matches(f.refuseCommand, key))
                return send(key, SimReply::Refused);
            loggedIn_ = SimLoginAccepted(ParseRequestFields(line), sim_->adminLogin, sim_->adminPassword,
                                         sim_->timestamp, LeadingNumber(sim_->version));
            return send(key, Scripted(key, loggedIn_ ? SimReply::Ok : SimReply::LoginFailed));
        }
        if (inBody_) {
            if (line != ".") {
                body_.append(line);
                return;
            }
            inBody_ = false;
            const QString key = (upload_.kind == SimUpload::CustomDomain ? QStringLiteral("custdomset")
                                                                        : QStringLiteral("usersetmproc")) +
                                QStringLiteral(" sent");
            const QList<QByteArray> body = std::exchange(body_, {});
            if (sim_->recording)
                sim_->uploadBodies.append(body);
            if (Matches(f.silentCommand, key))
                return;
            if (Matches(f.refuseCommand, key))
                return send(key, SimReply::Refused);
            return send(key, Scripted(key, FinishSimUpload(sim_->state, upload_, body)));
        }

        const QStringList fields = ParseRequestFields(line);
        const QString key = fields.value(0).toLower();
        if (Matches(f.silentCommand, key))
            return;
        if (Matches(f.refuseCommand, key))
            return send(key, SimReply::Refused);
        SimUpload upload;
        QByteArray reply = Scripted(key, RunSimCommand(sim_->state, LeadingNumber(sim_->version), fields, &upload));
        if (Matches(f.malformedCommand, key) && IsSimListCommand(key) && reply.startsWith('+')) {
            const qsizetype headEnd = reply.indexOf("\r\n");
            const QByteArray odd = f.malformedLine.isNull() ? SimMalformedLine(key) : f.malformedLine + "\r\n";
            reply.insert(headEnd < 0 ? reply.size() : headEnd + 2, odd.repeated(qMax(0, f.malformedCount)));
        }
        if (Matches(f.minusInsideCommand, key) && IsSimListCommand(key) && reply.startsWith('+')) {
            // Past the "+" line and that many data lines, the reply ends in a refusal.
            qsizetype cut = reply.indexOf("\r\n");
            for (int i = 0; cut >= 0 && i < f.minusAfterLines; ++i) {
                const qsizetype next = reply.indexOf("\r\n", cut + 2);
                if (next < 0 || reply.mid(cut + 2, next - cut - 2) == ".")
                    break;
                cut = next;
            }
            if (cut >= 0)
                reply = reply.left(cut + 2) + SimReply::Refused;
        }
        if (upload.kind != SimUpload::None && reply.startsWith('+')) {
            inBody_ = true;
            upload_ = upload;
        }
        send(key, reply);
    }

    void send(const QString& key, const QByteArray& bytes)
    {
        const SimFaults& f = sim_->faults;
        if (sim_->recording)
            sim_->replySizes[key] = bytes.size();
        Outgoing out;
        out.bytes = bytes;
        out.delayMs = f.delayMs;
        out.chunkSize = f.chunkSize;
        out.splitAt = f.splitAt;
        if (Matches(f.closeOnCommand, key))
            out.closeAfter = qMax(0, f.closeAfterBytes);
        outbox_.push_back(std::move(out));
        pump();
    }

    // Replies go out strictly one after the other, each after its own delay.
    void pump()
    {
        if (busy_ || closing_ || outbox_.empty())
            return;
        busy_ = true;
        current_ = std::move(outbox_.front());
        outbox_.pop_front();
        if (current_.delayMs > 0)
            QTimer::singleShot(current_.delayMs, this, [this] { startReply(); });
        else
            startReply();
    }

    void startReply()
    {
        if (closing_)
            return;
        if (current_.closeAfter >= 0)
            current_.bytes.truncate(current_.closeAfter);
        offset_ = 0;
        writePiece();
    }

    void writePiece()
    {
        if (closing_)
            return;
        const qsizetype size = current_.bytes.size();
        qsizetype length = size - offset_;
        if (current_.chunkSize > 0)
            length = qMin<qsizetype>(length, current_.chunkSize);
        else if (offset_ == 0 && current_.splitAt > 0 && current_.splitAt < size)
            length = current_.splitAt;
        if (length > 0) {
            socket_->write(length == size ? current_.bytes : current_.bytes.mid(offset_, length));
            offset_ += length;
        }
        if (offset_ < size) {
            // Push this piece out and give the event loop a turn, so that it arrives on its own.
            socket_->flush();
            QTimer::singleShot(1, Qt::PreciseTimer, this, [this] { writePiece(); });
            return;
        }
        busy_ = false;
        if (current_.closeAfter >= 0) {
            closing_ = true;
            outbox_.clear();
            socket_->disconnectFromHost();  // what was written still goes out first
            return;
        }
        pump();
    }

    TazelSim* sim_;
    QTcpSocket* socket_;
    QByteArray inbox_;
    bool loggedIn_ = false;
    bool inBody_ = false;
    SimUpload upload_;
    QList<QByteArray> body_;
    std::deque<Outgoing> outbox_;
    Outgoing current_;
    qsizetype offset_ = 0;
    bool busy_ = false;
    bool closing_ = false;
};

TazelSim::TazelSim(QObject* parent) : QObject(parent), server_(new QTcpServer(this))
{
    connect(server_, &QTcpServer::newConnection, this, &TazelSim::acceptConnections);
}

TazelSim::~TazelSim()
{
    // The connections must not report to a simulator whose members are already gone.
    for (const QPointer<SimConnection>& c : std::as_const(open_)) {
        if (c) {
            c->dropQuietly();
            delete c.data();
        }
    }
}

bool TazelSim::listen(quint16 port)
{
    return server_->listen(QHostAddress::LocalHost, port);
}

quint16 TazelSim::port() const
{
    return server_->serverPort();
}

void TazelSim::acceptConnections()
{
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        ++connections;
        auto* c = new SimConnection(this, socket);
        open_.removeIf([](const QPointer<SimConnection>& p) { return p.isNull(); });
        open_.append(c);
        c->greet();
    }
}

void TazelSim::loadSample()
{
    InitSampleResource();
    QFile file(QStringLiteral(":/sim/sample.tzs"));
    QString error;
    SimState sample;
    if (!file.open(QIODevice::ReadOnly) || !ParseSimState(QString::fromUtf8(file.readAll()), &sample, &error))
        qFatal("the built-in sample data cannot be read: %s", qPrintable(error));
    state = std::move(sample);
}

bool TazelSim::loadFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QString why;
    if (!ParseSimState(QString::fromUtf8(file.readAll()), &state, &why)) {
        if (error)
            *error = path + QStringLiteral(", ") + why;
        return false;
    }
    return true;
}

bool TazelSim::saveFile(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(SimStateText(state).toUtf8()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void TazelSim::clearRecord()
{
    received.clear();
    receivedBytes.clear();
    replySizes.clear();
    uploadBodies.clear();
    uploadsCutShort = 0;
}
