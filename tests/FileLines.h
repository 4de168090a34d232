#pragma once
// Random lines of a custom domain file or mailproc.tab, of every shape the wire can carry: the lines
// the editors compose themselves, other keywords, lines starting with "+" or "-", empty lines, a lone
// CR or LF, TABs and "," in and out of quotes, and any Latin-1 byte. Never a line made of a single
// "." (it ends the file on the wire) and never CR LF inside a line.

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

inline QString RandomFileLine(QRandomGenerator& r)
{
    auto pick = [&r](const QStringList& from) { return from.at(int(r.bounded(from.size()))); };
    auto item = [&r, &pick] {
        return pick({"a@x.com", "b@y.org", "", "with space", "j\u00fcrgen@x", "a,b", "x.y"}) +
               (r.bounded(4) == 0 ? QString::number(r.bounded(100)) : QString());
    };
    QString line;
    switch (r.bounded(12)) {
    case 0:
    case 1: {
        line = pick({"\"redirect\"", "\"lredirect\""});
        const int n = int(r.bounded(4));
        for (int i = 0; i < n; ++i)
            line += "\t\"" + item() + '"';
        break;
    }
    case 2:
        line = pick({"\"mailbox\"", "mailbox", "\"Mailbox\""});
        break;
    case 3:
        line = "\"external\"\t\"0\"\t\"" + QString::number(r.bounded(100)) + "\"\t\"/bin/f\"";
        break;
    case 4:
        line = pick({"+", "-", "+OK", "-ERR x", "+\t\"a\"", "-\"redirect\""});
        break;
    case 5:
        line = pick({"", " ", "  ", "..", " .", ". "});
        break;
    case 6:
        line = pick({"a\rb", "\r", "a\nb", "\n", "x\r"});
        break;
    case 7:
        line = pick({"\"a\",\"b\"", "a\tb", "\"a\"\t\"b\"", "\"a\"\t\"\"\t\"c\"", "\t", "\"\t\"", ",", "\",\""});
        break;
    case 8:
        line = "\"redirect\"\t\"" + item() + "\"\t" + item();  // not in the editors' form
        break;
    default: {
        const int n = int(r.bounded(12));
        for (int i = 0; i < n; ++i) {
            const QChar c(ushort(1 + r.bounded(255)));
            line += c;
        }
        line.replace("\r\n", "\r");
        break;
    }
    }
    if (line == ".")
        line = "..";
    return line;
}

inline QStringList RandomFile(QRandomGenerator& r, int maxLines = 8)
{
    QStringList lines;
    const int n = 1 + int(r.bounded(maxLines));
    for (int i = 0; i < n; ++i)
        lines << RandomFileLine(r);
    return lines;
}
