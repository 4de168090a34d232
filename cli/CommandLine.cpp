#include "cli/CommandLine.h"

const QList<VerbEntry>& Verbs()
{
    static const QList<VerbEntry> verbs = {
        {"server", "list", "", 0, 0, "", "the stored servers: name, address, port, login", false},
        {"domain", "list", "", 0, 0, "", "domains and custom domains: name, kind", false},
        {"domain", "add", "D", 1, 1, "--custom", "add the domain D (a custom domain with --custom)", true},
        {"domain", "del", "D", 1, 1, "", "remove the domain D and all of its accounts", true},
        {"account", "list", "D", 1, 1, "--with-passwords", "the accounts of D: name, kind [, password]", false},
        {"account", "show", "D NAME", 2, 2, "",
         "the account, its aliases, variables, mail processing and POP3 links", false},
        {"account", "add", "D NAME", 2, 2, "--list --password-stdin",
         "add an account (a mailing list with --list); its password from standard input or a prompt", true},
        {"account", "del", "D NAME", 2, 2, "", "delete an account or mailing list", true},
        {"account", "passwd", "D NAME", 2, 2, "--password-stdin",
         "set an account's password from standard input or a prompt typed twice", true},
        {"account", "export", "D", 1, 1, "--with-passwords", "the accounts of D as CSV", false},
        {"account", "import", "D FILE.csv", 2, 2, "",
         "add the accounts of a CSV file (name, password, kind), one report line per row", true},
        {"member", "list", "D LIST", 2, 2, "", "the members of a mailing list: address, access", false},
        {"member", "add", "D LIST ADDR", 3, 3, "--read-only", "add a member (read and post unless --read-only)", true},
        {"member", "del", "D LIST ADDR", 3, 3, "", "remove a member", true},
        {"alias", "list", "D ACCOUNT", 2, 2, "", "the aliases of an account", false},
        {"alias", "add", "D ALIAS ACCOUNT", 3, 3, "", "add an alias of an account", true},
        {"alias", "del", "D ALIAS [ACCOUNT]", 2, 3, "",
         "remove an alias (with ACCOUNT its aliases are read back)", true},
        {"var", "list", "D ACCOUNT", 2, 2, "", "the variables of an account: name, value", false},
        {"var", "set", "D ACCOUNT NAME=VALUE...", 3, -1, "--yes",
         "set RealName, HomePage, MaxMBSize or ClosedML (saves the mail processing too, as the panel does)", true},
        {"mailproc", "get", "D ACCOUNT", 2, 2, "", "the account's mailproc.tab on standard output", false},
        {"mailproc", "set", "D ACCOUNT [FILE]", 2, 3, "--yes",
         "replace the account's mailproc.tab with FILE (or standard input); refused whole if a line cannot be sent",
         true},
        {"custdomain", "get", "NAME", 1, 1, "", "the custom domain's file on standard output", false},
        {"custdomain", "set", "NAME [FILE]", 1, 2, "",
         "replace the custom domain's file with FILE (or standard input); refused whole if a line cannot be sent",
         true},
        {"custdomain", "del", "NAME", 1, 1, "", "remove the custom domain", true},
        {"pop3", "list", "D ACCOUNT", 2, 2, "", "the account's POP3 links: user, server", false},
        {"pop3", "add", "D ACCOUNT SERVER USER", 4, 4, "--apop --password-stdin",
         "add and enable a POP3 link; its password from standard input or a prompt", true},
        {"pop3", "del", "D ACCOUNT SERVER USER", 4, 4, "", "disable and remove a POP3 link", true},
        {"pop3", "enable", "D ACCOUNT SERVER USER", 4, 4, "", "switch a POP3 link on", true},
        {"pop3", "disable", "D ACCOUNT SERVER USER", 4, 4, "", "switch a POP3 link off", true},
        {"dump", "", "[DOMAIN...]", 0, -1, "--custom --no-passwords --accounts-only -f",
         "the server's state as a YAML state file (every domain and custom domain unless named; --custom NAME "
         "for a custom domain) on standard output or into -f FILE",
         false},
        {"diff", "", "[DOMAIN...]", 0, -1, "-f --against",
         "the plan that makes the server hold the state file -f FILE (or what the stored server --against NAME "
         "holds): one line per change; exit 0 when nothing differs, 1 when something does",
         false},
        {"apply", "", "", 0, 0, "-f --prune --yes",
         "make the server hold the state file -f FILE, by running the plan (removals only with --prune, only "
         "inside the file's domains); asks on a terminal unless --yes",
         true},
        {"log", "", "", 0, 0, "--since", "the activity journal: time, program, server, action, outcome", false},
        {"search", "", "TEXT", 1, 1, "--accounts",
         "find TEXT on every stored server at once (or -s NAME): domains and custom domains holding it; with "
         "ACCOUNT@DOMAIN (or --accounts) accounts and aliases too: server, domain, name, kind",
         false},
    };
    return verbs;
}

const VerbEntry* FindVerb(const QString& object, const QString& verb)
{
    for (const VerbEntry& v : Verbs())
        if (object == QLatin1String(v.object) && verb == QLatin1String(v.verb))
            return &v;
    return nullptr;
}

bool IsObject(const QString& object)
{
    for (const VerbEntry& v : Verbs())
        if (object == QLatin1String(v.object))
            return true;
    return false;
}

namespace {
// The verbs' switches: known everywhere, allowed only where the verb lists them.
const QStringList VerbSwitches = {QStringLiteral("--with-passwords"), QStringLiteral("--list"),
                                  QStringLiteral("--read-only"), QStringLiteral("--password-stdin"),
                                  QStringLiteral("--apop"), QStringLiteral("--custom"), QStringLiteral("--yes"),
                                  QStringLiteral("--accounts"), QStringLiteral("--no-passwords"),
                                  QStringLiteral("--accounts-only"), QStringLiteral("--prune")};
}  // namespace

bool ParseCommandLine(const QStringList& args, Options* o, QString* error)
{
    bool optionsEnd = false;
    for (int i = 0; i < args.size(); ++i) {
        QString a = args.at(i);
        if (optionsEnd || a == QLatin1String("-") || !a.startsWith(QLatin1Char('-'))) {
            o->words << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        QString value;
        bool inlineValue = false;
        if (a.startsWith(QLatin1String("--")) && a.contains(QLatin1Char('='))) {
            value = a.section(QLatin1Char('='), 1);
            a = a.section(QLatin1Char('='), 0, 0);
            inlineValue = true;
        } else if (a.size() > 2 && !a.startsWith(QLatin1String("--")) && (a.startsWith(QLatin1String("-s")) ||
                                                                         a.startsWith(QLatin1String("-o")))) {
            value = a.mid(2);
            a = a.left(2);
            inlineValue = true;
        }
        auto takeValue = [&](QString* to) {
            if (inlineValue) {
                *to = value;
                return true;
            }
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("option %1 needs a value").arg(a);
                return false;
            }
            *to = args.at(++i);
            return true;
        };
        auto noValue = [&] {
            if (inlineValue)
                *error = QStringLiteral("option %1 takes no value").arg(a);
            return !inlineValue;
        };
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            if (!noValue())
                return false;
            o->help = true;
        } else if (a == QLatin1String("--version")) {
            if (!noValue())
                return false;
            o->version = true;
        } else if (a == QLatin1String("-v") || a == QLatin1String("--verbose")) {
            if (!noValue())
                return false;
            o->verbose = true;
        } else if (a == QLatin1String("-s") || a == QLatin1String("--server")) {
            if (!takeValue(&o->server))
                return false;
        } else if (a == QLatin1String("--host")) {
            if (!takeValue(&o->host))
                return false;
        } else if (a == QLatin1String("--login")) {
            if (!takeValue(&o->login))
                return false;
        } else if (a == QLatin1String("--password-file")) {
            if (!takeValue(&o->passwordFile))
                return false;
        } else if (a == QLatin1String("--since")) {
            if (!takeValue(&o->since))
                return false;
            o->flags.insert(a);
        } else if (a == QLatin1String("-f") || a == QLatin1String("--file")) {
            if (!takeValue(&o->file))
                return false;
            o->flags.insert(QStringLiteral("-f"));
        } else if (a == QLatin1String("--against")) {
            if (!takeValue(&o->against))
                return false;
            o->flags.insert(a);
        } else if (a == QLatin1String("--custom") && o->words.value(0) == QLatin1String("dump")) {
            // dump --custom NAME names a custom domain (domain add --custom is a switch).
            QString name;
            if (!takeValue(&name))
                return false;
            o->customNames << name;
            o->flags.insert(a);
        } else if (a == QLatin1String("--timeout")) {
            QString t;
            if (!takeValue(&t))
                return false;
            bool ok = false;
            const int n = t.toInt(&ok);
            if (!ok || n < 1 || n > 86400) {
                *error = QStringLiteral("--timeout takes a whole number of seconds from 1 to 86400");
                return false;
            }
            o->timeoutSeconds = n;
        } else if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
            QString t;
            if (!takeValue(&t))
                return false;
            OutputForm form;
            if (!ParseOutputForm(t, &form)) {
                *error = QStringLiteral("-o takes table, tab, csv or json, not \"%1\"").arg(t);
                return false;
            }
            o->output = form;
        } else if (a == QLatin1String("--no-headers")) {
            if (!noValue())
                return false;
            o->noHeaders = true;
        } else if (a == QLatin1String("--dry-run")) {
            if (!noValue())
                return false;
            o->dryRun = true;
        } else if (VerbSwitches.contains(a)) {
            if (!noValue())
                return false;
            o->flags.insert(a);
        } else {
            *error = QStringLiteral("unknown option %1").arg(a);
            return false;
        }
    }
    return true;
}

QString MainHelp()
{
    QString t = QStringLiteral(
        "Usage: tazelctl [OPTIONS] OBJECT VERB [ARGS]\n"
        "Reads and changes a Tazel mail server's domains and accounts, as Tazel Administrator does.\n\n"
        "Objects:");
    QStringList seen;
    for (const VerbEntry& v : Verbs()) {
        const QString object = QLatin1String(v.object);
        if (seen.contains(object))
            continue;
        seen << object;
        QStringList verbs;
        for (const VerbEntry& w : Verbs())
            if (object == QLatin1String(w.object) && *w.verb)
                verbs << QLatin1String(w.verb);
        t += QStringLiteral("\n  %1%2").arg(object.leftJustified(12), verbs.join(QLatin1Char(' ')));
    }
    t += QStringLiteral(
        "\n\nChoosing the server:\n"
        "  -s, --server NAME       a stored server, by the name the window shows\n"
        "  --host HOST[:PORT]      a server that is not stored (port 6017)\n"
        "  --login NAME            its administrator login (admin)\n"
        "  --password-file FILE    its password from the file's first line; else TAZEL_PASSWORD,\n"
        "                          else a prompt on the terminal\n"
        "  --timeout SECONDS       give up when the server is silent this long (60)\n\n"
        "Output:\n"
        "  -o, --output FORM       table (on a terminal), tab (otherwise), csv or json\n"
        "  --no-headers            no header row\n"
        "  --dry-run               print the requests a change would send and send nothing\n"
        "  -v, --verbose           progress on standard error\n"
        "  -h, --help              this help; tazelctl OBJECT --help lists the object's verbs\n"
        "  --version               the version\n\n"
        "Exit codes: 0 done, 1 the server refused, 64 usage, 65 a value the protocol cannot carry\n"
        "(nothing sent), 66 an input file cannot be read, 67 no stored server of that name,\n"
        "69 the server cannot be reached, 75 no answer in time or the connection closed mid-reply,\n"
        "77 the login was refused.\n");
    return t;
}

QString VerbHelp(const VerbEntry& v)
{
    QString usage = QStringLiteral("tazelctl [OPTIONS] %1").arg(QLatin1String(v.object));
    if (*v.verb)
        usage += QLatin1Char(' ') + QLatin1String(v.verb);
    if (*v.args)
        usage += QLatin1Char(' ') + QLatin1String(v.args);
    if (*v.options) {
        for (const QString& opt : QString::fromLatin1(v.options).split(QLatin1Char(' ')))
            usage += QStringLiteral(" [%1%2]").arg(opt, opt == QLatin1String("--since")     ? QStringLiteral(" TIME")
                                                       : opt == QLatin1String("-f")        ? QStringLiteral(" FILE")
                                                       : opt == QLatin1String("--against") ? QStringLiteral(" NAME")
                                                       : opt == QLatin1String("--custom") && v.object == QLatin1String("dump")
                                                           ? QStringLiteral(" NAME")
                                                           : QString());
    }
    return usage + QStringLiteral("\n  ") + QLatin1String(v.summary) + QLatin1Char('\n');
}

QString ObjectHelp(const QString& object)
{
    QString t = QStringLiteral("Usage:\n");
    for (const VerbEntry& v : Verbs())
        if (object == QLatin1String(v.object))
            t += QStringLiteral("  ") + VerbHelp(v).replace(QStringLiteral("\n  "), QStringLiteral("\n      "));
    return t + QStringLiteral("\nSee tazelctl --help for the options every verb takes.\n");
}
