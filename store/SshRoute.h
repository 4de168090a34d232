#pragma once
// The SSH host a server's control port is reached through, as its record keeps it. With no host the
// connection is plain TCP; with one, the record's own address and port are reached from that host.

#include <QString>

struct SshRoute {
    QString host;
    QString port;      // 22 when empty
    QString user;      // the user's own (or ~/.ssh/config's) when empty
    QString identity;  // a key file; the agent's and the configured keys when empty

    bool isSet() const { return !host.trimmed().isEmpty(); }
};
