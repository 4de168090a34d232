// A domain's accounts as CSV: the export writer, the file reader and the verdicts of the rows to add.

#include "store/AccountCsv.h"

#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>

#include "engine/Protocol.h"

// ------------------------------------------------------------------------------------ writing

QString CsvField(const QString& value)
{
    static const QString special = QStringLiteral(",\"\r\n");
    bool quote = false;
    for (QChar c : value) {
        if (special.contains(c)) {
            quote = true;
            break;
        }
    }
    if (!quote)
        return value;
    QString out = value;
    out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QByteArray AccountsCsv(const QList<ExportAccount>& accounts, bool withPasswords)
{
    const QString lineEnd = QStringLiteral("\r\n");
    QString text = withPasswords ? QStringLiteral("name,kind,password") : QStringLiteral("name,kind");
    text += lineEnd;
    for (const ExportAccount& a : accounts) {
        text += CsvField(a.name);
        text += a.isList ? QStringLiteral(",list") : QStringLiteral(",user");
        if (withPasswords)
            text += QLatin1Char(',') + CsvField(a.password);
        text += lineEnd;
    }
    return text.toUtf8();
}

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

// ------------------------------------------------------------------------------------ reading

namespace {
// The text of one field's bytes; false when they are not UTF-8.
bool DecodeField(const QByteArray& bytes, QString* text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *text = utf8(bytes);
    return !utf8.hasError();
}

// The index just after the end of the line that holds pos (after its LF), or the text's end.
qsizetype NextLine(const QByteArray& b, qsizetype pos)
{
    const qsizetype lf = b.indexOf('\n', pos);
    return lf < 0 ? b.size() : lf + 1;
}
}  // namespace

QList<CsvRecord> ReadCsv(const QByteArray& bytes)
{
    QList<CsvRecord> records;
    qsizetype pos = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    int line = 1;
    const qsizetype n = bytes.size();

    while (pos < n) {
        CsvRecord rec;
        rec.line = line;
        const qsizetype start = pos;
        const int startLine = line;
        QList<QByteArray> raw;
        QByteArray field;
        bool ended = false;  // the record's line end (or the text's end) was reached
        bool fieldQuoted = false;

        while (!ended) {
            if (pos >= n) {
                raw << field;
                ended = true;
                break;
            }
            const char c = bytes[pos];
            if (field.isEmpty() && !fieldQuoted && c == '"') {
                // A quoted field: up to the quote that is not doubled.
                fieldQuoted = true;
                ++pos;
                bool closed = false;
                while (pos < n) {
                    const char q = bytes[pos];
                    if (q == '"') {
                        if (pos + 1 < n && bytes[pos + 1] == '"') {
                            field += '"';
                            pos += 2;
                            continue;
                        }
                        ++pos;
                        closed = true;
                        break;
                    }
                    if (q == '\n')
                        ++line;
                    field += q;
                    ++pos;
                }
                if (!closed) {
                    // A quote left open would swallow the rest of the file: this line alone is
                    // unreadable, and reading goes on with the next line.
                    rec.readable = false;
                    rec.problem = QStringLiteral("a quoted field is never closed");
                    pos = NextLine(bytes, start);
                    line = startLine + 1;
                    ended = true;
                    break;
                }
                // After the closing quote: a comma, the line end or the text's end.
                if (pos < n && bytes[pos] != ',' && bytes[pos] != '\r' && bytes[pos] != '\n') {
                    rec.readable = false;
                    rec.problem = QStringLiteral("text follows a closing quote");
                    pos = NextLine(bytes, pos);
                    ++line;
                    ended = true;
                    break;
                }
                continue;
            }
            if (c == ',') {
                raw << field;
                field.clear();
                fieldQuoted = false;
                ++pos;
            } else if (c == '\r' && pos + 1 < n && bytes[pos + 1] == '\n') {
                raw << field;
                pos += 2;
                ++line;
                ended = true;
            } else if (c == '\n') {
                raw << field;
                ++pos;
                ++line;
                ended = true;
            } else if (c == '"') {
                rec.readable = false;
                rec.problem = QStringLiteral("a double quote inside a field that is not quoted");
                pos = NextLine(bytes, pos);
                ++line;
                ended = true;
            } else {
                field += c;
                ++pos;
            }
        }

        if (rec.readable) {
            // An empty line is no record.
            if (raw.size() == 1 && raw.first().isEmpty() && !fieldQuoted)
                continue;
            for (const QByteArray& f : std::as_const(raw)) {
                QString text;
                if (!DecodeField(f, &text)) {
                    rec.readable = false;
                    rec.problem = QStringLiteral("the line is not UTF-8 text");
                    rec.fields.clear();
                    break;
                }
                rec.fields << text;
            }
        }
        records << rec;
    }
    return records;
}

// ------------------------------------------------------------------------------------ verdicts

bool BulkAccountRow::ok() const
{
    return verdict == BulkVerdictOk;
}

namespace {
enum Column { NameColumn, PasswordColumn, KindColumn };

// The column a header field names, or -1.
int ColumnOfHeader(const QString& field)
{
    const QString f = field.trimmed().toLower();
    if (f == QLatin1String("name") || f == QLatin1String("account") || f == QLatin1String("account name"))
        return NameColumn;
    if (f == QLatin1String("password"))
        return PasswordColumn;
    if (f == QLatin1String("kind") || f == QLatin1String("type"))
        return KindColumn;
    return -1;
}

// The header's columns (index of name, password, kind; -1 when absent), or nothing when the record
// is no header: every field must name a column, once, and the name column must be there.
bool ReadHeader(const QStringList& fields, int columns[3])
{
    columns[0] = columns[1] = columns[2] = -1;
    for (int i = 0; i < fields.size(); ++i) {
        const int c = ColumnOfHeader(fields[i]);
        if (c < 0 || columns[c] >= 0)
            return false;
        columns[c] = i;
    }
    return columns[NameColumn] >= 0;
}

// "U" or "M" for a kind field, or nothing for one that names no kind.
QString KindLetter(const QString& field)
{
    const QString k = field.trimmed().toLower();
    if (k.isEmpty() || k == QLatin1String("user") || k == QLatin1String("u"))
        return QStringLiteral("U");
    if (k == QLatin1String("list") || k == QLatin1String("m") || k == QLatin1String("mailing list"))
        return QStringLiteral("M");
    return QString();
}
}  // namespace

QList<BulkAccountRow> ReadBulkAccounts(const QByteArray& bytes, const QSet<QString>& existingNames)
{
    const QList<CsvRecord> records = ReadCsv(bytes);
    int columns[3] = {0, 1, 2};
    int first = 0;
    if (!records.isEmpty() && records.first().readable) {
        int header[3];
        if (ReadHeader(records.first().fields, header)) {
            std::copy(header, header + 3, columns);
            first = 1;
        }
    }
    int width = 0;  // the number of fields a row must have
    for (int c : columns)
        width = std::max(width, c + 1);
    const bool kindOptional = first == 0;  // without a header the kind column may be left out

    QList<BulkAccountRow> rows;
    QHash<QString, int> firstLine;  // names taken by earlier rows of the file
    for (int r = first; r < records.size(); ++r) {
        const CsvRecord& rec = records[r];
        BulkAccountRow row;
        row.line = rec.line;
        row.kind = QStringLiteral("U");
        auto skip = [&](const QString& why) {
            row.verdict = why;
            rows << row;
        };
        if (!rec.readable) {
            skip(QStringLiteral("unreadable line: ") + rec.problem);
            continue;
        }
        const qsizetype count = rec.fields.size();
        // A field too many is most often an unquoted comma in a password: never guess which.
        if (count != width && !(kindOptional && count == width - 1)) {
            skip(QStringLiteral("unreadable line: %1 fields where %2 were expected").arg(count).arg(width));
            continue;
        }
        auto field = [&](int column) {
            return columns[column] >= 0 ? rec.fields.value(columns[column]) : QString();
        };
        // Names are lower case on the server; the password is sent as the file gives it.
        row.name = TrimSpaces(field(NameColumn)).toLower();
        row.password = field(PasswordColumn);
        const QString kind = KindLetter(field(KindColumn));
        if (row.name.isEmpty()) {
            skip(QStringLiteral("empty name"));
            continue;
        }
        if (kind.isEmpty()) {
            skip(QStringLiteral("unknown kind \"%1\" (user or list)").arg(field(KindColumn)));
            continue;
        }
        row.kind = kind;
        if (!IsSendable(row.name)) {
            skip(QStringLiteral("the name holds a character that cannot be sent"));
            continue;
        }
        if (!IsSendable(row.password)) {
            skip(QStringLiteral("the password holds a character that cannot be sent"));
            continue;
        }
        if (existingNames.contains(row.name)) {
            skip(QStringLiteral("already in the domain"));
            continue;
        }
        if (firstLine.contains(row.name)) {
            skip(QStringLiteral("twice in the file (first on line %1)").arg(firstLine.value(row.name)));
            continue;
        }
        firstLine.insert(row.name, row.line);
        row.verdict = BulkVerdictOk;
        rows << row;
    }
    return rows;
}
