#pragma once
// A simulated Tazel mail server speaking the control protocol on 127.0.0.1: the program's peer in
// tests, benchmarks and the demo. It greets, checks the administrator login (MD5 or plain form),
// serves every command against the state in memory, records every line it receives, and can be
// told to misbehave in the ways a distant or faulty server does (see SimFaults).
//
// Everything runs on the thread's event loop; nothing here sleeps.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

#include "sim/SimState.h"

class QTcpServer;
class SimConnection;

// Ways to misbehave, all off by default. Command words are compared without regard to case. Besides
// the command words, "<greeting>" names the greeting, "<login>" the reply to the login line, and
// "custdomset sent" / "usersetmproc sent" the reply after an upload's body.
struct SimFaults {
    int delayMs = 0;        // wait this long before each reply (a timer, never a sleep)
    int chunkSize = 0;      // deliver every reply in pieces of this many bytes, one event-loop turn apart
    int splitAt = -1;       // deliver every reply in two writes, the first this many bytes long
    QString closeOnCommand; // close the connection after closeAfterBytes bytes of this reply
    int closeAfterBytes = -1;  // 0 (or less): close at once without replying
    QString refuseCommand;  // answer this command with a "-" line (and do nothing)
    QString malformedCommand;  // put a data line with a wrong number of fields first in this list
    int malformedCount = 1;    // ... that many of them, one after the other
    QByteArray malformedLine;  // ... this line (without CR LF) instead, such as an account of kind "UM"
    // Break off this list's (or download's) reply with a "-" line after its "+" and the first
    // minusAfterLines data lines: the rest of the reply, its "." too, is never sent.
    QString minusInsideCommand;
    int minusAfterLines = 0;
    QString silentCommand;  // never answer this command (and do nothing)
    // Exact bytes to send instead of the reply to a command (it is still carried out); the key
    // "" (or "<login>") stands for the login line, "<greeting>" for the greeting.
    QMap<QString, QByteArray> scriptedReplies;
};

class TazelSim : public QObject {
    Q_OBJECT
public:
    explicit TazelSim(QObject* parent = nullptr);
    ~TazelSim() override;

    bool listen(quint16 port = 0);  // on 127.0.0.1; 0 = any free port
    quint16 port() const;

    // Greeting and login.
    QString version = QStringLiteral("0.70");
    QString timestamp = QStringLiteral("<1896.697170952@sim.tazel>");  // empty: the greeting has none
    QString platform = QStringLiteral("(Linux)");                      // empty: the greeting has none
    QString adminLogin = QStringLiteral("admin");
    QString adminPassword = QStringLiteral("secret");

    SimState state;
    void loadSample();
    bool loadFile(const QString& path, QString* error = nullptr);
    bool saveFile(const QString& path, QString* error = nullptr) const;

    SimFaults faults;

    // The recorder, for tests: on by default in-process, off in the tazel-sim program, so a long
    // demo does not grow without end.
    bool recording = true;
    QList<QByteArray> received;  // every line received (without CR LF), in order, over all connections
    QByteArray receivedBytes;    // everything received, raw
    QMap<QString, qsizetype> replySizes;  // the size of the last reply to each command (by fault key)
    QList<QList<QByteArray>> uploadBodies;  // each whole upload body received, without its "."
    int uploadsCutShort = 0;     // connections that ended in the middle of an upload body
    int connections = 0;         // connections accepted so far
    void clearRecord();          // empties the record above

signals:
    void lineReceived(const QByteArray& line);
    void clientClosed();  // a connection ended, whichever side closed it

private:
    friend class SimConnection;
    void acceptConnections();

    QTcpServer* server_ = nullptr;
    QList<QPointer<SimConnection>> open_;
};
