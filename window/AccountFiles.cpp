// Exporting a domain's accounts to a CSV file and adding accounts from one.

#include "window/AccountFiles.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "protocol/AccountCsv.h"
#include <algorithm>

#include "window/BulkAddDialog.h"
#include "actions/ScriptTarget.h"
#include "session/BulkAddRunner.h"
#include "window/MessageSeam.h"
#include "window/ServerTree.h"
#include "window/frmMain.h"

namespace {
// A file of accounts larger than this is no list of accounts to add.
constexpr qint64 MaxImportBytes = 64 * 1024 * 1024;

QPushButton* PanelButton(frmMain& w, const QString& text, int left, int top, int width)
{
    auto* b = new QPushButton(text, w.fraDomainProperties);
    b->setGeometry(w.Px(left), w.Px(top), w.Px(width), w.Px(375));
    b->hide();
    return b;
}
}  // namespace

AccountFiles::AccountFiles(frmMain& window) : QObject(&window), w_(window)
{
    // In the row the custom domain check box holds in the add mode, under the two commands.
    addFromFile_ = PanelButton(w_, QStringLiteral("Add Accounts from File..."), 480, 1320, 1935);
    export_ = PanelButton(w_, QStringLiteral("Export Accounts..."), 2760, 1320, 1815);
    // A caption the face draws wider than the designed width widens its button, and the button
    // beside it moves along rather than overlap.
    for (QPushButton* b : {addFromFile_, export_}) {
        const int caption = b->fontMetrics().horizontalAdvance(b->text()) +
                            2 * b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) + w_.Px(60);
        b->resize(std::max({b->width(), b->sizeHint().width(), caption}), b->height());
    }
    export_->move(std::max(export_->x(), addFromFile_->geometry().right() + w_.Px(120)), export_->y());
    connect(export_, &QPushButton::clicked, this, &AccountFiles::exportAccounts);
    connect(addFromFile_, &QPushButton::clicked, this, &AccountFiles::addAccountsFromFile);
    // They are shown with Print User List (the domain panel's edit mode), never with a custom domain.
    w_.cmdPrintUserList->installEventFilter(this);
    w_.cmdRemoveCustDomain->installEventFilter(this);

    runner_ = new BulkAddRunner(*w_.Session, this);

    chooseExportFile = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(&w_, QStringLiteral("Export Accounts"), suggested,
                                            QStringLiteral("CSV files (*.csv);;All files (*)"));
    };
    chooseImportFile = [this] {
        return QFileDialog::getOpenFileName(&w_, QStringLiteral("Add Accounts from File"), QDir::homePath(),
                                            QStringLiteral("CSV files (*.csv);;All files (*)"));
    };
}

bool AccountFiles::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
        followPanel();
    return QObject::eventFilter(watched, event);
}

void AccountFiles::followPanel()
{
    const bool shown = !w_.cmdPrintUserList->isHidden() && w_.cmdRemoveCustDomain->isHidden();
    export_->setVisible(shown);
    addFromFile_->setVisible(shown);
}

bool AccountFiles::listIsLoaded(const QString& whatFails)
{
    const QString domain = w_.txtDomainName->text();
    // As for printing: until the shown domain's list has arrived whole, UserEntries holds another
    // domain's list, or part of this one's; the list is keyed by server and domain, since another
    // server may hold a domain of the same name.
    if (!w_.ShownDomainListIsLoaded()) {
        w_.ShowMessage(QStringLiteral("The account list of the domain %1 has not been loaded yet, so %2. "
                                      "Wait until its accounts are shown in the tree, then try again.")
                           .arg(domain, whatFails),
                       MsgIcon::Exclamation);
        return false;
    }
    return true;
}

// ------------------------------------------------------------------------------------ export

void AccountFiles::exportAccounts()
{
    const QString domain = w_.txtDomainName->text();
    if (!listIsLoaded(QStringLiteral("it cannot be exported")))
        return;
    // The question and the file dialog let events run, and a script may read another list
    // meanwhile: the list is taken as it stood when it was checked.
    QList<ExportAccount> accounts;
    accounts.reserve(w_.Session->UserEntries.size());
    for (const UserEntry& e : std::as_const(w_.Session->UserEntries)) {
        const QString& nk = e.nameAndKind;
        accounts.append({nk.left(nk.size() - 1), nk.endsWith(QLatin1Char('M'), Qt::CaseInsensitive),
                         e.password});
    }
    const bool withPasswords =
        w_.AskYesNo(QStringLiteral("Would you like to include the passwords on the list?"),
                    QStringLiteral("Include Passwords?"), true);
    const QString path =
        chooseExportFile(QDir::home().filePath(domain + QStringLiteral("-accounts.csv")));
    if (path.isEmpty())
        return;
    QString error;
    if (!WriteWholeFile(path, AccountsCsv(accounts, withPasswords), &error))
        w_.ShowMessage(QStringLiteral("The accounts of %1 could not be written to %2.\r\n\r\n%3\r\n\r\nNo "
                                      "file was written.")
                           .arg(domain, QDir::toNativeSeparators(path), error),
                       MsgIcon::Critical);
}

// ------------------------------------------------------------------------------------ bulk add

void AccountFiles::addAccountsFromFile()
{
    if (runner_->running()) {
        w_.ShowMessage(QStringLiteral("Accounts are still being added from a file. Wait until that has "
                                      "ended, then try again."),
                       MsgIcon::Exclamation);
        return;
    }
    const QPersistentModelIndex domainNode = w_.SelectedDomainIndex;
    const QPersistentModelIndex serverNode = w_.SelectedServerIndex;
    if (!domainNode.isValid() || !serverNode.isValid() || w_.NodeTag(domainNode) == Tree::CustDomainTag)
        return;
    const QString domain = w_.NodeText(domainNode);
    if (domain != w_.txtDomainName->text())
        return;
    if (!listIsLoaded(QStringLiteral("accounts cannot be added from a file")))
        return;
    QSet<QString> existing;
    existing.reserve(w_.Session->UserEntries.size());
    for (const UserEntry& e : std::as_const(w_.Session->UserEntries))
        existing.insert(e.nameAndKind.left(e.nameAndKind.size() - 1).toLower());
    const BulkAddRunner::Target target{ScriptServerOf(w_, w_.NodeKey(serverNode)), domain, w_.NodeKey(domainNode)};

    const QString path = chooseImportFile();
    if (path.isEmpty())
        return;
    QFile file(path);
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!file.open(QIODevice::ReadOnly)) {
        w_.ShowMessage(QStringLiteral("The file %1 could not be read.\r\n\r\n%2\r\n\r\nNo account was added to %3.")
                           .arg(shownPath, file.errorString(), domain),
                       MsgIcon::Exclamation);
        return;
    }
    if (file.size() > MaxImportBytes) {
        w_.ShowMessage(QStringLiteral("The file %1 is larger than %2 MB and is not read as a list of "
                                      "accounts.\r\n\r\nNo account was added to %3.")
                           .arg(shownPath)
                           .arg(MaxImportBytes / (1024 * 1024))
                           .arg(domain),
                       MsgIcon::Exclamation);
        return;
    }
    // The file's bytes are let go once its rows are read: only the compact rows stay.
    QString refusal;
    const BulkAccountRows rows = [&] {
        const QByteArray bytes = file.readAll();
        file.close();
        return ReadBulkAccounts(bytes, existing, &refusal);
    }();
    if (!refusal.isEmpty()) {
        w_.ShowMessage(QStringLiteral("The file %1 is not read as a list of accounts: %2.\r\n\r\nName the columns "
                                      "once each (name, password, kind), the name column among them, or leave "
                                      "the header row out.\r\n\r\nNo account was added to %3.")
                           .arg(shownPath, refusal, domain),
                       MsgIcon::Exclamation);
        return;
    }
    if (rows.isEmpty()) {
        w_.ShowMessage(QStringLiteral("The file %1 holds no accounts.\r\n\r\nNo account was added to %2.")
                           .arg(shownPath, domain),
                       MsgIcon::Exclamation);
        return;
    }

    if (dialog_)
        dialog_->deleteLater();
    auto* dialog = new BulkAddDialog(domain, QFileInfo(path).fileName(), rows, &w_);
    dialog_ = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Window-modal: while the rows go out, the tree cannot be used to start other actions.
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &BulkAddDialog::addRequested, this, [this, target, rows] {
        runner_->scriptQueued = [this, target](quint64 serial) { HoldForPassword(w_, target.server, serial); };
        runner_->start(target, rows);
    });
    connect(dialog, &BulkAddDialog::stopRequested, runner_, &BulkAddRunner::cancel);
    connect(runner_, &BulkAddRunner::rowFinished, dialog, &BulkAddDialog::showRowOutcome);
    connect(runner_, &BulkAddRunner::finished, dialog, &BulkAddDialog::showFinished);
    dialog->show();
}
