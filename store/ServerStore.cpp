#include "store/ServerStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <vector>

std::unique_ptr<QSettings> OpenUserSettings()
{
    auto s = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                         Store::Application, Store::Application);
    // Create the folder owner-only before the first write, so the file is never readable by others
    // even for the moment between its atomic replacement and the permissions set after it.
    const QString dir = QFileInfo(s->fileName()).absolutePath();
    if (!QFileInfo::exists(dir)) {
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return s;
}

QString ReadSetting(QSettings& s, const QString& section, const QString& key, const QString& fallback)
{
    const QVariant v = s.value(section + QLatin1Char('/') + key);
    if (!v.isValid())
        return fallback;
    // A hand-written value with a comma reads back as a list: give it back as the text it was.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1String(", "));
    return v.toString();
}

// Set on a store that could not be read: writing it would replace records the program never saw.
static const char* const UnreadableProperty = "tazelStoreUnreadable";

bool CheckSettingsReadable(QSettings& s)
{
    s.childGroups();  // makes sure the file has been read
    const QFileInfo file(s.fileName());
    const bool readable = s.status() == QSettings::NoError && (!file.exists() || (file.isFile() && file.isReadable()));
    if (!readable)
        s.setProperty(UnreadableProperty, true);
    return readable;
}

bool SettingsWritable(const QSettings& s)
{
    if (s.property(UnreadableProperty).toBool())
        return false;
    // A file made read-only is left so; it is never made writable behind the user's back.
    const QFileInfo file(s.fileName());
    return !file.exists() || (file.isFile() && file.isWritable());
}

bool WriteSetting(QSettings& s, const QString& section, const QString& key, const QString& value)
{
    if (!SettingsWritable(s))
        return false;
    s.setValue(section + QLatin1Char('/') + key, value);
    return FlushSettings(s);
}

bool FlushSettings(QSettings& s)
{
    if (!SettingsWritable(s))
        return false;
    s.sync();
    if (s.status() != QSettings::NoError)
        return false;
    if (QFile::exists(s.fileName()))
        QFile::setPermissions(s.fileName(), QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString ServerSection(int slot)
{
    return Store::ServerSectionPrefix + QString::number(slot);
}

bool DeleteServerRecord(QSettings& s, const QString& section)
{
    if (!SettingsWritable(s))
        return false;
    s.remove(section);
    return FlushSettings(s);
}

QString GetServerAddress(QSettings& s, const QString& section)
{
    const QString address = ReadSetting(s, section, Store::AddressKey);
    if (address.trimmed().isEmpty())
        return ReadSetting(s, section, Store::NameKey);
    return address;
}

static QString StoredPassword(const QString& password)
{
    return Store::SecureMarker + ScramblePassword(password);
}

bool WriteServerRecord(QSettings& s, const QString& section, const ServerRecord& record, bool passwordInKeyring)
{
    if (!SettingsWritable(s))
        return false;
    const QString prefix = section + QLatin1Char('/');
    s.setValue(prefix + Store::NameKey, record.name);
    s.setValue(prefix + Store::AddressKey, record.address);
    s.setValue(prefix + Store::PortKey, record.port);
    s.setValue(prefix + Store::LoginKey, record.login);
    if (passwordInKeyring) {
        s.setValue(prefix + Store::PasswordKey, QString());
        s.setValue(prefix + Store::PasswordStoreKey, Store::KeyringStoreValue);
    } else {
        s.setValue(prefix + Store::PasswordKey, StoredPassword(record.password));
        s.remove(prefix + Store::PasswordStoreKey);
    }
    s.setValue(prefix + Store::ActiveKey, QStringLiteral("True"));
    return FlushSettings(s);
}

bool PasswordInKeyring(QSettings& s, const QString& section)
{
    return ReadSetting(s, section, Store::PasswordStoreKey).trimmed().compare(Store::KeyringStoreValue,
                                                                              Qt::CaseInsensitive) == 0;
}

bool MarkPasswordInKeyring(QSettings& s, const QString& section)
{
    if (!SettingsWritable(s))
        return false;
    const QString prefix = section + QLatin1Char('/');
    s.setValue(prefix + Store::PasswordKey, QString());
    s.setValue(prefix + Store::PasswordStoreKey, Store::KeyringStoreValue);
    return FlushSettings(s);
}

QStringList ServerRecordSections(QSettings& s)
{
    std::vector<std::pair<int, QString>> numbered;
    for (const QString& group : s.childGroups()) {
        if (!group.startsWith(Store::ServerSectionPrefix))
            continue;
        bool ok = false;
        const int slot = group.mid(Store::ServerSectionPrefix.size()).toInt(&ok);
        if (ok && slot >= 1 && ServerSection(slot) == group)
            numbered.emplace_back(slot, group);
    }
    std::sort(numbered.begin(), numbered.end());
    QStringList out;
    for (const auto& [slot, group] : numbered)
        out << group;
    return out;
}

SshRoute ReadSshRoute(QSettings& s, const QString& section)
{
    SshRoute route;
    route.host = ReadSetting(s, section, Store::SshHostKey).trimmed();
    route.port = ReadSetting(s, section, Store::SshPortKey).trimmed();
    route.user = ReadSetting(s, section, Store::SshUserKey).trimmed();
    route.identity = ReadSetting(s, section, Store::SshIdentityKey).trimmed();
    return route;
}

bool WriteSshRoute(QSettings& s, const QString& section, const SshRoute& route)
{
    if (!SettingsWritable(s))
        return false;
    const QString prefix = section + QLatin1Char('/');
    const std::pair<const QString&, QString> values[] = {
        {Store::SshHostKey, route.host.trimmed()},
        {Store::SshPortKey, route.port.trimmed()},
        {Store::SshUserKey, route.user.trimmed()},
        {Store::SshIdentityKey, route.identity.trimmed()},
    };
    // A record without SSH holds none of the keys, as records written before them.
    for (const auto& [key, value] : values) {
        if (route.isSet() && !value.isEmpty())
            s.setValue(prefix + key, value);
        else
            s.remove(prefix + key);
    }
    return FlushSettings(s);
}

bool StoreServerPassword(QSettings& s, const QString& section, const QString& password)
{
    return WriteSetting(s, section, Store::PasswordKey, StoredPassword(password));
}

QString ReadServerPassword(QSettings& s, const QString& section)
{
    const QString stored = ReadSetting(s, section, Store::PasswordKey);
    if (!stored.startsWith(Store::SecureMarker))
        return stored;  // a plain password written by other means
    const QString rest = stored.mid(Store::SecureMarker.size());
    for (const QChar c : rest)
        if (c.unicode() > 0x7F || !std::isxdigit(c.toLatin1()))
            return stored;  // not our scrambled form: use the value as it stands
    return UnscramblePassword(rest);
}

QString ScramblePassword(const QString& password)
{
    // Each character's code in the 8-bit code page, XOR the key byte, as two hex digits.
    QString out;
    const QByteArray bytes = password.toLatin1();
    for (const char b : bytes)
        out += QStringLiteral("%1").arg((quint8(b) ^ Store::ScrambleKey) & 0xFF, 2, 16, QLatin1Char('0'));
    return out.toLower();
}

QString UnscramblePassword(const QString& scrambled)
{
    QString out;
    for (qsizetype i = 0; i < scrambled.size(); i += 2) {
        bool ok = false;
        const int code = scrambled.mid(i, 2).toInt(&ok, 16);
        out += QChar(((ok ? code : 0) ^ Store::ScrambleKey) & 0xFF);
    }
    return out;
}

bool ReadTruth(const QString& value)
{
    const QString v = value.trimmed();
    if (v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    bool ok = false;
    const double n = v.toDouble(&ok);
    return ok && n != 0;
}

int ReadWholeNumber(const QString& value, int fallback)
{
    bool ok = false;
    const int n = value.trimmed().toInt(&ok);
    return ok ? n : fallback;
}

ServerLogin StoredLogin(QSettings& s, const QString& section)
{
    ServerLogin login;
    login.host = GetServerAddress(s, section);
    login.port = ReadSetting(s, section, Store::PortKey);
    login.login = ReadSetting(s, section, Store::LoginKey);
    if (!PasswordInKeyring(s, section))
        login.password = ReadServerPassword(s, section);
    login.ssh = ReadSshRoute(s, section);
    return login;
}

int StoredServerCount(QSettings& s)
{
    return std::clamp(
        ReadWholeNumber(ReadSetting(s, Store::ServersSection, Store::ServerCountKey, QStringLiteral("0")), 0), 0,
        Store::MaxSlot);
}

QList<ActiveServer> ActiveServers(QSettings& s)
{
    const int count = StoredServerCount(s);
    QList<ActiveServer> servers;
    for (int slot = 1; slot <= count; ++slot) {
        const QString section = ServerSection(slot);
        if (!ReadTruth(ReadSetting(s, section, Store::ActiveKey)))
            continue;  // removed, or never completed: the slot stays empty
        QString name = ReadSetting(s, section, Store::NameKey);
        if (name.trimmed().isEmpty())
            name = UnnamedServer;
        servers.append({section, name});
    }
    return servers;
}
