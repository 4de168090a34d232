#pragma once
// The text of a custom domain file and of an account's "mailproc.tab", as the editors hold it.
//
// Both files are lines of TAB-separated, double-quoted fields whose first field is a keyword.
// A "redirect" and an "lredirect" line become list items (one per field after the keyword); in a
// mail-processing file a "mailbox" line ticks local storage; every other line is kept whole in the
// advanced text, quotes kept and each TAB shown as ",", so nothing the server holds is lost. A file
// downloaded and saved unedited goes back line for line, each byte for byte.
// The advanced text uses "\n" between lines, as the multi-line box holds it; on the wire every line
// ends in CR LF.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct FileEditors {
    bool mailbox = false;
    QStringList redirects;
    QStringList lredirects;
    QString advanced;
};

// Adds one data line of a downloaded file (as received, quotes kept) to the editors, and returns
// whether they hold it as it is: saved unedited, it goes back byte for byte. A "mailbox" line (in a
// mail-processing file) ticks local storage and the first "redirect" and "lredirect" lines become
// the lists, but only when written exactly as the editors compose them; every other line (a second
// redirect line too) is kept in the advanced text. A line with a line break or another control
// character in it, or whose TABs and "," would not come back as they were, is not held.
// withMailbox: the file is a mailproc.tab, whose "mailbox" line ticks local storage.
bool AddFileLine(FileEditors& editors, const QString& line, bool withMailbox);

// True when the advanced text, trimmed of spaces (line ends stay), holds something to send.
bool HasAdvancedText(const QString& advanced);

// The advanced text as the box shows it after an upload: a final line end added when missing.
QString AdvancedWithFinalLineEnd(const QString& advanced);

// The whole upload body, the closing "." line included.
QByteArray ComposeFileBody(const FileEditors& editors, bool withMailbox);

// Why the editors cannot be uploaded, or an empty text when they can: a list item that cannot be
// sent inside quotes, an advanced line made of a single "." (it would end the file early on the
// server), a TAB, a control character or a character outside Latin-1 in the advanced text.
QString CheckFileEditors(const FileEditors& editors);
