#pragma once
// Which server tazelctl talks to: a stored record (the window's own, from the same settings store)
// or one named on the command line with --host.

#include <QList>
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

#include "session/Scripts.h"

struct StoredServer {
    QString section;  // "serverN"
    QString name;
    QString address;
    QString port;
    QString login;
};

// Every active record, in the order the tree shows them. False when the store cannot be read.
bool ListStoredServers(QSettings& settings, QList<StoredServer>* servers, QString* error);
// The user's settings store, with its active records in *servers; null when the store cannot be
// read (which is said on standard error).
std::unique_ptr<QSettings> OpenStoredServers(QList<StoredServer>* servers);

// The one place where tazelctl gets a stored server's password and route: the password from the
// system keyring for a record kept there (waiting for its answer), otherwise the record's own
// scrambled one; the route is the record's SSH route, or the plain connection. False, with the
// message and the exit code, when the password cannot be had.
bool StoredServerLogin(QSettings& settings, const StoredServer& server, ServerLogin* login, QString* error,
                       int* exitCode);

// "HOST" or "HOST:PORT" ("[v6]:PORT" for an IPv6 address); false when the port is not 1 to 65535.
bool ParseHostPort(const QString& text, QString* host, QString* port);
