// The verbs that talk to a server. Each queues the window's own script for the action (session/
// Scripts.h), waits for it, and prints what the steps delivered. Reads that need to know whether
// an account is a user or a mailing list (the window knows it from the tree) look the account up
// first with the one-account form of the account list, then read it as the window does.

#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <QTimer>
#include <cstdio>

#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/Passwords.h"
#include "cli/SessionRun.h"
#include "session/BulkAddRunner.h"
#include "protocol/Protocol.h"
#include "protocol/AccountTable.h"
#include "protocol/ListRules.h"
#include "protocol/AccountCsv.h"

namespace {

const QString CliKey = QStringLiteral("tazelctl");  // the key the tree steps get (no tree here)


int Finish(SessionRun& run, RowWriter* writer)
{
    const int code = run.exec();
    if (writer && !writer->end()) {
        Err(QStringLiteral("standard output could not take the whole list"));
        return code == Exit::Ok ? Exit::CantCreate : code;
    }
    return code;
}

int Queued(SessionRun& run, const QueuedScript& q)
{
    return q ? Exit::Ok : run.refuse(q.refusal);
}

// The password a verb sends: standard input with --password-stdin, otherwise a prompt typed twice.
bool NewPassword(const CliContext& c, const QString& what, QString* password, int* code)
{
    QString error;
    if (c.options.flags.contains(QStringLiteral("--password-stdin"))) {
        if (ReadPasswordStdin(password, &error))
            return true;
        *code = Exit::NoInput;
    } else {
        bool mismatch = false;
        if (PromptNewPassword(what, password, &mismatch, &error))
            return true;
        *code = mismatch ? Exit::DataErr : Exit::Usage;
        if (!mismatch)
            error += QStringLiteral(" Give it on standard input with --password-stdin.");
    }
    Err(error);
    return false;
}

// A password the protocol cannot carry is refused without being repeated: standard error often
// ends up in a log.
bool PasswordSendable(const QString& password)
{
    if (IsSendable(TrimSpaces(password)))
        return true;
    Err(QStringLiteral("the password cannot be sent to the server: it holds a double quote, a control character "
                       "(a TAB, a line break, DEL, ...) or a character outside Latin-1. Nothing was changed."));
    return false;
}

// ---------------------------------------------------------------- domains

int DomainList(SessionRun& run)
{
    auto w = run.writer();
    w->begin({QStringLiteral("name"), QStringLiteral("kind")});
    if (const int code = Queued(run, Scripts::LoadDomains(run.session, run.context.server, false)))
        return code;
    int code = run.exec();
    if (code == Exit::Ok) {
        // The window's rule for a damaged list: the domains up to the bad entry, and an error.
        const QStringList& names = run.session.DomainNames;
        const DomainListCheck check = CheckDomainList(names);
        const QString domain = QStringLiteral("domain"), custom = QStringLiteral("custom");
        for (qsizetype i = 0; i < check.sound; ++i)
            w->row({names.at(i), domain});
        // The server reports each custom domain once; an empty or repeated line adds nothing.
        QSet<QString> seen;
        for (const QString& d : std::as_const(run.session.CustomDomainNames)) {
            if (d.isEmpty() || seen.contains(d))
                continue;
            seen.insert(d);
            w->row({d, custom});
        }
        if (check.damaged) {
            Err(QStringLiteral("the server's domain list is damaged (an empty entry or a domain listed twice, "
                               "as domains.tab holds it); the domains before that entry are listed"));
            code = Exit::ServerRefused;
        }
    }
    if (!w->end(code == Exit::Ok))
        return Exit::CantCreate;
    return code;
}

// ---------------------------------------------------------------- accounts

// The account list, written as it arrives: rows are taken from the session's table as the reader
// fills it (it hands the event loop back every few milliseconds), so a long list starts printing
// at once and is never held a second time.
int AccountList(SessionRun& run, const QString& domain)
{
    const bool withPasswords = run.context.options.flags.contains(QStringLiteral("--with-passwords"));
    auto w = run.writer();
    QStringList columns{QStringLiteral("name"), QStringLiteral("kind")};
    if (withPasswords)
        columns << QStringLiteral("password");
    w->begin(columns);
    qsizetype printed = 0;
    const QByteArray user = "user", list = "list";
    auto pump = [&] {
        const AccountTable& t = run.session.UserEntries;
        if (printed >= t.size())
            return;
        for (; printed < t.size(); ++printed) {
            const QByteArrayView name = Accounts::Name(t, printed);
            if (name.isEmpty())
                continue;
            const char k = Accounts::KindLetter(t, printed);
            const QByteArrayView kind = k == 'M' || k == 'm' ? QByteArrayView(list)
                                        : k == 'U' || k == 'u' ? QByteArrayView(user)
                                                               : QByteArrayView(&k, 1);
            if (withPasswords)
                w->row({name, kind, t.password(printed)});
            else
                w->row({name, kind});
        }
        w->flushNow();
    };
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, pump);
    run.view.onUsers = pump;
    if (const int code = Queued(run, Scripts::LoadUsers(run.session, run.context.server, domain, CliKey, false)))
        return code;
    // Only a table being filled is read: the driver empties it before its request.
    if (run.context.form != OutputForm::Table)
        timer.start();
    const int code = run.exec();
    timer.stop();
    run.view.onUsers = nullptr;
    if (!w->end(code == Exit::Ok))
        return code == Exit::Ok ? Exit::CantCreate : code;
    return code;
}

int AccountExport(SessionRun& run, const QString& domain)
{
    const bool withPasswords = run.context.options.flags.contains(QStringLiteral("--with-passwords"));
    if (const int code = Queued(run, Scripts::LoadUsers(run.session, run.context.server, domain, CliKey, false)))
        return code;
    const int code = run.exec();
    if (code != Exit::Ok)
        return code;
    // Only a list that reached its end is exported, as in the window.
    if (!run.session.HoldsWholeAccountList(domain)) {
        Err(QStringLiteral("the account list of %1 was not read whole; nothing was exported").arg(domain));
        return Exit::TempFail;
    }
    QList<ExportAccount> accounts;
    accounts.reserve(run.session.UserEntries.size());
    for (const UserEntry& e : std::as_const(run.session.UserEntries)) {
        const QString& nk = e.nameAndKind;
        accounts.append({nk.left(nk.size() - 1), nk.endsWith(QLatin1Char('M'), Qt::CaseInsensitive), e.password});
    }
    const QByteArray csv = AccountsCsv(accounts, withPasswords);
    if (std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout) != size_t(csv.size()) || std::fflush(stdout))
        return Exit::CantCreate;
    return Exit::Ok;
}

// Looks the account up, then queues the window's read of it (as a user or a mailing list); after
// that read has ended well, `after` runs (to queue a change that needs what was read).
int ReadAccountDetails(SessionRun& run, const QString& domain, const QString& account,
                       std::function<void()> after = {})
{
    if (const int code = Queued(run, Scripts::ReadAccount(run.session, run.context.server, domain, account)))
        return code;
    run.then([&run, domain, account, after] {
        if (!run.view.delivered().account) {
            Err(QStringLiteral("the server did not send the account %1@%2").arg(account, domain));
            run.fail(Exit::ServerRefused);
            return;
        }
        const QueuedScript q = Scripts::LoadAccount(run.session, run.context.server, domain, account,
                                                    run.view.delivered().accountIsList);
        if (!q)
            run.fail(run.refuse(q.refusal));
        else if (after)
            run.then(after);
    });
    return run.exec();
}

// A whole file from FILE, or from standard input when none (or "-") is given, as the editors
// would hold it after a download. False (with the exit code) when it cannot be read, or holds a
// line the editors could not send back as it stands: such a file is refused whole.
bool ReadEditorsFile(const QString& path, bool withMailbox, FileEditors* editors, int* code)
{
    QFile f;
    const bool fromStdin = path.isEmpty() || path == QLatin1String("-");
    const bool opened = fromStdin ? f.open(stdin, QIODevice::ReadOnly) : (f.setFileName(path), f.open(QIODevice::ReadOnly));
    if (!opened) {
        Err(QStringLiteral("%1 cannot be read: %2").arg(fromStdin ? QStringLiteral("standard input") : path, f.errorString()));
        *code = Exit::NoInput;
        return false;
    }
    const QByteArray bytes = f.readAll();
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) {
        Err(QStringLiteral("%1 is not UTF-8 text; nothing was sent").arg(fromStdin ? QStringLiteral("standard input") : path));
        *code = Exit::DataErr;
        return false;
    }
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    *editors = FileEditors();
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!AddFileLine(*editors, line, withMailbox)) {
            Err(QStringLiteral("line %1 cannot be sent as it stands (a control character, a TAB or \",\" that would "
                               "not come back as written, or a character outside Latin-1); nothing was sent")
                    .arg(i + 1));
            *code = Exit::DataErr;
            return false;
        }
    }
    const QString refusal = CheckFileEditors(*editors);
    if (!refusal.isEmpty()) {
        Err(PlainLines(refusal));
        *code = Exit::DataErr;
        return false;
    }
    return true;
}

// The change of a read-then-change verb, queued once the read has ended well: checked first, and
// in a dry run sent only to the dry-run connection.
void QueueChange(SessionRun& run, const std::function<QueuedScript()>& queue)
{
    if (run.context.options.dryRun)
        run.goDry();
    const QueuedScript q = queue();
    if (!q)
        run.fail(run.refuse(q.refusal));
}

// The mail-processing save's check; a file the server did not send is replaced only with --yes.
bool MailProcSaveAllowed(SessionRun& run, const QString& domain, const QString& account, const FileEditors& editors)
{
    const Scripts::SaveCheck check = Scripts::CheckMailProcSave(run.session, domain, account, editors);
    if (!check.refusal.isEmpty()) {
        run.fail(run.refuse(check.refusal));
        return false;
    }
    if (!check.question.isEmpty()) {
        if (!run.context.options.flags.contains(QStringLiteral("--yes"))) {
            Err(PlainLines(check.question) + QStringLiteral(" Give --yes to save; nothing was sent."));
            run.fail(Exit::Usage);
            return false;
        }
        Scripts::ConfirmMailProcOverwrite(run.session, domain, account);
    }
    return true;
}

int VarSet(SessionRun& run, const QString& domain, const QString& account, const QStringList& assignments)
{
    // The four variables of the account panel, by the names the server gives them.
    static const QStringList names = {QStringLiteral("RealName"), QStringLiteral("HomePage"),
                                      QStringLiteral("MaxMBSize"), QStringLiteral("ClosedML")};
    QList<QPair<QString, QString>> changes;
    for (const QString& a : assignments) {
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        const QString name = a.left(eq);
        if (eq < 0 || !names.contains(name)) {
            Err(QStringLiteral("var set takes NAME=VALUE with NAME one of %1, not \"%2\"").arg(names.join(QStringLiteral(", ")), a));
            return Exit::Usage;
        }
        const QString value = a.mid(eq + 1);
        if (name == QLatin1String("ClosedML") && value != QLatin1String("0") && value != QLatin1String("1")) {
            Err(QStringLiteral("ClosedML is 0 or 1"));
            return Exit::DataErr;
        }
        changes.append({name, value});
    }
    if (run.context.options.dryRun)
        run.readForReal();
    return ReadAccountDetails(run, domain, account, [&run, domain, account, changes] {
        ServerSession& s = run.session;
        Scripts::UserVarsForm form;
        auto current = [&s](const QString& name) {
            const qsizetype i = s.UserVarNames.indexOf(name);
            return i < 0 ? QString() : s.UserVarValues.value(i);
        };
        form.realName = current(QStringLiteral("RealName"));
        form.homePage = current(QStringLiteral("HomePage"));
        form.maxMBSize = current(QStringLiteral("MaxMBSize"));
        form.closedML = current(QStringLiteral("ClosedML")) == QLatin1String("1");
        for (const auto& [name, value] : changes) {
            if (name == QLatin1String("RealName")) form.realName = value;
            else if (name == QLatin1String("HomePage")) form.homePage = value;
            else if (name == QLatin1String("MaxMBSize")) form.maxMBSize = value;
            else form.closedML = value == QLatin1String("1");
        }
        const QString refusal = Scripts::UserVarsRefusal(account + QLatin1Char('@') + domain, form);
        if (!refusal.isEmpty()) {
            run.fail(run.refuse(refusal));
            return;
        }
        // The save uploads the mail-processing file too, as the editors hold it after the read.
        const FileEditors editors = run.view.delivered().files[int(FileKind::MailProc)];
        if (!MailProcSaveAllowed(run, domain, account, editors))
            return;
        run.view.uploadFiles[int(FileKind::MailProc)] = editors;
        QueueChange(run, [&] { return Scripts::SaveUserVars(s, run.context.server, domain, account, form); });
    });
}

int MailProcSet(SessionRun& run, const QString& domain, const QString& account, const QString& path)
{
    FileEditors editors;
    int code = Exit::Ok;
    if (!ReadEditorsFile(path, true, &editors, &code))
        return code;
    if (run.context.options.dryRun)
        run.readForReal();
    return ReadAccountDetails(run, domain, account, [&run, domain, account, editors] {
        if (!MailProcSaveAllowed(run, domain, account, editors))
            return;
        run.view.uploadFiles[int(FileKind::MailProc)] = editors;
        QueueChange(run, [&] { return Scripts::SaveMailProc(run.session, run.context.server, domain, account); });
    });
}

int CustomDomainSet(SessionRun& run, const QString& name, const QString& path)
{
    FileEditors editors;
    int code = Exit::Ok;
    if (!ReadEditorsFile(path, false, &editors, &code))
        return code;
    // A save never uploads an empty file, which would remove the custom domain.
    if (Scripts::CustomDomainEditorEmpty(editors))
        editors.advanced = QStringLiteral("\n");
    if (run.context.options.dryRun)
        run.readForReal();
    if (const int code = Queued(run, Scripts::LoadCustomDomain(run.session, run.context.server, name)))
        return code;
    run.then([&run, name, editors] {
        run.view.uploadFiles[int(FileKind::CustomDomain)] = editors;
        QueueChange(run, [&] { return Scripts::SaveCustomDomain(run.session, run.context.server, name, editors); });
    });
    return run.exec();
}

// The mail-processing file as its lines, from what the editors hold of the download.
QByteArray FileText(const FileEditors& editors, bool withMailbox)
{
    QByteArray body = ComposeFileBody(editors, withMailbox);
    if (body.endsWith(".\r\n"))
        body.chop(3);
    body.replace("\r\n", "\n");
    QByteArray utf8;
    AppendLatin1AsUtf8(utf8, body);
    return utf8;
}

int PrintFile(SessionRun& run, FileKind kind, const EditorSource& source, const QString& what)
{
    if (source.state == EditorSource::NotSent) {
        Err(QStringLiteral("the server sent no %1 (its answer: %2)").arg(what, source.serverAnswer));
        return Exit::Ok;
    }
    if (source.state != EditorSource::Complete && source.state != EditorSource::Unholdable) {
        Err(QStringLiteral("the %1 was not read whole").arg(what));
        return Exit::TempFail;
    }
    if (source.state == EditorSource::Unholdable)
        Err(QStringLiteral("note: the %1 holds a line that is not shown exactly as the server has it").arg(what));
    const QByteArray text = FileText(run.view.delivered().files[int(kind)], kind == FileKind::MailProc);
    if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size()) || std::fflush(stdout))
        return Exit::CantCreate;
    return Exit::Ok;
}

int AccountDetails(SessionRun& run, const QString& what, const QString& domain, const QString& account)
{
    const int code = ReadAccountDetails(run, domain, account);
    if (code != Exit::Ok)
        return code;
    ServerSession& s = run.session;
    const CliView::Delivered& d = run.view.delivered();
    if (what == QLatin1String("mailproc"))
        return PrintFile(run, FileKind::MailProc, s.MailProcEditor,
                         QStringLiteral("mail processing file of %1@%2").arg(account, domain));
    auto w = run.writer();
    if (what == QLatin1String("alias")) {
        w->begin({QStringLiteral("alias")});
        for (const QString& a : std::as_const(s.AliasEntries))
            w->row({a});
    } else if (what == QLatin1String("var")) {
        w->begin({QStringLiteral("name"), QStringLiteral("value")});
        for (qsizetype i = 0; i < s.UserVarNames.size(); ++i)
            w->row({s.UserVarNames.at(i), s.UserVarValues.value(i)});
    } else if (what == QLatin1String("pop3")) {
        w->begin({QStringLiteral("user"), QStringLiteral("server")});
        for (qsizetype i = 0; i < s.Pop3LinkUsers.size(); ++i)
            w->row({s.Pop3LinkUsers.at(i), s.Pop3LinkServers.value(i)});
    } else if (what == QLatin1String("member")) {
        if (!d.accountIsList) {
            Err(QStringLiteral("%1@%2 is no mailing list").arg(account, domain));
            return Exit::DataErr;
        }
        w->begin({QStringLiteral("address"), QStringLiteral("access")});
        for (const QString& m : d.memberLines)
            w->row({m.mid(4), m.startsWith(QLatin1Char('R')) ? QStringLiteral("read-only")
                                                              : QStringLiteral("read-write")});
    } else {
        // account show: one row per fact, so every output form can carry it.
        w->begin({QStringLiteral("field"), QStringLiteral("value")});
        w->row({QStringLiteral("name"), d.accountName});
        w->row({QStringLiteral("kind"), d.accountIsList ? QStringLiteral("list") : QStringLiteral("user")});
        for (const QString& m : d.memberLines)
            w->row({QStringLiteral("member"), m.mid(4) + (m.startsWith(QLatin1Char('R')) ? QStringLiteral(" (read-only)")
                                                                                           : QString())});
        for (const QString& a : std::as_const(s.AliasEntries))
            w->row({QStringLiteral("alias"), a});
        for (qsizetype i = 0; i < s.UserVarNames.size(); ++i)
            w->row({QStringLiteral("var ") + s.UserVarNames.at(i), s.UserVarValues.value(i)});
        const FileEditors& mp = d.files[int(FileKind::MailProc)];
        w->row({QStringLiteral("mailbox"), mp.mailbox || s.MailProcEditor.state == EditorSource::NotSent
                                               ? QStringLiteral("yes")
                                               : QStringLiteral("no")});
        for (const QString& r : mp.redirects)
            w->row({QStringLiteral("redirect"), r});
        for (const QString& r : mp.lredirects)
            w->row({QStringLiteral("lredirect"), r});
        if (HasAdvancedText(mp.advanced))
            for (const QString& line : mp.advanced.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                w->row({QStringLiteral("mailproc"), line});
        for (qsizetype i = 0; i < s.Pop3LinkUsers.size(); ++i)
            w->row({QStringLiteral("pop3"), s.Pop3LinkUsers.at(i) + QLatin1Char('@') + s.Pop3LinkServers.value(i)});
    }
    return w->end() ? Exit::Ok : Exit::CantCreate;
}

int CustomDomainGet(SessionRun& run, const QString& name)
{
    if (const int code = Queued(run, Scripts::LoadCustomDomain(run.session, run.context.server, name)))
        return code;
    const int code = run.exec();
    if (code != Exit::Ok)
        return code;
    return PrintFile(run, FileKind::CustomDomain, run.session.CustomDomainEditor,
                     QStringLiteral("custom domain file of %1").arg(name));
}

// Adds the accounts of a CSV file with the window's rules: the file's rows get their verdicts
// against the domain's accounts as read now, then the accepted rows are added one script each by
// the bulk add's runner, which reads the domain back at the end. One report line per row of the
// file, in the file's order.
int AccountImport(SessionRun& run, const QString& domain, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Err(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
        return Exit::NoInput;
    }
    const QByteArray bytes = file.readAll();
    const bool dryRun = run.context.options.dryRun;
    if (dryRun)
        run.readForReal();
    if (const int code = Queued(run, Scripts::LoadUsers(run.session, run.context.server, domain, CliKey, false)))
        return code;
    if (const int code = run.exec())
        return code;
    if (!run.session.HoldsWholeAccountList(domain)) {
        Err(QStringLiteral("the account list of %1 was not read whole; nothing was added").arg(domain));
        return Exit::TempFail;
    }
    QSet<QString> existing;
    existing.reserve(run.session.UserEntries.size());
    for (const UserEntry& e : std::as_const(run.session.UserEntries))
        existing.insert(e.nameAndKind.left(e.nameAndKind.size() - 1).toLower());
    QString refusal;
    const BulkAccountRows rows = ReadBulkAccounts(bytes, existing, &refusal);
    if (!refusal.isEmpty()) {
        // A header that names a column twice or has no name column: nothing is read or sent.
        Err(QStringLiteral("%1 is not read as a list of accounts: %2; nothing was added").arg(path, refusal));
        return Exit::DataErr;
    }
    QStringList outcomes;
    outcomes.reserve(rows.size());
    int accepted = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const bool ok = rows.ok(i);
        outcomes << (ok ? (dryRun ? QStringLiteral("would be added") : QStringLiteral("not added: not sent"))
                        : rows.verdict(i));
        accepted += ok ? 1 : 0;
    }
    int code = Exit::Ok;
    int notAdded = 0;
    if (!dryRun && accepted > 0) {
        BulkAddRunner runner(run.session);
        QObject::connect(&runner, &BulkAddRunner::rowFinished,
                         [&](int row, bool, const QString& outcome) { outcomes[row] = outcome; });
        QObject::connect(&runner, &BulkAddRunner::finished, [&](int, int failed, bool readBack) {
            notAdded = failed;
            run.finish();
            if (!readBack)
                Err(QStringLiteral("the account list of %1 could not be read back; the rows not confirmed are "
                                   "reported as their answers said")
                        .arg(domain));
        });
        run.restart();
        run.busy = [&runner] { return runner.running(); };
        runner.start({run.context.server, domain, CliKey}, rows);
        code = run.exec();
        run.busy = nullptr;
        if (code == Exit::Ok && notAdded > 0)
            code = Exit::ServerRefused;
    }
    auto w = run.writer();
    w->begin({QStringLiteral("line"), QStringLiteral("name"), QStringLiteral("kind"), QStringLiteral("outcome")});
    for (qsizetype i = 0; i < rows.size(); ++i) {
        w->row({QString::number(rows.line(i)), rows.name(i),
                rows.kind(i) == QLatin1String("M") ? QStringLiteral("list") : QStringLiteral("user"),
                outcomes.at(i)});
    }
    if (!w->end())
        return code == Exit::Ok ? Exit::CantCreate : code;
    return code;
}

}  // namespace

int RunSessionVerb(const CliContext& c)
{
    SessionRun run(c);
    const QString object = QLatin1String(c.entry->object);
    const QString verb = QLatin1String(c.entry->verb);
    const QStringList a = c.options.words.mid(2);
    const ScriptServer& server = c.server;
    ServerSession& s = run.session;

    auto change = [&](const QueuedScript& q) {
        if (!q)
            return run.refuse(q.refusal);
        return Finish(run, nullptr);
    };
    auto requireText = [&](const QString& value, const QString& what) {
        if (!TrimSpaces(value).isEmpty())
            return true;
        Err(QStringLiteral("%1 is empty").arg(what));
        return false;
    };

    if (object == QLatin1String("domain")) {
        if (verb == QLatin1String("list"))
            return DomainList(run);
        if (!requireText(a.at(0), QStringLiteral("the domain name")))
            return Exit::Usage;
        if (verb == QLatin1String("add") && c.options.flags.contains(QStringLiteral("--custom"))) {
            // A new custom domain starts as a file of one empty line.
            FileEditors fresh;
            fresh.advanced = QStringLiteral("\n");
            run.view.uploadFiles[int(FileKind::CustomDomain)] = fresh;
            return change(Scripts::AddCustomDomain(s, server, a.at(0)));
        }
        if (verb == QLatin1String("add"))
            return change(Scripts::AddDomain(s, server, a.at(0)));
        if (verb == QLatin1String("del"))
            return change(Scripts::RemoveDomain(s, server, a.at(0)));
    } else if (object == QLatin1String("account")) {
        if (verb == QLatin1String("list"))
            return AccountList(run, a.at(0));
        if (verb == QLatin1String("export"))
            return AccountExport(run, a.at(0));
        if (verb == QLatin1String("import"))
            return AccountImport(run, a.at(0), a.at(1));
        if (verb == QLatin1String("show"))
            return AccountDetails(run, object, a.at(0), a.at(1));
        if (verb == QLatin1String("del"))
            return change(Scripts::DeleteUser(s, server, a.at(0), CliKey, a.at(1)));
        if (verb == QLatin1String("add") || verb == QLatin1String("passwd")) {
            // The values are checked before the password is asked for.
            const QString name = verb == QLatin1String("add") ? TrimSpaces(a.at(1)).toLower() : a.at(1);
            const QString refusal = Scripts::UnsendableMessage({a.at(0), name});
            if (!refusal.isEmpty())
                return run.refuse(refusal);
            QString password;
            int code = Exit::Ok;
            if (!NewPassword(c, QStringLiteral("password of %1@%2").arg(name, a.at(0)), &password, &code))
                return code;
            if (!PasswordSendable(password))
                return Exit::DataErr;
            if (verb == QLatin1String("add"))
                return change(Scripts::AddUser(s, server, a.at(0), CliKey, a.at(1), password,
                                               c.options.flags.contains(QStringLiteral("--list"))));
            return change(Scripts::SetPassword(s, server, a.at(0), a.at(1), password));
        }
    } else if (object == QLatin1String("member")) {
        if (verb == QLatin1String("list"))
            return AccountDetails(run, object, a.at(0), a.at(1));
        if (!requireText(a.at(2), QStringLiteral("the member address")))
            return Exit::Usage;
        if (verb == QLatin1String("add"))
            return change(Scripts::AddListMember(s, server, a.at(0), a.at(1), a.at(2),
                                                 c.options.flags.contains(QStringLiteral("--read-only"))));
        if (verb == QLatin1String("del"))
            return change(Scripts::RemoveListMember(s, server, a.at(0), a.at(1), a.at(2)));
    } else if (object == QLatin1String("alias")) {
        if (verb == QLatin1String("list"))
            return AccountDetails(run, object, a.at(0), a.at(1));
        if (verb == QLatin1String("add"))
            return change(Scripts::AddAlias(s, server, a.at(0), a.at(2), a.at(1)));
        if (verb == QLatin1String("del"))
            return change(Scripts::RemoveAlias(s, server, a.at(0), a.value(2), a.at(1)));
    } else if (object == QLatin1String("var")) {
        if (verb == QLatin1String("set"))
            return VarSet(run, a.at(0), a.at(1), a.mid(2));
        return AccountDetails(run, object, a.at(0), a.at(1));
    } else if (object == QLatin1String("mailproc")) {
        if (verb == QLatin1String("set"))
            return MailProcSet(run, a.at(0), a.at(1), a.value(2));
        return AccountDetails(run, object, a.at(0), a.at(1));
    } else if (object == QLatin1String("pop3")) {
        if (verb == QLatin1String("list"))
            return AccountDetails(run, object, a.at(0), a.at(1));
        if (verb == QLatin1String("del"))
            return change(Scripts::RemovePop3Link(s, server, a.at(0), a.at(1), a.at(2), a.at(3)));
        if (verb == QLatin1String("enable") || verb == QLatin1String("disable"))
            return change(Scripts::SwitchPop3Link(s, server, a.at(0), a.at(1), a.at(2), a.at(3),
                                                  verb == QLatin1String("enable")));
        if (verb == QLatin1String("add")) {
            const QString refusal = Scripts::UnsendableMessage({a.at(0), a.at(1), a.at(2), a.at(3)});
            if (!refusal.isEmpty())
                return run.refuse(refusal);
            QString password;
            int code = Exit::Ok;
            if (!NewPassword(c, QStringLiteral("POP3 password of %1@%2").arg(a.at(3), a.at(2)), &password, &code))
                return code;
            if (!PasswordSendable(password))
                return Exit::DataErr;
            return change(Scripts::AddPop3Link(s, server, a.at(0), a.at(1), a.at(2), a.at(3), password,
                                               c.options.flags.contains(QStringLiteral("--apop"))));
        }
    } else if (object == QLatin1String("custdomain")) {
        if (verb == QLatin1String("get"))
            return CustomDomainGet(run, a.at(0));
        if (verb == QLatin1String("set"))
            return CustomDomainSet(run, a.at(0), a.value(1));
        if (verb == QLatin1String("del")) {
            run.view.uploadFiles[int(FileKind::CustomDomain)] = FileEditors();
            return change(Scripts::RemoveCustomDomain(s, server, a.at(0)));
        }
    }
    Err(QStringLiteral("%1 %2 is not known").arg(object, verb));
    return Exit::Usage;
}
