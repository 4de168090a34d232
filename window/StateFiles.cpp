// The window's state file commands: save, compare with a file, compare with another server.

#include "window/StateFiles.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QSaveFile>

#include "actions/ScriptTarget.h"
#include "session/ActivityLog.h"
#include "session/PlanRunner.h"
#include "session/StateYaml.h"
#include "store/ServerStore.h"
#include "window/MainMenu.h"
#include "window/ServerTree.h"
#include "window/frmMain.h"

StateFiles::StateFiles(frmMain& window) : QObject(&window), w_(window)
{
    reader_ = new StateReader(this);
    otherReader_ = new StateReader(this);
    runner_ = new PlanRunner(this);
    // Every step of a plan run from the window is a row of the activity log and a line of the
    // journal, as the window's other changes are.
    journal_ = std::make_unique<ActivityJournal>(QStringLiteral("tazel-admin"));
    runner_->session().Reports.addObserver(journal_.get());
    if (w_.Activity)
        runner_->session().Reports.addObserver(w_.Activity);

    // In the File menu, before its last entry (Quit).
    QMenu* file = w_.Menu->fileMenu();
    save_ = new QAction(QStringLiteral("Save S&tate..."), this);
    compareFile_ = new QAction(QStringLiteral("Compare with State &File..."), this);
    compareServer_ = new QAction(QStringLiteral("Compare with &Server..."), this);
    if (file) {
        QAction* last = file->actions().isEmpty() ? nullptr : file->actions().last();
        file->insertAction(last, save_);
        file->insertAction(last, compareFile_);
        file->insertAction(last, compareServer_);
        file->insertSeparator(last);
    }
    connect(save_, &QAction::triggered, this, &StateFiles::saveState);
    connect(compareFile_, &QAction::triggered, this, &StateFiles::compareWithFile);
    connect(compareServer_, &QAction::triggered, this, &StateFiles::compareWithServer);

    chooseSaveFile = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(&w_, QStringLiteral("Save State"), suggested,
                                            QStringLiteral("State files (*.yaml);;All files (*)"));
    };
    chooseOpenFile = [this] {
        return QFileDialog::getOpenFileName(&w_, QStringLiteral("Compare with State File"), QDir::homePath(),
                                            QStringLiteral("State files (*.yaml);;All files (*)"));
    };
    chooseServer = [this](const QStringList& names) {
        bool ok = false;
        const QString name = QInputDialog::getItem(&w_, QStringLiteral("Compare with Server"),
                                                   QStringLiteral("The server whose state this one should hold:"),
                                                   names, 0, false, &ok);
        return ok ? name : QString();
    };
}

StateFiles::~StateFiles()
{
    runner_->session().Reports.removeObserver(journal_.get());
    if (w_.Activity)
        runner_->session().Reports.removeObserver(w_.Activity);
}

bool StateFiles::busy() const
{
    return reader_->running() || otherReader_->running() || runner_->running();
}

bool StateFiles::shownDomain(QString* serverKey, QString* domain)
{
    const QPersistentModelIndex domainNode = w_.SelectedDomainIndex;
    const QPersistentModelIndex serverNode = w_.SelectedServerIndex;
    if (!domainNode.isValid() || !serverNode.isValid() || w_.NodeTag(domainNode) == Tree::CustDomainTag) {
        w_.ShowMessage(QStringLiteral("Select a domain first: its state is what is saved or compared."),
                       MsgIcon::Exclamation);
        return false;
    }
    *serverKey = w_.NodeKey(serverNode);
    *domain = w_.NodeText(domainNode);
    return true;
}

bool StateFiles::serverOf(const QString& serverKey, ScriptServer* server)
{
    *server = ScriptServerOf(w_, serverKey);
    if (server->login.password)
        return true;
    w_.ShowMessage(QStringLiteral("The password of the server %1 is not known yet (it is still on its way from the "
                                  "keyring, or cannot be had). Nothing was read.")
                       .arg(server->name),
                   MsgIcon::Exclamation);
    return false;
}

void StateFiles::read(const ScriptServer& server, const StateReader::Request& request,
                      std::function<void(const ServerState&)> then)
{
    StateReader* reader = reader_->running() ? otherReader_ : reader_;
    reader->disconnect(this);
    connect(reader, &StateReader::finished, this, [this, reader, server, then](bool ok, const QString& error) {
        reader->disconnect(this);
        if (!ok) {
            w_.ShowMessage(QStringLiteral("The state of the server %1 could not be read: %2\r\n\r\nNothing was changed.")
                               .arg(server.name, error),
                           MsgIcon::Exclamation);
            return;
        }
        then(reader->state);
    });
    reader->start(server, request);
}

void StateFiles::saveState()
{
    QString serverKey, domain;
    ScriptServer server;
    if (busy() || !shownDomain(&serverKey, &domain) || !serverOf(serverKey, &server))
        return;
    const QString path = chooseSaveFile(QDir::home().filePath(domain + QStringLiteral(".yaml")));
    if (path.isEmpty())
        return;
    StateReader::Request request;
    request.domains = {domain};
    read(server, request, [this, path, domain](const ServerState& state) {
        // The file holds passwords: it is the owner's alone, and a write cut short replaces nothing.
        QSaveFile f(path);
        const QByteArray yaml = StateYaml::Write(state);
        bool written = f.open(QIODevice::WriteOnly);
        if (written) {
            f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            written = f.write(yaml) == yaml.size() && f.commit();
        }
        if (!written)
            w_.ShowMessage(QStringLiteral("The state of %1 could not be written to %2.\r\n\r\n%3\r\n\r\nNo file was written.")
                               .arg(domain, QDir::toNativeSeparators(path), f.errorString()),
                           MsgIcon::Critical);
    });
}

void StateFiles::compareWithFile()
{
    QString serverKey, domain;
    ScriptServer server;
    if (busy() || !shownDomain(&serverKey, &domain) || !serverOf(serverKey, &server))
        return;
    const QString path = chooseOpenFile();
    if (path.isEmpty())
        return;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        w_.ShowMessage(QStringLiteral("The file %1 could not be read.\r\n\r\n%2")
                           .arg(QDir::toNativeSeparators(path), f.errorString()),
                       MsgIcon::Exclamation);
        return;
    }
    ServerState desired;
    StateYaml::ReadError error;
    if (!StateYaml::Read(f.readAll(), &desired, &error)) {
        w_.ShowMessage(QStringLiteral("The file %1 is not a state file: %2%3.\r\n\r\nNothing was compared.")
                           .arg(QDir::toNativeSeparators(path), error.line > 0 ? error.where() + QStringLiteral(": ") : QString(),
                                error.text),
                       MsgIcon::Exclamation);
        return;
    }
    showPlan(server, desired, QStringLiteral("%1 compared with %2").arg(server.name, QFileInfo(path).fileName()));
}

void StateFiles::compareWithServer()
{
    const QPersistentModelIndex serverNode = w_.SelectedServerIndex;
    if (busy() || !serverNode.isValid())
        return;
    ScriptServer server;
    if (!serverOf(w_.NodeKey(serverNode), &server))
        return;
    QStringList names, keys;
    for (int slot = 1; slot <= w_.ServerCount; ++slot) {
        const QString section = ServerSection(slot);
        if (section == server.key || !ReadTruth(ReadSetting(*w_.Settings, section, Store::ActiveKey)))
            continue;
        names << ReadSetting(*w_.Settings, section, Store::NameKey);
        keys << section;
    }
    if (names.isEmpty()) {
        w_.ShowMessage(QStringLiteral("There is no other stored server to compare %1 with.").arg(server.name),
                       MsgIcon::Exclamation);
        return;
    }
    const qsizetype chosen = names.indexOf(chooseServer(names));
    ScriptServer other;
    if (chosen < 0 || !serverOf(keys.at(chosen), &other))
        return;
    // What the other server holds is what this one should hold.
    read(other, StateReader::Request(), [this, server, other](const ServerState& desired) {
        showPlan(server, desired, QStringLiteral("%1 compared with %2").arg(server.name, other.name));
    });
}

void StateFiles::showPlan(const ScriptServer& server, const ServerState& desired, const QString& title)
{
    StateReader::Request request;
    for (const StateDomain& d : desired.domains)
        request.domains << d.name;
    for (const StateCustomDomain& c : desired.customDomains)
        request.customDomains << c.name;
    request.accountsOnly = !StatesDetails(desired);
    request.skipMissing = true;
    read(server, request, [this, server, desired, title](const ServerState& current) {
        const Plan plan = ComputePlan(current, desired, true);
        if (dialog_)
            dialog_->deleteLater();
        auto* dialog = new PlanDialog(title, plan, &w_);
        dialog_ = dialog;
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        runner_->disconnect(this);
        connect(dialog, &PlanDialog::applyRequested, this, [this, server, plan](const std::vector<bool>& ticked) {
            runner_->start(server, plan, ticked);
        });
        connect(dialog, &PlanDialog::cancelRequested, runner_, &PlanRunner::cancel);
        connect(runner_, &PlanRunner::stepFinished, dialog, &PlanDialog::showStepOutcome);
        connect(runner_, &PlanRunner::progress, dialog, &PlanDialog::showProgress);
        connect(runner_, &PlanRunner::finished, dialog, &PlanDialog::showFinished);
        // The tree and the panels show the result: the server's lists are read again.
        connect(runner_, &PlanRunner::finished, this, [this, server] {
            Queued(w_, server, Scripts::LoadDomains(*w_.Session, server, false));
        });
        dialog->show();
    });
}
