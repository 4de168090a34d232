#pragma once
// The text of the control protocol: request lines, the login line, the greeting, field splitting.
// Everything here is free of windows and sockets so that it can be checked byte for byte.
//
// The wire is 8-bit text in Latin-1. A request line is the quoted command word, then a TAB and a
// quoted value per argument, then CR LF. The protocol has no escape: a value holding a double quote,
// a control character (TAB, CR, LF among them) or a character outside Latin-1 would be read by the
// server as other fields or further lines, so such a value is never sent.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>

namespace Wire {
inline constexpr char Tab = '\t';
inline const QByteArray LineEnd = QByteArrayLiteral("\r\n");
inline constexpr int DefaultPort = 6017;

QByteArray encode(const QString& text);   // text -> Latin-1 bytes
QString decode(QByteArrayView bytes);     // Latin-1 bytes -> text
}  // namespace Wire

// QuoteChar + value + QuoteChar; the value is not inspected.
QString QuoteField(const QString& value);

// Trims spaces (only spaces) at both ends, then splits at every delimiter: n delimiters give n + 1
// fields, empty ones included; an empty text gives one empty field.
QStringList SplitFields(const QString& text, const QString& delimiter);

// A field without the quote at its start and the one at its end; a quote inside stays, so a name
// holding one is never taken for another name (and is refused when it would be sent back).
QString UnquoteField(const QString& field);

// The fields of a data line of a list reply: split at TABs, each field unquoted.
QStringList DataLineFields(const QString& line);
// The same on the line's bytes, for a line of exactly `count` fields (false for any other count):
// the fields are views into the line.
bool DataLineFields(QByteArrayView line, QByteArrayView* fields, int count);

// MD5 (RFC 1321) of the text's Latin-1 bytes as 32 lower-case hexadecimal characters.
QString MD5Hex(const QString& text);

// True when the value can travel inside one quoted field: no double quote, no control character
// (below 0x20, TAB, CR and LF among them; DEL 0x7F; the C1 controls 0x80 to 0x9F) and nothing
// outside Latin-1. Every front end (the panels, the login, the request composer, the file of
// accounts to add) checks with this one test.
bool IsSendable(const QString& value);

// The first value of the list that is not sendable, or nothing when all are.
std::optional<QString> FirstUnsendable(const QStringList& values);

// A whole request line, CR LF included; nothing when any value is not sendable.
std::optional<QByteArray> ComposeRequest(const QString& word, const QStringList& args);

// "uservarsset" with its name and value pairs as one line; nothing when any value is not sendable.
std::optional<QByteArray> ComposeUserVarsSet(const QString& domain, const QString& user,
                                             const QStringList& namesAndValues);

// The MD5 form is used when the timestamp is not blank and the server is 0.66 or newer.
bool UsesMd5Login(const QString& greetingTimestamp, double serverVersion);

// The login line: quoted login, TAB, quoted password (plain form) or quoted "#" + MD5 of the
// timestamp followed by the password (MD5 form). Nothing when the login is not sendable, or the
// password is not sendable (plain form) or not Latin-1 (MD5 form, where only its digest travels).
std::optional<QByteArray> ComposeLogin(const QString& login, const QString& password,
                                       const QString& greetingTimestamp, double serverVersion);

// What a greeting line tells about the server.
//  - version: the leading number of the word after "Tazel " (up to the next space); 0 when the line
//    has no "Tazel " or nothing numeric follows it (also when "Tazel " ends the line).
//  - timestamp: "<" through the first ">" after it, brackets kept, trimmed; empty when there is no
//    "<" or it is never closed (an unclosed bracket is no timestamp, so the plain login is used).
//  - platform: "(" through the first ")" after it, trimmed; "(Unknown)" when there is no "(" or it
//    is never closed.
struct Greeting {
    double version = 0;
    QString timestamp;
    QString platform = QStringLiteral("(Unknown)");
};
Greeting ParseGreeting(const QString& line);

// The leading numeric part of a text, read as a number ("0.66abc" gives 0.66, "abc" gives 0).
double LeadingNumber(const QString& text);

// The second status panel: "Tazel " + version with two decimals + " " + platform + " ".
QString GreetingStatusText(double version, const QString& platform);

// The remote port of a connect step: the trimmed port text when it is a whole number from 1 to
// 65535, otherwise the default 6017.
quint16 PortFromText(const QString& portText);

// Removes leading and trailing space characters only (tabs and other blanks stay).
QString TrimSpaces(const QString& text);
