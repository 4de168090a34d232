#pragma once
// The four output forms of tazelctl's lists, written row by row to standard output.
//
//   table  aligned columns (the default on a terminal); it needs every width, so it keeps the rows
//   tab    one row a line, TAB between fields (the wire allows no TAB in a value, so nothing is quoted)
//          (tab and table show a control character in a field escaped, "\n" or "\x1b", and "\" as "\\")
//   csv    RFC 4180, a header row, CR LF line ends
//   json   one array of objects whose keys are the column names, UTF-8
//
// tab, csv and json write each row as it comes (through a buffer flushed at 64 KiB and at the end),
// so a long list starts printing before its reply has ended and is never held here.
// Fields come as text or as Latin-1 bytes straight from the wire; the output is UTF-8.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// A message of tazelctl's own: "tazelctl: TEXT" as one line on standard error.
void Err(const QString& text);

enum class OutputForm { Table, Tab, Csv, Json };

// "table", "tab", "csv" or "json"; false for anything else.
bool ParseOutputForm(const QString& text, OutputForm* form);

// One field of a row: text, or Latin-1 bytes (not copied: they must live until row() returns).
struct OutField {
    OutField(const QString& t) : text(&t) {}  // NOLINT: a field reads as its text
    OutField(QByteArrayView bytes) : latin1(bytes), isLatin1(true) {}  // NOLINT
    const QString* text = nullptr;
    QByteArrayView latin1;
    bool isLatin1 = false;
};

class RowWriter {
public:
    virtual ~RowWriter();
    // The column names; written (as a header, or as the JSON keys) unless headers are off. The
    // header goes out with the first row, or at the end of a list that came whole: a command that
    // failed before its first row prints nothing at all.
    void begin(const QStringList& columns);
    void row(std::initializer_list<OutField> fields) { row(fields.begin(), int(fields.size())); }
    void row(const OutField* fields, int count);
    void row(const QStringList& fields);
    // Ends the list (the closing "]" of JSON, the table itself) and flushes. False when standard
    // output could not take it all (a full disk, a closed pipe). complete: the list came whole;
    // when it did not and no row was written, nothing is written.
    bool end(bool complete = true);
    qint64 rows() const { return rows_; }
    // Hands what is buffered to standard output now (a list still arriving shows its rows as they
    // come, not only every 64 KiB).
    void flushNow() { flush(); }

    static std::unique_ptr<RowWriter> make(OutputForm form, bool headers, FILE* out = stdout);

    RowWriter(bool headers, FILE* out) : headers_(headers), out_(out) { buffer_.reserve(80 * 1024); }

protected:
    virtual void writeHeader() = 0;
    // One row; fields as UTF-8.
    virtual void writeRow(const std::vector<std::string>& fields) = 0;
    virtual void writeEnd() = 0;
    void put(const char* data, size_t size)
    {
        buffer_.append(data, size);
        if (buffer_.size() >= 65536)
            flush();
    }
    void put(const std::string& bytes) { put(bytes.data(), bytes.size()); }
    void put(QByteArrayView bytes) { put(bytes.data(), size_t(bytes.size())); }
    void put(char c) { buffer_.push_back(c); }
    void flush();

    QStringList columns_;
    bool headers_;

private:
    FILE* out_;
    std::string buffer_;  // appends inline, which a million rows notice
    std::vector<std::string> scratch_;
    qint64 rows_ = 0;
    bool failed_ = false;
    bool started_ = false;  // the header (if any) is out
};

// Latin-1 bytes as UTF-8, appended.
void AppendLatin1AsUtf8(std::string& to, QByteArrayView latin1);
void AppendLatin1AsUtf8(QByteArray& to, QByteArrayView latin1);
