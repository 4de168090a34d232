#pragma once
// A domain's accounts as CSV text, both ways: the export of a loaded account list, and the reading
// of a file of accounts to add, each row with its verdict before anything is sent.
//
// The files are UTF-8 with CR LF line ends and RFC 4180 quoting: a field holding a comma, a double
// quote, a CR or an LF is quoted, its quotes doubled. The reader also takes LF line ends and a
// leading byte-order mark, as spreadsheets write them.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

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

// Cuts a CSV text into records, one at a time and without a string per field: the fields are
// views of the text (or, for a quoted field with doubled quotes, of the reader's own copy), valid
// until the next call of next(). Empty lines are passed over.
class CsvReader {
public:
    explicit CsvReader(QByteArrayView bytes);
    bool next();  // false at the text's end

    int line() const { return line_; }
    bool readable() const { return problem_ == nullptr; }
    QString problem() const { return problem_ ? QString::fromLatin1(problem_) : QString(); }
    qsizetype fieldCount() const { return qsizetype(fields_.size()); }
    QByteArrayView field(qsizetype i) const;  // its UTF-8 bytes (checked)

private:
    struct Field {
        bool copied = false;  // in scratch_ rather than in the text
        qsizetype start = 0;
        qsizetype size = 0;
    };
    void append(Field& f, qsizetype at);  // the text's byte at this position joins the field

    QByteArrayView bytes_;
    qsizetype pos_ = 0;
    int nextLine_ = 1;
    int line_ = 0;
    const char* problem_ = nullptr;
    std::vector<Field> fields_;
    QByteArray scratch_;
};

// All records of a CSV text at once, each field as text.
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

// The rows of a file of accounts to add. A file may hold a million rows: they are kept compact
// (the names and passwords in one UTF-8 buffer, a few numbers per row, the verdict as a code), and
// a row's texts are made when they are asked for. Copies share the rows.
class BulkAccountRows {
public:
    enum Verdict : quint8 {
        Ok, Unreadable, FieldCount, EmptyName, UnknownKind, NameUnsendable, NoPassword,
        PasswordUnsendable, InDomain, TwiceInFile
    };

    qsizetype size() const { return rows_.size(); }
    bool isEmpty() const { return rows_.isEmpty(); }
    qsizetype okCount() const { return okCount_; }

    int line(qsizetype row) const { return rows_[row].line; }
    QString name(qsizetype row) const;
    QString password(qsizetype row) const;
    qsizetype passwordLength(qsizetype row) const;  // in characters
    QString kind(qsizetype row) const;  // "U" or "M"
    bool ok(qsizetype row) const { return rows_[row].verdict == Ok; }
    Verdict verdictCode(qsizetype row) const { return Verdict(rows_[row].verdict); }
    QString verdict(qsizetype row) const;  // BulkVerdictOk or the reason, in words

    BulkAccountRow at(qsizetype row) const;
    BulkAccountRow operator[](qsizetype row) const { return at(row); }

    class const_iterator {
    public:
        const_iterator(const BulkAccountRows* rows, qsizetype row) : rows_(rows), row_(row) {}
        BulkAccountRow operator*() const { return rows_->at(row_); }
        const_iterator& operator++() { ++row_; return *this; }
        bool operator!=(const const_iterator& other) const { return row_ != other.row_; }
    private:
        const BulkAccountRows* rows_;
        qsizetype row_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    friend BulkAccountRows ReadBulkAccounts(const QByteArray&, const QSet<QString>&, QString*);
    struct Row {
        qint32 line = 0;
        quint32 name = 0;      // offset in text_
        quint32 nameSize = 0;  // bytes
        quint32 password = 0;
        quint32 passwordSize = 0;
        qint32 argument = 0;   // the first line (TwiceInFile), the field count (FieldCount), an
                               // index into texts_ (Unreadable, UnknownKind)
        quint8 verdict = Ok;
        char kind = 'U';
    };
    QList<Row> rows_;
    QByteArray text_;     // the names and passwords, UTF-8
    QStringList texts_;   // the few texts a verdict quotes
    int width_ = 0;       // the number of fields a row must have
    qsizetype okCount_ = 0;
};

// Reads a file of accounts to add to a domain. Columns are name, password and an optional kind
// ("user"/"U" or "list"/"M"; empty means a user). A first row made only of column names (name,
// password, kind; in any order and case) is a header and sets the order; such a row that names a
// column twice or has no name column is refused: nothing is read, and *refusal (when given) says
// why. existingNames holds the domain's accounts in lower case. Every record gives one row, with
// "ok" or the reason it will be skipped; a row without a password is skipped ("no password").
BulkAccountRows ReadBulkAccounts(const QByteArray& bytes, const QSet<QString>& existingNames,
                                 QString* refusal = nullptr);
