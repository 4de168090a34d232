#pragma once
// tazelctl's command line: OBJECT VERB [ARGS] with options anywhere before a "--", the table of
// every verb with its arguments and options, and the help texts built from that table.

#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

#include "cli/Output.h"

struct VerbEntry {
    const char* object;
    const char* verb;
    const char* args;     // as the help shows them: "D NAME"
    int minArgs;
    int maxArgs;          // -1: any number
    const char* options;  // the verb's own options, space separated: "--with-passwords --list"
    const char* summary;
    bool change;          // changes something on the server (--dry-run applies)
};

// Every verb, in the order the help lists them.
const QList<VerbEntry>& Verbs();
const VerbEntry* FindVerb(const QString& object, const QString& verb);

struct Options {
    bool help = false;
    bool version = false;
    bool verbose = false;
    QString server;       // -s
    QString host;         // --host
    QString login;        // --login
    QString passwordFile; // --password-file
    int timeoutSeconds = 60;
    std::optional<OutputForm> output;
    bool noHeaders = false;
    bool dryRun = false;
    QSet<QString> flags;  // the verb's own switches, "--with-passwords" ...
    QString since;        // log --since
    QString file;         // -f, --file: dump's output, diff's and apply's state file
    QString against;      // diff --against NAME: another stored server
    QStringList customNames;  // dump --custom NAME (repeated)
    QStringList words;    // OBJECT VERB ARGS...
};

// Parses argv (without the program's name). False with a message for a usage error.
bool ParseCommandLine(const QStringList& args, Options* options, QString* error);

QString MainHelp();
QString ObjectHelp(const QString& object);
QString VerbHelp(const VerbEntry& entry);
bool IsObject(const QString& object);
