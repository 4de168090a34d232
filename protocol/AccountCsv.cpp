// A domain's accounts as CSV: the export writer, the file reader and the verdicts of the rows to add.

#include "protocol/AccountCsv.h"

#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>

#include "protocol/Protocol.h"

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
bool IsAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

bool IsUtf8(QByteArrayView bytes)
{
    if (IsAscii(bytes))
        return true;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    Q_UNUSED(text)
    return !utf8.hasError();
}

// The index just after the end of the line that holds pos (after its LF), or the text's end.
qsizetype NextLine(QByteArrayView b, qsizetype pos)
{
    const qsizetype lf = b.indexOf('\n', pos);
    return lf < 0 ? b.size() : lf + 1;
}
}  // namespace

CsvReader::CsvReader(QByteArrayView bytes) : bytes_(bytes)
{
    pos_ = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

void CsvReader::append(Field& f, qsizetype at)
{
    // Bytes that stand side by side in the text stay there; a field that leaves out a byte (the
    // second quote of a doubled one, say) goes on in the reader's own copy.
    if (!f.copied) {
        if (f.size == 0)
            f.start = at;
        if (f.start + f.size == at) {
            ++f.size;
            return;
        }
        const qsizetype copyStart = scratch_.size();
        scratch_.append(bytes_.sliced(f.start, f.size));
        f.copied = true;
        f.start = copyStart;
    }
    scratch_.append(bytes_[at]);
    ++f.size;
}

QByteArrayView CsvReader::field(qsizetype i) const
{
    const Field& f = fields_[size_t(i)];
    return f.copied ? QByteArrayView(scratch_).sliced(f.start, f.size) : bytes_.sliced(f.start, f.size);
}

bool CsvReader::next()
{
    const QByteArrayView bytes = bytes_;
    const qsizetype n = bytes.size();
    qsizetype& pos = pos_;
    int& line = nextLine_;
    while (pos < n) {
        line_ = line;
        problem_ = nullptr;
        fields_.clear();
        scratch_.clear();
        const qsizetype start = pos;
        const int startLine = line;
        Field field;
        bool ended = false;  // the record's line end (or the text's end) was reached
        bool fieldQuoted = false;

        while (!ended) {
            if (pos >= n) {
                fields_.push_back(field);
                ended = true;
                break;
            }
            const char c = bytes[pos];
            if (field.size == 0 && !fieldQuoted && c == '"') {
                // A quoted field: up to the quote that is not doubled.
                fieldQuoted = true;
                ++pos;
                bool closed = false;
                while (pos < n) {
                    const char q = bytes[pos];
                    if (q == '"') {
                        if (pos + 1 < n && bytes[pos + 1] == '"') {
                            append(field, pos);
                            pos += 2;
                            continue;
                        }
                        ++pos;
                        closed = true;
                        break;
                    }
                    if (q == '\n')
                        ++line;
                    append(field, pos);
                    ++pos;
                }
                if (!closed) {
                    // A quote left open would swallow the rest of the file: this line alone is
                    // unreadable, and reading goes on with the next line.
                    problem_ = "a quoted field is never closed";
                    pos = NextLine(bytes, start);
                    line = startLine + 1;
                    ended = true;
                    break;
                }
                // After the closing quote: a comma, the line end or the text's end.
                if (pos < n && bytes[pos] != ',' && bytes[pos] != '\r' && bytes[pos] != '\n') {
                    problem_ = "text follows a closing quote";
                    pos = NextLine(bytes, pos);
                    ++line;
                    ended = true;
                    break;
                }
                continue;
            }
            if (c == ',') {
                fields_.push_back(field);
                field = Field();
                fieldQuoted = false;
                ++pos;
            } else if (c == '\r' && pos + 1 < n && bytes[pos + 1] == '\n') {
                fields_.push_back(field);
                pos += 2;
                ++line;
                ended = true;
            } else if (c == '\n') {
                fields_.push_back(field);
                ++pos;
                ++line;
                ended = true;
            } else if (c == '"') {
                problem_ = "a double quote inside a field that is not quoted";
                pos = NextLine(bytes, pos);
                ++line;
                ended = true;
            } else {
                // The run of plain bytes up to the next special one joins the field at once.
                qsizetype stop = pos + 1;
                while (stop < n) {
                    const char d = bytes[stop];
                    if (d == ',' || d == '\r' || d == '\n' || d == '"')
                        break;
                    ++stop;
                }
                if (!field.copied && (field.size == 0 || field.start + field.size == pos)) {
                    if (field.size == 0)
                        field.start = pos;
                    field.size += stop - pos;
                } else {
                    for (qsizetype i = pos; i < stop; ++i)
                        append(field, i);
                }
                pos = stop;
            }
        }

        if (problem_) {
            fields_.clear();
            return true;
        }
        // An empty line is no record.
        if (fields_.size() == 1 && fields_.front().size == 0 && !fieldQuoted)
            continue;
        for (qsizetype i = 0; i < fieldCount(); ++i) {
            if (!IsUtf8(this->field(i))) {
                problem_ = "the line is not UTF-8 text";
                fields_.clear();
                break;
            }
        }
        return true;
    }
    return false;
}

QList<CsvRecord> ReadCsv(const QByteArray& bytes)
{
    QList<CsvRecord> records;
    CsvReader reader(bytes);
    while (reader.next()) {
        CsvRecord rec;
        rec.line = reader.line();
        rec.readable = reader.readable();
        rec.problem = reader.problem();
        for (qsizetype i = 0; i < reader.fieldCount(); ++i)
            rec.fields << QString::fromUtf8(reader.field(i));
        records << rec;
    }
    return records;
}

// ------------------------------------------------------------------------------------ verdicts

bool BulkAccountRow::ok() const
{
    return verdict == BulkVerdictOk;
}

QString BulkAccountRows::name(qsizetype row) const
{
    const Row& r = rows_[row];
    return QString::fromUtf8(QByteArrayView(text_).sliced(r.name, r.nameSize));
}

QString BulkAccountRows::password(qsizetype row) const
{
    const Row& r = rows_[row];
    return QString::fromUtf8(QByteArrayView(text_).sliced(r.password, r.passwordSize));
}

qsizetype BulkAccountRows::passwordLength(qsizetype row) const
{
    const Row& r = rows_[row];
    const QByteArrayView bytes = QByteArrayView(text_).sliced(r.password, r.passwordSize);
    return IsAscii(bytes) ? bytes.size() : password(row).size();
}

QString BulkAccountRows::kind(qsizetype row) const
{
    return rows_[row].kind == 'M' ? QStringLiteral("M") : QStringLiteral("U");
}

QString BulkAccountRows::verdict(qsizetype row) const
{
    const Row& r = rows_[row];
    switch (Verdict(r.verdict)) {
    case Ok: return BulkVerdictOk;
    case Unreadable: return QStringLiteral("unreadable line: ") + texts_.value(r.argument);
    case FieldCount:
        return QStringLiteral("unreadable line: %1 fields where %2 were expected").arg(r.argument).arg(width_);
    case EmptyName: return QStringLiteral("empty name");
    case UnknownKind: return QStringLiteral("unknown kind \"%1\" (user or list)").arg(texts_.value(r.argument));
    case NameUnsendable: return QStringLiteral("the name holds a character that cannot be sent");
    case NoPassword: return QStringLiteral("no password");
    case PasswordUnsendable: return QStringLiteral("the password holds a character that cannot be sent");
    case InDomain: return QStringLiteral("already in the domain");
    case TwiceInFile: return QStringLiteral("twice in the file (first on line %1)").arg(r.argument);
    }
    return {};
}

BulkAccountRow BulkAccountRows::at(qsizetype row) const
{
    BulkAccountRow r;
    r.line = line(row);
    r.name = name(row);
    r.password = password(row);
    r.kind = kind(row);
    r.verdict = verdict(row);
    return r;
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

const char* const ColumnNames[] = {"name", "password", "kind"};

// A first record made only of column names is a header. It sets the columns (index of name,
// password, kind; -1 when absent); one that names a column twice or has no name column is refused.
enum class Header { None, Read, Refused };
Header ReadHeader(const QStringList& fields, int columns[3], QString* why)
{
    columns[0] = columns[1] = columns[2] = -1;
    for (const QString& f : fields)
        if (ColumnOfHeader(f) < 0)
            return Header::None;
    for (int i = 0; i < fields.size(); ++i) {
        const int c = ColumnOfHeader(fields[i]);
        if (columns[c] >= 0) {
            *why = QStringLiteral("its first row names the %1 column twice (\"%2\" and \"%3\")")
                       .arg(QLatin1String(ColumnNames[c]), fields[columns[c]].trimmed(), fields[i].trimmed());
            return Header::Refused;
        }
        columns[c] = i;
    }
    if (columns[NameColumn] < 0) {
        *why = QStringLiteral("its first row names columns (%1) but no name column")
                   .arg(fields.join(QStringLiteral(", ")));
        return Header::Refused;
    }
    return Header::Read;
}

// "U" or "M" for a kind field, or nothing for one that names no kind.
char KindLetter(QByteArrayView field)
{
    // Most files have no kind column, or an ASCII one: those are compared without a copy.
    QByteArray folded;
    QByteArrayView k = field.trimmed();
    if (!IsAscii(k)) {
        folded = QString::fromUtf8(field).trimmed().toLower().toUtf8();
        k = folded;
    }
    const auto is = [k](const char* word) { return k.compare(QByteArrayView(word), Qt::CaseInsensitive) == 0; };
    if (k.isEmpty() || is("user") || is("u"))
        return 'U';
    if (is("list") || is("m") || is("mailing list"))
        return 'M';
    return 0;
}

// An ASCII value that the protocol carries: no double quote, no control character (DEL too).
bool AsciiSendable(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (c == '"' || uchar(c) < 0x20 || uchar(c) == 0x7F)
            return false;
    return true;
}

// Row indices by name, for the check of names given twice: an open-addressed table of 32-bit
// indices, each beside 32 bits of its name's hash (so that a probe rarely has to look at a row),
// a few bytes per row: a hash of strings would cost more than the rows themselves.
class NameTable {
public:
    explicit NameTable(qsizetype rows)
    {
        qsizetype capacity = 16;
        while (capacity < rows * 2)
            capacity *= 2;
        slots_.assign(size_t(capacity), Slot{});
        mask_ = size_t(capacity - 1);
    }
    // The row already holding this name, or -1 after taking the row for it.
    template <class NameOf>
    qint32 findOrInsert(QByteArrayView name, qint32 row, const NameOf& nameOf)
    {
        const size_t hash = qHash(name);
        const quint32 check = quint32(hash >> 32) ^ quint32(hash);
        for (size_t i = (hash ^ (hash >> 29)) & mask_;; i = (i + 1) & mask_) {
            Slot& slot = slots_[i];
            if (slot.row < 0) {
                slot = {row, check};
                return -1;
            }
            if (slot.check == check && nameOf(slot.row) == name)
                return slot.row;
        }
    }

private:
    struct Slot {
        qint32 row = -1;
        quint32 check = 0;
    };
    std::vector<Slot> slots_;
    size_t mask_ = 0;
};
}  // namespace

BulkAccountRows ReadBulkAccounts(const QByteArray& bytes, const QSet<QString>& existingNames, QString* refusal)
{
    BulkAccountRows out;
    CsvReader reader(bytes);
    int columns[3] = {0, 1, 2};
    bool haveRecord = reader.next();
    bool headerRead = false;
    if (haveRecord && reader.readable()) {
        QStringList fields;
        for (qsizetype i = 0; i < reader.fieldCount(); ++i)
            fields << QString::fromUtf8(reader.field(i));
        int header[3];
        QString why;
        switch (ReadHeader(fields, header, &why)) {
        case Header::None: break;
        case Header::Read:
            std::copy(header, header + 3, columns);
            headerRead = true;
            haveRecord = reader.next();
            break;
        case Header::Refused:
            if (refusal)
                *refusal = why;
            return out;
        }
    }
    int width = 0;  // the number of fields a row must have
    for (int c : columns)
        width = std::max(width, c + 1);
    out.width_ = width;
    const bool kindOptional = !headerRead;  // without a header the kind column may be left out

    // About one row per line: reserved once, not grown a million times.
    const qsizetype lines = bytes.count('\n') + 1;
    out.rows_.reserve(lines);
    out.text_.reserve(bytes.size());
    QSet<QByteArray> existing;
    existing.reserve(existingNames.size());
    for (const QString& name : existingNames)
        existing.insert(name.toUtf8());
    NameTable taken(lines);
    // The texts a verdict quotes, each kept once however many rows quote it.
    QHash<QString, qint32> textIndex;
    const auto textOf = [&](const QString& text) {
        const auto found = textIndex.constFind(text);
        if (found != textIndex.cend())
            return *found;
        out.texts_ << text;
        return *textIndex.insert(text, qint32(out.texts_.size() - 1));
    };
    const auto nameOf = [&out](qint32 row) {
        const BulkAccountRows::Row& r = out.rows_[row];
        return QByteArrayView(out.text_).sliced(r.name, r.nameSize);
    };

    for (; haveRecord; haveRecord = reader.next()) {
        BulkAccountRows::Row row;
        row.line = reader.line();
        row.name = row.password = quint32(out.text_.size());
        const auto skip = [&](BulkAccountRows::Verdict why, qint32 argument = 0) {
            row.verdict = why;
            row.argument = argument;
            out.rows_.append(row);
        };
        if (!reader.readable()) {
            skip(BulkAccountRows::Unreadable, textOf(reader.problem()));
            continue;
        }
        const qsizetype count = reader.fieldCount();
        // A field too many is most often an unquoted comma in a password: never guess which.
        if (count != width && !(kindOptional && count == width - 1)) {
            skip(BulkAccountRows::FieldCount, qint32(count));
            continue;
        }
        const auto field = [&](int column) {
            return columns[column] >= 0 && columns[column] < count ? reader.field(columns[column])
                                                                   : QByteArrayView();
        };
        // Names are lower case on the server; the password is sent as the file gives it.
        const QByteArrayView rawName = field(NameColumn);
        bool nameSendable;
        if (IsAscii(rawName)) {
            qsizetype b = 0, e = rawName.size();
            while (b < e && rawName[b] == ' ')
                ++b;
            while (e > b && rawName[e - 1] == ' ')
                --e;
            const QByteArrayView trimmed = rawName.sliced(b, e - b);
            const qsizetype at = out.text_.size();
            out.text_.resize(at + trimmed.size());
            char* to = out.text_.data() + at;
            for (const char c : trimmed)
                *to++ = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
            nameSendable = AsciiSendable(trimmed);
        } else {
            const QString name = TrimSpaces(QString::fromUtf8(rawName)).toLower();
            out.text_.append(name.toUtf8());
            nameSendable = IsSendable(name);
        }
        row.nameSize = quint32(out.text_.size() - row.name);
        const QByteArrayView rawPassword = field(PasswordColumn);
        row.password = quint32(out.text_.size());
        out.text_.append(rawPassword);
        row.passwordSize = quint32(rawPassword.size());
        const QByteArrayView rawKind = field(KindColumn);
        const char kind = KindLetter(rawKind);

        if (row.nameSize == 0) {
            skip(BulkAccountRows::EmptyName);
            continue;
        }
        if (!kind) {
            skip(BulkAccountRows::UnknownKind, textOf(QString::fromUtf8(rawKind)));
            continue;
        }
        row.kind = kind;
        if (!nameSendable) {
            skip(BulkAccountRows::NameUnsendable);
            continue;
        }
        // A file without a password column (an export answered "No") would create accounts
        // anyone can log in to.
        if (rawPassword.isEmpty()) {
            skip(BulkAccountRows::NoPassword);
            continue;
        }
        if (IsAscii(rawPassword) ? !AsciiSendable(rawPassword) : !IsSendable(QString::fromUtf8(rawPassword))) {
            skip(BulkAccountRows::PasswordUnsendable);
            continue;
        }
        const QByteArrayView thisName = QByteArrayView(out.text_).sliced(row.name, row.nameSize);
        if (existing.contains(QByteArray::fromRawData(thisName.data(), thisName.size()))) {
            skip(BulkAccountRows::InDomain);
            continue;
        }
        const qint32 first = taken.findOrInsert(thisName, qint32(out.rows_.size()), nameOf);
        if (first >= 0) {
            skip(BulkAccountRows::TwiceInFile, out.rows_[first].line);
            continue;
        }
        row.verdict = BulkAccountRows::Ok;
        out.rows_.append(row);
        ++out.okCount_;
    }
    return out;
}
