#pragma once
// A domain's accounts as CSV text, both ways: the export of a loaded account list, and the reading
// of a file of accounts to add, each row with its verdict before anything is sent.
//
// The files are UTF-8 with CR LF line ends and RFC 4180 quoting: a field holding a comma, a double
// quote, a CR or an LF is quoted, its quotes doubled. The reader also takes LF line ends and a
// leading byte-order mark, as spreadsheets write them.

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// One account of an export.
struct ExportAccount {
    QString name;
    bool isList = false;
    QString password;
};

// The header row, then one row per account: name, kind ("user" or "list") and, when asked, password.
QByteArray AccountsCsv(const QList<ExportAccount>& accounts, bool withPasswords);

// One field as it stands in a CSV row: quoted only when it has to be.
QString CsvField(const QString& value);

// Writes the bytes to the file through QSaveFile: the file is replaced whole or not at all, so a
// failed write leaves no half-written file. On failure the reason is put into *error.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error);

// One record of a CSV text: its fields, the line it starts on (from 1), and whether it could be
// read (a quote left open, text after a closing quote and bytes that are not UTF-8 make it
// unreadable; the reader goes on with the next line).
struct CsvRecord {
    int line = 0;
    QStringList fields;
    bool readable = true;
    QString problem;  // why it could not be read
};

// Cuts a CSV text into records. Empty lines are passed over.
QList<CsvRecord> ReadCsv(const QByteArray& bytes);

// A row of a file of accounts to add, as it will be sent, with its verdict.
struct BulkAccountRow {
    int line = 0;
    QString name;      // trimmed and in lower case, as the server receives it
    QString password;  // as the file gives it
    QString kind;      // "U" or "M"
    QString verdict;   // BulkVerdictOk, or why the row will be skipped
    bool ok() const;
};

inline const QString BulkVerdictOk = QStringLiteral("ok");

// Reads a file of accounts to add to a domain. Columns are name, password and an optional kind
// ("user"/"U" or "list"/"M"; empty means a user). A first row made of column names (name, password,
// kind; in any order and case) is a header and sets the order. existingNames holds the domain's
// accounts in lower case. Every record gives one row, with "ok" or the reason it will be skipped.
QList<BulkAccountRow> ReadBulkAccounts(const QByteArray& bytes, const QSet<QString>& existingNames);
