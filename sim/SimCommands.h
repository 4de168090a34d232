#pragma once
// The simulated server's side of the control protocol, free of sockets: the greeting, the login
// check, and one function that runs a request against the state and gives the reply bytes.
//
// Replies: "+00000 OK" for a change; a list or a file is a "+" line, data lines of TAB-separated
// quoted fields, and a lone "." line; a refusal is one "-" line with a five-digit code. Every line
// ends with CR LF. The two uploads ("custdomset", "usersetmproc") answer their request with a "+"
// go-ahead; the body lines follow up to a lone ".", and FinishSimUpload answers those.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "sim/SimState.h"

namespace SimReply {
inline const QByteArray Ok = QByteArrayLiteral("+00000 OK\r\n");
inline const QByteArray GoAhead = QByteArrayLiteral("+00000 Send the file, end it with a lone dot\r\n");
inline const QByteArray WrongArgumentCount = QByteArrayLiteral("-00011 Wrong number of arguments\r\n");
inline const QByteArray InvalidArgument = QByteArrayLiteral("-00012 Invalid argument\r\n");
inline const QByteArray UnknownCommand = QByteArrayLiteral("-00013 Unknown command\r\n");
inline const QByteArray LoginFailed = QByteArrayLiteral("-00014 Authentication failed\r\n");
inline const QByteArray UnknownDomain = QByteArrayLiteral("-00015 Unknown domain\r\n");
inline const QByteArray UnknownAccount = QByteArrayLiteral("-00016 Unknown account\r\n");
inline const QByteArray DomainExists = QByteArrayLiteral("-00017 Domain already exists\r\n");
inline const QByteArray AccountExists = QByteArrayLiteral("-00018 Account already exists\r\n");
inline const QByteArray NotAList = QByteArrayLiteral("-00019 Account is not a mailing list\r\n");
inline const QByteArray UnknownMember = QByteArrayLiteral("-00020 Unknown list member\r\n");
inline const QByteArray MemberExists = QByteArrayLiteral("-00021 Member already in the list\r\n");
inline const QByteArray UnknownAlias = QByteArrayLiteral("-00022 Unknown alias\r\n");
inline const QByteArray AliasExists = QByteArrayLiteral("-00023 Alias already exists\r\n");
inline const QByteArray NoMailproc = QByteArrayLiteral("-00024 No mailproc.tab for this account\r\n");
inline const QByteArray UnknownCustomDomain = QByteArrayLiteral("-00025 Unknown custom domain\r\n");
inline const QByteArray UnknownLink = QByteArrayLiteral("-00026 Unknown POP3 link\r\n");
inline const QByteArray LinkExists = QByteArrayLiteral("-00027 POP3 link already exists\r\n");
inline const QByteArray Refused = QByteArrayLiteral("-00029 Command refused\r\n");
}  // namespace SimReply

// The request line (without CR LF) as its fields: split at every TAB, the enclosing double quotes
// of each field removed. The first field is the command word (or, on the login line, the login).
QStringList ParseRequestFields(const QByteArray& line);

// "+00000 " [timestamp " "] "Tazel " version [" " platform] " CTRL Server ready" CR LF.
QByteArray SimGreeting(const QString& version, const QString& timestamp, const QString& platform);

// True when the login line's two fields match the administrator account: the password as it
// stands, or "#" + the MD5 of timestamp + password (hex in either case). The MD5 form exists only
// on servers of version 0.66 or newer that sent a timestamp.
bool SimLoginAccepted(const QStringList& fields, const QString& login, const QString& password,
                      const QString& timestamp, double version);

// What an upload go-ahead leaves open until the body's final ".".
struct SimUpload {
    enum Kind { None, CustomDomain, MailProc } kind = None;
    QString domain;  // the custom domain's name, or the account's domain
    QString account;
};

// Runs one request (fields as ParseRequestFields gives them) and returns the whole reply. On a
// go-ahead for an upload, *upload says where the body goes; otherwise it is left at None.
// version: the server's version as a number ("mluseradd" takes three arguments up to 0.63).
QByteArray RunSimCommand(SimState& state, double version, const QStringList& fields, SimUpload* upload);

// Stores an upload's body (its lines without CR LF, the final "." not included) and returns the
// reply: an empty body removes the file, any other replaces it.
QByteArray FinishSimUpload(SimState& state, const SimUpload& upload, const QList<QByteArray>& body);

// The commands whose reply is a "+" line, data lines and a "." line.
bool IsSimListCommand(const QString& word);

// A data line (CR LF included) with a number of fields that the command's list never has.
QByteArray SimMalformedLine(const QString& word);
