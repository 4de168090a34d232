#include "cli/ServerChoice.h"

#include <QCoreApplication>
#include <algorithm>
#include <optional>

#include "cli/Output.h"
#include "protocol/Protocol.h"
#include "store/KeyringPasswords.h"
#include "store/RecordPasswords.h"
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

std::unique_ptr<QSettings> OpenStoredServers(QList<StoredServer>* servers)
{
    auto settings = OpenUserSettings();
    QString error;
    if (ListStoredServers(*settings, servers, &error))
        return settings;
    Err(error);
    return nullptr;
}

bool StoredServerLogin(QSettings& settings, const StoredServer& server, ServerLogin* login, QString* error,
                       int* exitCode)
{
    login->host = server.address;
    login->port = server.port;
    login->login = server.login;
    login->ssh = ReadSshRoute(settings, server.section);
    // A record kept in the settings file answers at once; the keyring's answer comes through the
    // event loop, which runs here until it has.
    KeyringPasswords keyring;
    RecordPasswords records(settings, &keyring);
    std::optional<PasswordResult> answer;
    records.read(server.section, [&answer](const PasswordResult& r) { answer = r; });
    while (!answer)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (answer->ok()) {
        login->password = answer->password;
        return true;
    }
    *error = QStringLiteral("The password of the server %1 could not be read: %2.")
                 .arg(server.name, KeyringProblemText(*answer));
    // A keyring that is there but keeps the password from us is a refusal; one that does not answer
    // leaves the server out of reach.
    switch (answer->kind) {
    case PasswordResult::Locked:
    case PasswordResult::Refused:
    case PasswordResult::NotFound: *exitCode = 77; break;
    default: *exitCode = 69; break;
    }
    return false;
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
