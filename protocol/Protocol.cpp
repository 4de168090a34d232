#include "protocol/Protocol.h"

#include <algorithm>

#include <QCryptographicHash>

namespace Wire {
QByteArray encode(const QString& text) { return text.toLatin1(); }
QString decode(QByteArrayView bytes) { return QString::fromLatin1(bytes); }
}  // namespace Wire

static const QChar kQuote = QLatin1Char('"');

QString QuoteField(const QString& value)
{
    return kQuote + value + kQuote;
}

QString TrimSpaces(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

QStringList SplitFields(const QString& text, const QString& delimiter)
{
    // As if one delimiter were appended to the trimmed text and every field ended by one: n
    // delimiters give n + 1 fields, and an empty text one empty field.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    const QStringView work = QStringView(text).mid(begin, end - begin);
    QStringList fields;
    if (delimiter.isEmpty()) {
        fields << work.toString();
        return fields;
    }
    qsizetype start = 0;
    for (;;) {
        const qsizetype found = work.indexOf(delimiter, start);
        if (found < 0) {
            fields << work.mid(start).toString();
            return fields;
        }
        fields << work.mid(start, found - start).toString();
        start = found + delimiter.size();
    }
}

QString UnquoteField(const QString& field)
{
    qsizetype begin = 0;
    qsizetype end = field.size();
    if (begin < end && field.at(begin) == kQuote)
        ++begin;
    if (end > begin && field.at(end - 1) == kQuote)
        --end;
    return field.mid(begin, end - begin);
}

QStringList DataLineFields(const QString& line)
{
    QStringList fields = SplitFields(line, QStringLiteral("\t"));
    for (QString& f : fields)
        f = UnquoteField(f);
    return fields;
}

bool DataLineFields(QByteArrayView line, QByteArrayView* fields, int count)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && line[begin] == ' ')
        ++begin;
    while (end > begin && line[end - 1] == ' ')
        --end;
    int n = 0;
    for (qsizetype start = begin;;) {
        qsizetype stop = start;
        while (stop < end && line[stop] != Wire::Tab)
            ++stop;
        if (n == count)
            return false;
        qsizetype from = start, to = stop;
        if (from < to && line[from] == '"')
            ++from;
        if (to > from && line[to - 1] == '"')
            --to;
        fields[n++] = line.sliced(from, to - from);
        if (stop == end)
            return n == count;
        start = stop + 1;
    }
}

QString MD5Hex(const QString& text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(Wire::encode(text), QCryptographicHash::Md5).toHex());
}

bool IsSendable(const QString& value)
{
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        // C0 controls, DEL and the C1 controls are all control characters.
        if (u == u'"' || u < 0x20 || (u >= 0x7F && u <= 0x9F) || u > 0xFF)
            return false;
    }
    return true;
}

std::optional<QString> FirstUnsendable(const QStringList& values)
{
    for (const QString& v : values)
        if (!IsSendable(v))
            return v;
    return std::nullopt;
}

std::optional<QByteArray> ComposeRequest(const QString& word, const QStringList& args)
{
    if (!IsSendable(word) || FirstUnsendable(args))
        return std::nullopt;
    QString line = QuoteField(word);
    for (const QString& a : args)
        line += QLatin1Char(Wire::Tab) + QuoteField(a);
    return Wire::encode(line) + Wire::LineEnd;
}

std::optional<QByteArray> ComposeUserVarsSet(const QString& domain, const QString& user,
                                             const QStringList& namesAndValues)
{
    // Written in pieces on the wire, but the pieces always form this one line.
    return ComposeRequest(QStringLiteral("uservarsset"), QStringList{domain, user} + namesAndValues);
}

bool UsesMd5Login(const QString& greetingTimestamp, double serverVersion)
{
    return !TrimSpaces(greetingTimestamp).isEmpty() && serverVersion >= 0.66;
}

std::optional<QByteArray> ComposeLogin(const QString& login, const QString& password,
                                       const QString& greetingTimestamp, double serverVersion)
{
    // The MD5 form sends only a digest of the password, so any Latin-1 password will do there;
    // the plain form sends it as a field.
    const bool md5 = UsesMd5Login(greetingTimestamp, serverVersion);
    const bool latin1 = std::all_of(password.begin(), password.end(),
                                    [](QChar c) { return c.unicode() <= 0xFF; });
    if (!IsSendable(login) || !(md5 ? latin1 : IsSendable(password)))
        return std::nullopt;
    const QString secret = md5 ? QStringLiteral("#") + MD5Hex(greetingTimestamp + password) : password;
    return Wire::encode(QuoteField(login) + QLatin1Char(Wire::Tab) + QuoteField(secret)) +
           Wire::LineEnd;
}

double LeadingNumber(const QString& text)
{
    // Like reading a number from the front of a text: optional blanks, an optional sign, digits
    // with at most one decimal point; whatever follows is ignored.
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        ++i;
    bool seenDigit = false;
    bool seenPoint = false;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            seenDigit = true;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
        ++i;
    }
    if (!seenDigit)
        return 0;
    bool ok = false;
    const double v = text.mid(start, i - start).toDouble(&ok);
    return ok ? v : 0;
}

static QString BracketToken(const QString& line, QChar open, QChar close)
{
    const qsizetype from = line.indexOf(open);
    if (from < 0)
        return {};
    const qsizetype to = line.indexOf(close, from + 1);
    if (to < 0)
        return {};
    return line.mid(from, to - from + 1).trimmed();
}

Greeting ParseGreeting(const QString& line)
{
    Greeting g;
    static const QString product = QStringLiteral("Tazel ");
    const qsizetype at = line.indexOf(product);
    if (at >= 0) {
        const qsizetype from = at + product.size();
        qsizetype to = line.indexOf(QLatin1Char(' '), from);
        if (to < 0)
            to = line.size();
        g.version = LeadingNumber(line.mid(from, to - from).trimmed());
    }
    g.timestamp = BracketToken(line, QLatin1Char('<'), QLatin1Char('>'));
    const QString platform = BracketToken(line, QLatin1Char('('), QLatin1Char(')'));
    if (!platform.isEmpty())
        g.platform = platform;
    return g;
}

QString GreetingStatusText(double version, const QString& platform)
{
    return QStringLiteral("Tazel ") + QString::number(version, 'f', 2) + QLatin1Char(' ') +
           platform + QLatin1Char(' ');
}

quint16 PortFromText(const QString& portText)
{
    bool ok = false;
    const int port = TrimSpaces(portText).toInt(&ok);
    if (ok && port >= 1 && port <= 65535)
        return quint16(port);
    return Wire::DefaultPort;
}
