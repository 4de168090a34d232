#include "window/FindAllDialog.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <vector>

#include "window/ResultOpener.h"
#include "window/ServerPasswords.h"
#include "window/SshSettings.h"
#include "window/frmMain.h"

// The results as they arrive, in arrival order: appended in batches, one reply's worth at a time.
class SearchResultModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(rows_.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const SearchResult& r = rows_[size_t(index.row())];
        switch (index.column()) {
        case 0: return r.server;
        case 1: return r.domain;
        case 2: return r.name;
        case 3: return KindText(r.kind);
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        static const char* const titles[] = {"Server", "Domain", "Name", "Kind"};
        return section >= 0 && section < 4 ? QString::fromLatin1(titles[section]) : QString();
    }
    void append(const QList<SearchResult>& results)
    {
        if (results.isEmpty())
            return;
        const int first = int(rows_.size());
        beginInsertRows({}, first, first + int(results.size()) - 1);
        rows_.insert(rows_.end(), results.begin(), results.end());
        endInsertRows();
    }
    void clear()
    {
        beginResetModel();
        rows_.clear();
        endResetModel();
    }
    const SearchResult& at(int row) const { return rows_[size_t(row)]; }

    static QString KindText(const QString& kind)
    {
        return kind == QLatin1String("custom") ? QStringLiteral("custom domain") : kind;
    }

private:
    std::vector<SearchResult> rows_;
};

FindAllDialog::FindAllDialog(frmMain* window)
    : QWidget(window, Qt::Window), w_(window), results_(new SearchResultModel(this)), opener_(new ResultOpener(window))
{
    setWindowTitle(QStringLiteral("Find on All Servers"));
    setObjectName(QStringLiteral("FindAllDialog"));
    Search = new ServerSearch(this);
    // A server reached through SSH is searched through SSH too, ssh's questions in the window's dialog.
    Search->SetTransportMaker(&SshSettings::MakeTransport);

    txtFind = new QLineEdit(this);
    txtFind->setPlaceholderText(QStringLiteral("a domain, or an address: bob@example"));
    cmdSearch = new QPushButton(QStringLiteral("&Search"), this);
    cmdStop = new QPushButton(QStringLiteral("S&top"), this);
    cmdStop->setEnabled(false);
    chkAccounts = new QCheckBox(QStringLiteral("Search every domain's &accounts"), this);
    tblResults = new QTableView(this);
    tblResults->setModel(results_);
    tblResults->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblResults->setSelectionMode(QAbstractItemView::SingleSelection);
    tblResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblResults->verticalHeader()->hide();
    tblResults->horizontalHeader()->setStretchLastSection(true);
    tblResults->verticalHeader()->setDefaultSectionSize(tblResults->fontMetrics().height() + 6);
    lstServers = new QTreeWidget(this);
    lstServers->setHeaderLabels({QStringLiteral("Server"), QStringLiteral("Status"), QStringLiteral("Progress")});
    lstServers->setRootIsDecorated(false);
    lstServers->setMaximumHeight(160);

    auto* findRow = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("&Find:"), this);
    label->setBuddy(txtFind);
    findRow->addWidget(label);
    findRow->addWidget(txtFind, 1);
    findRow->addWidget(cmdSearch);
    findRow->addWidget(cmdStop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(findRow);
    layout->addWidget(chkAccounts);
    layout->addWidget(tblResults, 1);
    layout->addWidget(lstServers);
    resize(640, 480);

    connect(cmdSearch, &QPushButton::clicked, this, &FindAllDialog::cmdSearch_Click);
    connect(txtFind, &QLineEdit::returnPressed, this, &FindAllDialog::cmdSearch_Click);
    connect(cmdStop, &QPushButton::clicked, this, &FindAllDialog::cmdStop_Click);
    connect(tblResults, &QAbstractItemView::doubleClicked, this, &FindAllDialog::OpenResult);
    connect(Search, &ServerSearch::ResultsFound, results_, &SearchResultModel::append);
    connect(Search, &ServerSearch::StatusChanged, this, &FindAllDialog::ShowServerStatus);
    connect(Search, &ServerSearch::Finished, this, &FindAllDialog::SearchFinished);
}

FindAllDialog::~FindAllDialog()
{
    Search->disconnect(this);
}

int FindAllDialog::ResultCount() const
{
    return results_->rowCount();
}

const SearchResult& FindAllDialog::ResultAt(int row) const
{
    return results_->at(row);
}

void FindAllDialog::cmdSearch_Click()
{
    const QString text = txtFind->text();
    const QString refusal = ServerSearch::RefusalOf(text);
    if (!refusal.isEmpty()) {
        w_->ShowMessage(refusal, MsgIcon::Exclamation);
        return;
    }
    QList<SearchServer> servers = StoredSearchServers(*w_->Settings);
    // The passwords the window holds (the keyring's as they were read); one still on its way is
    // waited for by that server alone.
    if (ServerPasswords* passwords = w_->Passwords) {
        for (SearchServer& server : servers)
            server.login.password = passwords->PasswordFor(server.key);
        QPointer<ServerPasswords> source(passwords);
        Search->SetPasswordSource([source](const QString& key, ServerSearch::PasswordAnswer answer) {
            if (source)
                source->WhenPasswordKnown(key, std::move(answer));
            else
                answer(std::nullopt, QStringLiteral("the window has closed"));
        });
    }
    if (servers.isEmpty()) {
        w_->ShowMessage(QStringLiteral("There is no stored server to search. Add a server first."), MsgIcon::Exclamation);
        return;
    }
    Search->Stop();
    results_->clear();
    lstServers->clear();
    for (const SearchServer& server : servers) {
        auto* row = new QTreeWidgetItem(lstServers, {server.name, QString()});
        auto* bar = new QProgressBar(lstServers);
        bar->setVisible(false);
        bar->setMaximumHeight(lstServers->fontMetrics().height() + 4);
        lstServers->setItemWidget(row, 2, bar);
    }
    cmdStop->setEnabled(true);
    Search->Start(servers, text, chkAccounts->isChecked());
    for (int i = 0; i < Search->ServerCount(); ++i)
        ShowServerStatus(i);
}

void FindAllDialog::closeEvent(QCloseEvent* event)
{
    Search->Stop();
    QWidget::closeEvent(event);
}

void FindAllDialog::cmdStop_Click()
{
    Search->Stop();
}

void FindAllDialog::ShowServerStatus(int server)
{
    QTreeWidgetItem* row = lstServers->topLevelItem(server);
    if (!row)
        return;
    const SearchStatus& status = Search->Status(server);
    row->setText(1, status.text());
    if (auto* bar = qobject_cast<QProgressBar*>(lstServers->itemWidget(row, 2))) {
        bar->setVisible(status.domainsTotal > 0);
        bar->setMaximum(qMax(1, status.domainsTotal));
        bar->setValue(status.domainsDone);
    }
}

void FindAllDialog::SearchFinished()
{
    cmdStop->setEnabled(false);
    for (int i = 0; i < Search->ServerCount(); ++i)
        ShowServerStatus(i);
}

void FindAllDialog::OpenResult(const QModelIndex& index)
{
    if (index.isValid() && index.row() < results_->rowCount())
        opener_->Open(results_->at(index.row()));
}
