#pragma once
// The settings store: server records and the window position, application "Tazel Administrator".
//
//   [servers]  server_count          highest slot number assigned so far
//   [serverN]  server_name, server_address, server_port, server_login, server_pass, active
//              ssh_host, ssh_port, ssh_user, ssh_identity   the SSH host the control port is
//                                    reached through (optional; none: a plain connection)
//              password_store        "keyring" when the password is in the system keyring (service
//                                    "Tazel Administrator", key the section name) and server_pass
//                                    is empty; absent when server_pass holds it
//   [Settings] FormLeft, FormTop     window position in twips
//              FormWidth, FormHeight window size in twips (the design size when absent)
//              TreeWidth             the server tree's width in twips
//
// Every section and key name stands here. The file may hold administrator passwords (those of
// records saved while no keyring answered), so it is kept readable by its owner only.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>

#include "store/SshRoute.h"

namespace Store {
inline const QString Application = QStringLiteral("Tazel Administrator");
inline const QString ServersSection = QStringLiteral("servers");
inline const QString ServerCountKey = QStringLiteral("server_count");
inline const QString ServerSectionPrefix = QStringLiteral("server");
inline const QString NameKey = QStringLiteral("server_name");
inline const QString AddressKey = QStringLiteral("server_address");
inline const QString PortKey = QStringLiteral("server_port");
inline const QString LoginKey = QStringLiteral("server_login");
inline const QString PasswordKey = QStringLiteral("server_pass");
inline const QString ActiveKey = QStringLiteral("active");
inline const QString SshHostKey = QStringLiteral("ssh_host");
inline const QString SshPortKey = QStringLiteral("ssh_port");
inline const QString SshUserKey = QStringLiteral("ssh_user");
inline const QString SshIdentityKey = QStringLiteral("ssh_identity");
inline const QString PasswordStoreKey = QStringLiteral("password_store");
inline const QString KeyringStoreValue = QStringLiteral("keyring");
// The system keyring's entries: this service, keyed by the record's section name ("server3").
inline const QString KeyringService = QStringLiteral("Tazel Administrator");
inline const QString SettingsSection = QStringLiteral("Settings");
inline const QString FormLeftKey = QStringLiteral("FormLeft");
inline const QString FormTopKey = QStringLiteral("FormTop");
inline const QString FormWidthKey = QStringLiteral("FormWidth");
inline const QString FormHeightKey = QStringLiteral("FormHeight");
inline const QString TreeWidthKey = QStringLiteral("TreeWidth");
inline const QString SecureMarker = QStringLiteral("{%secure:tzcrypt%}");
inline constexpr int MaxSlot = 32767;
inline constexpr int ScrambleKey = 0x3B;
}  // namespace Store

// The user's own store (on Linux ~/.config/Tazel Administrator/Tazel Administrator.conf).
std::unique_ptr<QSettings> OpenUserSettings();

// Text values by section and key; an absent key reads as the default.
QString ReadSetting(QSettings& s, const QString& section, const QString& key,
                    const QString& fallback = QString());
// Reads the store and tells whether that worked. A store that could not be read is never written
// afterwards (every write below then fails): it would replace records the program never saw.
bool CheckSettingsReadable(QSettings& s);
// False for a store that could not be read, and for a file that is not writable (a read-only file
// stays read-only).
bool SettingsWritable(const QSettings& s);
// Every write returns false when it did not reach the disk; what is on disk then stays as it was.
bool WriteSetting(QSettings& s, const QString& section, const QString& key, const QString& value);
// Writes the store out and keeps the file readable by its owner only.
bool FlushSettings(QSettings& s);

// One server record as the server panel holds it; values are stored exactly as given.
struct ServerRecord {
    QString name, address, port, login, password;
};
// Writes the record's keys, the password in its stored form and "active" = "True", then writes the
// store out once. passwordInKeyring: the password is in the system keyring; the record says so and
// keeps an empty server_pass.
bool WriteServerRecord(QSettings& s, const QString& section, const ServerRecord& record,
                       bool passwordInKeyring = false);
// The record's password is in the system keyring ("password_store" = "keyring").
bool PasswordInKeyring(QSettings& s, const QString& section);
// The record's password has gone into the keyring: server_pass emptied, "password_store" set, one write.
bool MarkPasswordInKeyring(QSettings& s, const QString& section);
// The sections of the stored server records ("server" + a slot number), in slot order.
QStringList ServerRecordSections(QSettings& s);

// The record's SSH route; a record without the keys reads as a plain connection.
SshRoute ReadSshRoute(QSettings& s, const QString& section);
// Writes the four keys (an empty route removes them) and writes the store out once.
bool WriteSshRoute(QSettings& s, const QString& section, const SshRoute& route);

// "server" + slot in decimal.
QString ServerSection(int slot);
bool DeleteServerRecord(QSettings& s, const QString& section);
// "server_address", or "server_name" when the address is blank; returned untrimmed.
QString GetServerAddress(QSettings& s, const QString& section);
bool StoreServerPassword(QSettings& s, const QString& section, const QString& password);
// The password the settings file holds (empty for a record whose password is in the keyring).
QString ReadServerPassword(QSettings& s, const QString& section);
QString ScramblePassword(const QString& password);
QString UnscramblePassword(const QString& scrambled);

// A truth value as stored: "True"/"False" in any case, or a number (non-zero is true). Anything
// else, an absent value included, is false. (QSettings itself would read "no" or "off" as true.)
bool ReadTruth(const QString& value);
// A whole number as stored; anything that is not one reads as the fallback.
int ReadWholeNumber(const QString& value, int fallback);
