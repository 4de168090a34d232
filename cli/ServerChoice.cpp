#include "cli/ServerChoice.h"

#include <algorithm>

#include "engine/Protocol.h"
#include "store/ServerStore.h"

bool ListStoredServers(QSettings& settings, QList<StoredServer>* servers, QString* error)
{
    if (!CheckSettingsReadable(settings)) {
        *error = QStringLiteral("The settings store %1 cannot be read.").arg(settings.fileName());
        return false;
    }
    // A count that is not a number reads as no servers; slots run from 1 to 32767, as in the tree.
    const int count = std::clamp(
        ReadWholeNumber(ReadSetting(settings, Store::ServersSection, Store::ServerCountKey, QStringLiteral("0")), 0),
        0, Store::MaxSlot);
    for (int slot = 1; slot <= count; ++slot) {
        const QString section = ServerSection(slot);
        if (!ReadTruth(ReadSetting(settings, section, Store::ActiveKey)))
            continue;
        StoredServer s;
        s.section = section;
        s.name = ReadSetting(settings, section, Store::NameKey);
        s.address = GetServerAddress(settings, section);
        s.port = ReadSetting(settings, section, Store::PortKey);
        s.login = ReadSetting(settings, section, Store::LoginKey);
        servers->append(s);
    }
    std::stable_sort(servers->begin(), servers->end(), [](const StoredServer& a, const StoredServer& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return true;
}

ServerLogin StoredServerLogin(QSettings& settings, const StoredServer& server)
{
    ServerLogin login;
    login.host = server.address;
    login.port = server.port;
    login.login = server.login;
    login.password = ReadServerPassword(settings, server.section);
    return login;
}

bool ParseHostPort(const QString& text, QString* host, QString* port)
{
    QString h = text.trimmed();
    QString p;
    if (h.startsWith(QLatin1Char('['))) {
        const int close = h.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        p = h.mid(close + 1);
        h = h.mid(1, close - 1);
        if (!p.isEmpty() && !p.startsWith(QLatin1Char(':')))
            return false;
        p = p.mid(1);
    } else if (h.count(QLatin1Char(':')) == 1) {
        p = h.section(QLatin1Char(':'), 1);
        h = h.section(QLatin1Char(':'), 0, 0);
    }
    if (h.isEmpty())
        return false;
    if (!p.isEmpty()) {
        bool ok = false;
        const int n = p.toInt(&ok);
        if (!ok || n < 1 || n > 65535)
            return false;
    }
    *host = h;
    *port = p.isEmpty() ? QString::number(Wire::DefaultPort) : p;
    return true;
}
