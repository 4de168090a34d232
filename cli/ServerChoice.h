#pragma once
// Which server tazelctl talks to: a stored record (the window's own, from the same settings store)
// or one named on the command line with --host.

#include <QList>
#include <QSettings>
#include <QString>
#include <optional>

#include "engine/Scripts.h"

struct StoredServer {
    QString section;  // "serverN"
    QString name;
    QString address;
    QString port;
    QString login;
};

// Every active record, in the order the tree shows them. False when the store cannot be read.
bool ListStoredServers(QSettings& settings, QList<StoredServer>* servers, QString* error);

// The one place where tazelctl gets a stored server's password and route: from the record's own
// scrambled password and its plain connection today. Keyring passwords and SSH routes plug in here.
ServerLogin StoredServerLogin(QSettings& settings, const StoredServer& server);

// "HOST" or "HOST:PORT" ("[v6]:PORT" for an IPv6 address); false when the port is not 1 to 65535.
bool ParseHostPort(const QString& text, QString* host, QString* port);
