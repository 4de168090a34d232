#include "replies/FileText.h"

#include "engine/Protocol.h"

static const QString kQuote = QStringLiteral("\"");

void AddFileLine(FileEditors& editors, const QString& line, bool withMailbox)
{
    QString copy = line;
    copy.remove(kQuote);
    const qsizetype tab = copy.indexOf(QLatin1Char('\t'));
    const QString keyword = (tab < 0 ? copy : copy.left(tab)).toLower();
    if (withMailbox && keyword == QLatin1String("mailbox")) {
        editors.mailbox = true;
    } else if (keyword == QLatin1String("redirect") || keyword == QLatin1String("lredirect")) {
        QStringList& list = keyword == QLatin1String("redirect") ? editors.redirects : editors.lredirects;
        const QStringList fields = SplitFields(copy, QStringLiteral("\t"));
        for (qsizetype i = 1; i < fields.size(); ++i)
            list << fields.at(i);
    } else {
        QString shown = line;
        shown.replace(QLatin1Char('\t'), QLatin1Char(','));
        editors.advanced += shown + QLatin1Char('\n');
    }
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
    const bool anything = !editors.redirects.isEmpty() || !editors.lredirects.isEmpty() ||
                          HasAdvancedText(editors.advanced);
    // Local storage alone makes no file: it is sent empty.
    if (anything) {
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
            text.replace(QStringLiteral("\",\""), QStringLiteral("\"\t\""));
            text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
            body += text;
        }
    }
    body += QStringLiteral(".\r\n");
    return Wire::encode(body);
}

QString CheckFileEditors(const FileEditors& editors)
{
    for (const QStringList* list : {&editors.redirects, &editors.lredirects})
        for (const QString& item : *list)
            if (!IsSendable(item))
                return QStringLiteral("The entry \"%1\" holds a double quote, a TAB, a line break or a "
                                      "character outside Latin-1 and cannot be saved on the server.")
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
