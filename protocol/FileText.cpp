#include "protocol/FileText.h"

#include "protocol/Protocol.h"

static const QString kQuote = QStringLiteral("\"");

// The items of a redirection line in the one form the editors compose it back in: the keyword and
// one or more items, each quoted, no quote or control character inside, separated by single TABs.
static bool CanonicalListLine(const QString& line, const QString& keyword, QStringList* items)
{
    const QString head = kQuote + keyword + kQuote;
    if (!line.startsWith(head + QStringLiteral("\t\"")))
        return false;
    const QStringList fields = line.mid(head.size() + 1).split(QLatin1Char('\t'));
    QStringList found;
    for (const QString& f : fields) {
        if (f.size() < 2 || !f.startsWith(kQuote) || !f.endsWith(kQuote))
            return false;
        const QString item = f.mid(1, f.size() - 2);
        if (!IsSendable(item))
            return false;
        found << item;
    }
    *items = found;
    return true;
}

// The line as the advanced text shows it: each TAB shown as ",".
static QString ShownLine(const QString& line)
{
    QString shown = line;
    shown.replace(QLatin1Char('\t'), QLatin1Char(','));
    return shown;
}

// A line of the advanced text as the upload sends it: "," between quotes goes back to a TAB.
static QString SentLine(const QString& shown)
{
    QString sent = shown;
    sent.replace(QStringLiteral("\",\""), QStringLiteral("\"\t\""));
    return sent;
}

bool AddFileLine(FileEditors& editors, const QString& line, bool withMailbox)
{
    // Only lines that compose back byte for byte go to the check box and the lists, and only the
    // first of each kind (the editors compose one line of each); all others are advanced lines.
    if (withMailbox && !editors.mailbox && line == QLatin1String("\"mailbox\"")) {
        editors.mailbox = true;
        return true;
    }
    QStringList items;
    if (editors.redirects.isEmpty() && CanonicalListLine(line, QStringLiteral("redirect"), &items)) {
        editors.redirects = items;
        return true;
    }
    if (editors.lredirects.isEmpty() && CanonicalListLine(line, QStringLiteral("lredirect"), &items)) {
        editors.lredirects = items;
        return true;
    }
    const QString shown = ShownLine(line);
    editors.advanced += shown + QLatin1Char('\n');
    // The box cannot hold a line break or another control character inside a line, nor a TAB
    // that would not come back as one (or a "," between quotes that would come back as a TAB).
    for (const QChar c : line)
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() > 0xFF)
            return false;
    return SentLine(shown) == line;
}

bool HasAdvancedText(const QString& advanced)
{
    // Only spaces count as blank here: a text of a single line end is a file of one empty line,
    // which keeps a new or emptied custom domain alive, while an empty upload removes it.
    return !TrimSpaces(advanced).isEmpty();
}

QString AdvancedWithFinalLineEnd(const QString& advanced)
{
    if (advanced.endsWith(QLatin1Char('\n')))
        return advanced;
    return advanced + QLatin1Char('\n');
}

static QString ListLine(const QString& keyword, const QStringList& items)
{
    QString out = kQuote + keyword + kQuote;
    for (const QString& item : items)
        out += QLatin1Char('\t') + kQuote + item + kQuote;
    return out + QStringLiteral("\r\n");
}

QByteArray ComposeFileBody(const FileEditors& editors, bool withMailbox)
{
    QString body;
    // Local storage is a line of its own, alone too: a file holding only it comes back as it was.
    if (withMailbox && editors.mailbox)
        body += kQuote + QStringLiteral("mailbox") + kQuote + QStringLiteral("\r\n");
    if (!editors.redirects.isEmpty())
        body += ListLine(QStringLiteral("redirect"), editors.redirects);
    if (!editors.lredirects.isEmpty())
        body += ListLine(QStringLiteral("lredirect"), editors.lredirects);
    if (HasAdvancedText(editors.advanced)) {
        QString text = AdvancedWithFinalLineEnd(editors.advanced);
        // Whatever line ends the box holds, each line goes out ended by CR LF.
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        text = SentLine(text);
        text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        body += text;
    }
    body += QStringLiteral(".\r\n");
    return Wire::encode(body);
}

QString CheckFileEditors(const FileEditors& editors)
{
    for (const QStringList* list : {&editors.redirects, &editors.lredirects})
        for (const QString& item : *list)
            if (!IsSendable(item))
                return QStringLiteral("The entry \"%1\" holds a double quote, a control character (a TAB, a "
                                      "line break, DEL, ...) or a character outside Latin-1 and cannot be saved on the server.")
                    .arg(item);
    if (!HasAdvancedText(editors.advanced))
        return {};
    QString text = editors.advanced;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& l : lines) {
        if (l == QLatin1String("."))
            return QStringLiteral("A line made of a single \".\" would end the file early on the "
                                  "server. Remove it or add something to it before saving.");
        for (const QChar c : l) {
            if (c == QLatin1Char('\t'))
                return QStringLiteral("The advanced text holds a TAB, which would split a field on the "
                                      "server. Separate fields with \",\" instead.");
            if (c.unicode() < 0x20 || c.unicode() > 0xFF)
                return QStringLiteral("The advanced text holds a control character or a character "
                                      "outside Latin-1, which cannot be sent to the server.");
        }
    }
    return {};
}
