#include "cli/Output.h"

#include <algorithm>

#include "protocol/AccountCsv.h"

void Err(const QString& text)
{
    const QByteArray bytes = (QStringLiteral("tazelctl: ") + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

bool ParseOutputForm(const QString& text, OutputForm* form)
{
    if (text == QLatin1String("table"))
        *form = OutputForm::Table;
    else if (text == QLatin1String("tab"))
        *form = OutputForm::Tab;
    else if (text == QLatin1String("csv"))
        *form = OutputForm::Csv;
    else if (text == QLatin1String("json"))
        *form = OutputForm::Json;
    else
        return false;
    return true;
}

void AppendLatin1AsUtf8(QByteArray& to, QByteArrayView latin1)
{
    std::string s;
    AppendLatin1AsUtf8(s, latin1);
    to.append(s.data(), qsizetype(s.size()));
}

void AppendLatin1AsUtf8(std::string& to, QByteArrayView latin1)
{
    const char* p = latin1.data();
    const char* const e = p + latin1.size();
    while (p < e) {
        // Runs of ASCII go over as they are.
        const char* run = p;
        while (p < e && static_cast<unsigned char>(*p) < 0x80)
            ++p;
        if (p > run)
            to.append(run, size_t(p - run));
        if (p < e) {
            const unsigned char c = static_cast<unsigned char>(*p++);
            to.push_back(char(0xC0 | (c >> 6)));
            to.push_back(char(0x80 | (c & 0x3F)));
        }
    }
}

RowWriter::~RowWriter() = default;

void RowWriter::flush()
{
    if (buffer_.empty())
        return;
    if (!failed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
        failed_ = true;
    if (!failed_ && std::fflush(out_) != 0)
        failed_ = true;
    buffer_.clear();
}

void RowWriter::begin(const QStringList& columns)
{
    columns_ = columns;
}

void RowWriter::row(const OutField* fields, int count)
{
    scratch_.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        std::string& f = scratch_[size_t(i)];
        f.clear();
        if (fields[i].isLatin1) {
            AppendLatin1AsUtf8(f, fields[i].latin1);
        } else if (fields[i].text) {
            const QByteArray utf8 = fields[i].text->toUtf8();
            f.assign(utf8.constData(), size_t(utf8.size()));
        }
    }
    if (!started_) {
        started_ = true;
        if (headers_)
            writeHeader();
    }
    ++rows_;
    writeRow(scratch_);
    if (buffer_.size() >= 65536)
        flush();
}

void RowWriter::row(const QStringList& fields)
{
    std::vector<OutField> f;
    f.reserve(size_t(fields.size()));
    for (const QString& t : fields)
        f.emplace_back(t);
    row(f.data(), int(f.size()));
}

bool RowWriter::end(bool complete)
{
    if (!started_) {
        if (!complete)
            return true;
        started_ = true;
        if (headers_)
            writeHeader();
    }
    writeEnd();
    flush();
    return !failed_;
}

namespace {

// A field as the tab and table forms show it: a control character (C0, DEL, and the C1 controls
// U+0080 to U+009F, which some terminals obey as well) is written as an escape ("\n", "\t", "\r",
// else "\x1b"), and the backslash itself as "\\", so a name holding a line break stays on its row,
// the terminal is never sent a sequence from the server, and what is shown can be read back.
// Fields are UTF-8; a field without any of these is passed on as it is.
const std::string& Shown(const std::string& f, std::string& scratch)
{
    auto odd = [](const std::string& t, size_t i) {
        const unsigned char c = static_cast<unsigned char>(t[i]);
        return c < 0x20 || c == 0x7F || c == '\\' ||
               (c == 0xC2 && i + 1 < t.size() && static_cast<unsigned char>(t[i + 1]) < 0xA0);
    };
    size_t i = 0;
    while (i < f.size() && !odd(f, i))
        ++i;
    if (i == f.size())
        return f;
    static const char hex[] = "0123456789abcdef";
    scratch.assign(f, 0, i);
    for (; i < f.size(); ++i) {
        if (!odd(f, i)) {
            scratch.push_back(f[i]);
            continue;
        }
        unsigned char c = static_cast<unsigned char>(f[i]);
        if (c == 0xC2)  // a C1 control: shown by its code, the Latin-1 byte the server sent
            c = static_cast<unsigned char>(f[++i]);
        switch (c) {
        case '\n': scratch += "\\n"; break;
        case '\t': scratch += "\\t"; break;
        case '\r': scratch += "\\r"; break;
        case '\\': scratch += "\\\\"; break;
        default:
            scratch += "\\x";
            scratch.push_back(hex[c >> 4]);
            scratch.push_back(hex[c & 15]);
        }
    }
    return scratch;
}

class TabWriter : public RowWriter {
public:
    using RowWriter::RowWriter;
    void writeHeader() override { writeRow(utf8(columns_)); }
    void writeRow(const std::vector<std::string>& fields) override
    {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i)
                put('\t');
            put(Shown(fields[i], shown_));
        }
        put('\n');
    }
    void writeEnd() override {}
    static std::vector<std::string> utf8(const QStringList& l)
    {
        std::vector<std::string> v;
        for (const QString& s : l)
            v.push_back(s.toStdString());
        return v;
    }

private:
    std::string shown_;
};

class CsvWriter : public RowWriter {
public:
    using RowWriter::RowWriter;
    void writeHeader() override { writeRow(TabWriter::utf8(columns_)); }
    void writeRow(const std::vector<std::string>& fields) override
    {
        // The fields are UTF-8 already; the row is quoted as the account files are.
        QStringList row;
        row.reserve(qsizetype(fields.size()));
        for (const std::string& f : fields)
            row << QString::fromStdString(f);
        put(QByteArrayView(CsvRow(row).toUtf8()));
    }
    void writeEnd() override {}
};

class JsonWriter : public RowWriter {
public:
    JsonWriter(bool headers, FILE* out) : RowWriter(headers, out) {}
    // The keys are the column names whatever --no-headers says: an object needs its keys.
    void writeHeader() override {}
    void writeRow(const std::vector<std::string>& fields) override
    {
        if (keys_.empty())
            for (const QString& c : std::as_const(columns_))
                keys_.push_back(quoted(c.toStdString()));
        put(first_ ? QByteArrayView("[\n{") : QByteArrayView(",\n{"));
        first_ = false;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i)
                put(',');
            if (i < keys_.size())
                put(keys_[i]);
            else
                put(QByteArrayView("\"\""));
            put(':');
            putQuoted(fields[i]);
        }
        put('}');
    }
    void writeEnd() override { put(first_ ? QByteArrayView("[]\n") : QByteArrayView("\n]\n")); }

private:
    void putQuoted(const std::string& f)
    {
        put('"');
        // Runs that need no escape go over whole.
        const char* p = f.data();
        const char* const e = p + f.size();
        while (p < e) {
            const char* run = p;
            while (p < e && *p != '"' && *p != '\\' && static_cast<unsigned char>(*p) >= 0x20)
                ++p;
            if (p > run)
                put(QByteArrayView(run, p - run));
            if (p == e)
                break;
            const unsigned char u = static_cast<unsigned char>(*p++);
            if (u == '"' || u == '\\') {
                const char esc[2] = {'\\', char(u)};
                put(QByteArrayView(esc, 2));
            } else {
                static const char hex[] = "0123456789abcdef";
                const char esc[6] = {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 15]};
                put(QByteArrayView(esc, 6));
            }
        }
        put('"');
    }
    static std::string quoted(const std::string& key) { return '"' + key + '"'; }
    std::vector<std::string> keys_;
    bool first_ = true;
};

// Collects the rows for their widths and writes them at the end, padded with spaces.
class TableWriter : public RowWriter {
public:
    using RowWriter::RowWriter;
    void writeHeader() override {}
    void writeRow(const std::vector<std::string>& fields) override
    {
        std::vector<QString> row;
        for (const std::string& f : fields)
            row.push_back(QString::fromStdString(Shown(f, shown_)));
        rowsHeld_.push_back(std::move(row));
    }
    void writeEnd() override
    {
        const size_t n = size_t(columns_.size());
        std::vector<qsizetype> width(n, 0);
        if (headers_)
            for (size_t i = 0; i < n; ++i)
                width[i] = columns_.at(qsizetype(i)).size();
        for (const auto& r : rowsHeld_)
            for (size_t i = 0; i < r.size() && i < n; ++i)
                width[i] = std::max(width[i], r[i].size());
        auto line = [&](const std::vector<QString>& r) {
            QString text;
            for (size_t i = 0; i < r.size(); ++i) {
                if (i)
                    text += QStringLiteral("  ");
                text += (i + 1 < r.size() && i < n) ? r[i].leftJustified(width[i]) : r[i];
            }
            put(text.toUtf8());
            put('\n');
        };
        if (headers_)
            line(std::vector<QString>(columns_.begin(), columns_.end()));
        for (const auto& r : rowsHeld_)
            line(r);
        rowsHeld_.clear();
    }

private:
    std::vector<std::vector<QString>> rowsHeld_;
    std::string shown_;
};

}  // namespace

std::unique_ptr<RowWriter> RowWriter::make(OutputForm form, bool headers, FILE* out)
{
    switch (form) {
    case OutputForm::Table: return std::unique_ptr<RowWriter>(new TableWriter(headers, out));
    case OutputForm::Tab: return std::unique_ptr<RowWriter>(new TabWriter(headers, out));
    case OutputForm::Csv: return std::unique_ptr<RowWriter>(new CsvWriter(headers, out));
    case OutputForm::Json: return std::unique_ptr<RowWriter>(new JsonWriter(headers, out));
    }
    return nullptr;
}
