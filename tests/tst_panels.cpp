// The property panels: captions and initial state, the modes of each Show routine and which
// panels they leave visible, user variables, password masking and the list clicks.
#include <QtTest>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStyle>
#include <QTabWidget>
#include <QAccessible>
#include <QStatusBar>
#include <QTabBar>
#include <QToolTip>
#include <QTreeView>

#include "tests/TestKit.h"
#include "window/ElidedTips.h"
#include "window/WindowLayout.h"
#include "window/TreeFilter.h"
#include "window/frmMain.h"

class TestPanels : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void captionsAndInitialState();
    void controlsSitAtTheirPlaces();
    void serverPanelModes_data();
    void serverPanelModes();
    void domainPanelModes_data();
    void domainPanelModes();
    void customDomainPanel();
    void userPanelModes_data();
    void userPanelModes();
    void listUsersTabFollowsTheAccountKind();
    void panelsFollowPanelLeft();
    void showsServerVersion_data();
    void showsServerVersion();
    void showsUserVars_data();
    void showsUserVars();
    void fillsAliasList();
    void passwordMasking();
    void listClicksEnableDeleteButtons();
    void statusPanels();
    void textFitsItsControl();
    void controlsGrowWithTheWindow();
    void handleMovesTheTreeEdge();
    void longEntriesEndInAnEllipsisWithATip();
    void everyControlHasAnAccessibleName();
    void tabGoesInReadingOrder();

private:
    std::unique_ptr<WindowFixture> fx;
    frmMain* w = nullptr;
};

void TestPanels::init()
{
    fx = std::make_unique<WindowFixture>();
    w = &fx->open();
}

void TestPanels::cleanup()
{
    fx.reset();
    w = nullptr;
}

// Which of the five containers are showing, as a word each: S D U T C.
static QString Showing(const frmMain& w)
{
    QString out;
    if (!w.fraServerProperties->isHidden()) out += 'S';
    if (!w.fraDomainProperties->isHidden()) out += 'D';
    if (!w.fraUserProperties->isHidden()) out += 'U';
    if (!w.tabUsers->isHidden()) out += 'T';
    if (!w.tabCustomDomain->isHidden()) out += 'C';
    return out;
}

static QString Shown(std::initializer_list<QWidget*> widgets)
{
    QString out;
    for (QWidget* x : widgets)
        out += x->isHidden() ? '-' : '+';
    return out;
}

void TestPanels::captionsAndInitialState()
{
    const QList<QPair<QAbstractButton*, QString>> captions = {
        {w->cmdAddServer, "Add New Server"}, {w->cmdUpdateServer, "Save Changes"},
        {w->cmdRemoveServer, "Remove Server"}, {w->chkHideServerPwd, "Hide Password"},
        {w->chkCustDomain, "Add as custom domain"}, {w->cmdRemoveCustDomain, "Remove Custom Domain"},
        {w->cmdAddDomain, "Add New Domain"}, {w->cmdRemoveDomain, "Remove this Domain"},
        {w->cmdPrintUserList, "Print User List"}, {w->chkAsList, "Mailing List Account"},
        {w->chkHideUserPwd, "Hide Password"}, {w->cmdSavePassword, "Save Password"},
        {w->cmdDeleteUser, "Delete User"}, {w->cmdAddUser, "Add New User/Account"},
        {w->optReadOnly, "Read only"}, {w->optReadAndPost, "Read and post"},
        {w->cmdAddListUser, "Add list user >>"}, {w->cmdDeleteListUser, "Delete list user"},
        {w->cmdAddAlias, "Add New Alias"}, {w->cmdDeleteAlias, "Delete Alias"},
        {w->chkMailbox, "Store mail locally"}, {w->chkClosedML, "Closed Mail List"},
        {w->cmdSaveUserVars, "Save Changes"}, {w->cmdAddRedirect, "Add Redirection"},
        {w->cmdDeleteRedirect, "Delete Redirect"}, {w->cmdAddLRedirect, "Add L-Redirection"},
        {w->cmdDeleteLRedirect, "Delete L-Redirection"}, {w->optCLR, "CLR"}, {w->optAPOP, "APOP"},
        {w->cmdAddPOP3, "Add External Link >>"}, {w->cmdDeletePOP3, "Delete External Link"},
        {w->cmdSaveAdvanced, "Save Changes"}, {w->cmdAddDomainRedirect, "Add Redirection"},
        {w->cmdDeleteDomainRedirect, "Delete Redirect"}, {w->cmdAddDomainLredirect, "Add L-Redirection"},
        {w->cmdDeleteDomainLredirect, "Delete L-Redirect"}, {w->cmdSaveDomainAdvanced, "Save Changes"},
    };
    for (const auto& [button, caption] : captions)
        QCOMPARE(button->text(), caption);

    QCOMPARE(w->tabUsers->count(), 5);
    const QStringList userTabs = {"List Users", "Aliases / Vars", "Redirection", "POP3", "Advanced"};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(w->tabUsers->tabText(i), userTabs[i]);
    QCOMPARE(w->tabCustomDomain->count(), 2);
    QCOMPARE(w->tabCustomDomain->tabText(0), QString("Domain Redirection"));
    QCOMPARE(w->tabCustomDomain->tabText(1), QString("Advanced Options"));
    QVERIFY(w->tabUsers->widget(4)->findChildren<QLabel*>().constFirst()->text()
            == QString("Advanced \"mailproc.tab\" settings"));

    // At start: every password box masked with "*", its check box ticked; CLR chosen; the delete
    // buttons of the redirection and POP3 lists waiting for a choice.
    for (QLineEdit* box : {w->txtServerPassword, w->txtPassword, w->txtPOP3Pass}) {
        QCOMPARE(box->echoMode(), QLineEdit::Password);
        QCOMPARE(box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box), int('*'));
    }
    QVERIFY(w->chkHideServerPwd->isChecked());
    QVERIFY(w->chkHideUserPwd->isChecked());
    QVERIFY(w->optCLR->isChecked());
    QVERIFY(!w->cmdDeleteRedirect->isEnabled());
    QVERIFY(!w->cmdDeleteLRedirect->isEnabled());
    QVERIFY(!w->cmdDeletePOP3->isEnabled());
    for (QPlainTextEdit* box : {w->txtExternal, w->txtDomainAdvanced})
        QCOMPARE(box->lineWrapMode(), QPlainTextEdit::NoWrap);

    // After the start the server panel alone is showing, ready to add a server.
    QCOMPARE(Showing(*w), QString("S"));
    QCOMPARE(w->fraServerProperties->title(), QString("Add New Server to Manage"));
    QCOMPARE(w->txtServerPort->text(), QString("6017"));
}

void TestPanels::controlsSitAtTheirPlaces()
{
    // Frames' controls at their designer positions (twips); the find box and the tree under it
    // share the tree's place at the left edge.
    const QRect treePlace(w->Px(0), w->Px(0), w->Px(3315), w->Px(5175));
    QCOMPARE(w->TreeFind->box()->geometry().united(w->DomainList->geometry()), treePlace);
    QVERIFY(w->TreeFind->box()->geometry().bottom() < w->DomainList->y());
    const QList<QPair<QWidget*, QRect>> places = {
        {w->txtServerName, QRect(240, 600, 1695, 285)},
        {w->txtServerPort, QRect(3960, 600, 735, 285)},
        {w->cmdRemoveServer, QRect(2640, 1920, 1815, 375)},
        {w->txtDomainName, QRect(240, 600, 4455, 285)},
        {w->cmdPrintUserList, QRect(2760, 1800, 1815, 375)},
        {w->cmdDeleteUser, QRect(3240, 1050, 1455, 375)},
    };
    for (const auto& [widget, tw] : places)
        QCOMPARE(widget->geometry(), QRect(w->Px(tw.x()), w->Px(tw.y()), w->Px(tw.width()), w->Px(tw.height())));
    // A caption keeps its place and grows when the face draws it wider than the designer did.
    QCOMPARE(w->chkHideServerPwd->pos(), QPoint(w->Px(2520), w->Px(1560)));
    QVERIFY(w->chkHideServerPwd->width() >= w->Px(1365));
    QVERIFY(w->chkHideServerPwd->width() >= w->chkHideServerPwd->sizeHint().width());
    QCOMPARE(w->cmdAddServer->geometry(), w->cmdUpdateServer->geometry());
    QCOMPARE(w->cmdAddDomain->geometry(), w->cmdRemoveDomain->geometry());
    QCOMPARE(w->fraServerProperties->size(), QSize(w->Px(4935), w->Px(2535)));
    QCOMPARE(w->tabUsers->size(), QSize(w->Px(4935), w->Px(3495)));
    // Controls of the tab pages keep their places relative to each other.
    QCOMPARE(w->txtRedirect->x(), w->Px(240));
    QCOMPARE(w->lstRedirects->y() - w->txtRedirect->y(), w->Px(1560) - w->Px(720));
    QCOMPARE(w->Px(w->Twips(300)), 300);
}

void TestPanels::serverPanelModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("buttons");  // add, update, remove
    QTest::addColumn<QString>("port");
    QTest::newRow("edit") << "edit" << "Server Properties" << "-++" << "1234";
    QTest::newRow("EDIT") << "EDIT" << "Server Properties" << "-++" << "1234";
    QTest::newRow("add") << "add" << "Add New Server to Manage" << "+--" << "6017";
    QTest::newRow("empty") << "" << "Add New Server to Manage" << "+--" << "6017";
    QTest::newRow("other") << "list" << "Add New Server to Manage" << "+--" << "6017";
}

void TestPanels::serverPanelModes()
{
    QFETCH(QString, mode);
    QFETCH(QString, caption);
    QFETCH(QString, buttons);
    QFETCH(QString, port);
    w->ShowUserPanel("edit");
    w->tabCustomDomain->show();
    w->txtServerPort->setText("1234");
    w->txtServerName->setText("kept only when editing");
    w->ShowServerPanel(mode);
    QCOMPARE(w->fraServerProperties->title(), caption);
    QCOMPARE(Shown({w->cmdAddServer, w->cmdUpdateServer, w->cmdRemoveServer}), buttons);
    QCOMPARE(w->txtServerPort->text(), port);
    QCOMPARE(w->txtServerName->text().isEmpty(), port == "6017");
    QCOMPARE(Showing(*w), QString("S"));
    QCOMPARE(w->fraServerProperties->pos(), QPoint(w->Px(w->PanelLeft), 0));
}

void TestPanels::domainPanelModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("top");           // twips; -1: where it was
    QTest::addColumn<QString>("showing");
    QTest::addColumn<QString>("buttons");   // add, remove, print, remove custom, custom check box
    QTest::addColumn<bool>("nameEnabled");
    QTest::newRow("add keeps the server panel above") << "add" << "Add New Domain" << 2640 << "SD"
                                                      << "+---+" << true;
    QTest::newRow("edit hides it") << "Edit" << "Domain Properties" << 0 << "D" << "-++--" << false;
    QTest::newRow("neither") << "other" << "Start" << -1 << "SD" << "?????" << false;
}

void TestPanels::domainPanelModes()
{
    QFETCH(QString, mode);
    QFETCH(QString, caption);
    QFETCH(int, top);
    QFETCH(QString, showing);
    QFETCH(QString, buttons);
    QFETCH(bool, nameEnabled);
    w->ShowCustomDomainPanel();  // the custom-domain form, to be undone
    w->ShowServerPanel("edit");
    w->fraDomainProperties->setTitle("Start");
    w->fraDomainProperties->move(0, 123);
    w->txtDomainName->setText("example.com");
    w->txtDomainName->setEnabled(false);
    const QString before = Shown({w->cmdAddDomain, w->cmdRemoveDomain, w->cmdPrintUserList,
                                  w->cmdRemoveCustDomain, w->chkCustDomain});
    w->ShowDomainPanel(mode);

    QCOMPARE(w->fraDomainProperties->title(), caption);
    QCOMPARE(Showing(*w), showing);
    QCOMPARE(w->fraDomainProperties->pos(), QPoint(w->Px(w->PanelLeft), top < 0 ? 123 : w->Px(top)));
    QCOMPARE(w->fraDomainProperties->height(), w->Px(2535));
    const QString now = Shown({w->cmdAddDomain, w->cmdRemoveDomain, w->cmdPrintUserList,
                               w->cmdRemoveCustDomain, w->chkCustDomain});
    if (buttons.startsWith('?'))  // only the custom domain button goes
        QCOMPARE(now, before.left(3) + '-' + before.right(1));
    else
        QCOMPARE(now, buttons);
    QCOMPARE(w->txtDomainName->isEnabled(), nameEnabled);
    QCOMPARE(w->txtDomainName->text().isEmpty(), mode == "add");
}

void TestPanels::customDomainPanel()
{
    for (const bool fromEdit : {true, false}) {
        w->ShowDomainPanel(fromEdit ? "edit" : "add");
        w->ShowCustomDomainPanel();
        QCOMPARE(w->fraDomainProperties->title(), QString("Domain Properties"));
        QCOMPARE(Showing(*w), QString("DC"));
        // The domain buttons below the shorter frame's edge are hidden, out of Tab's reach.
        QCOMPARE(Shown({w->cmdAddDomain, w->cmdRemoveDomain, w->cmdRemoveCustDomain, w->chkCustDomain,
                        w->cmdPrintUserList}),
                 QString("--+--"));
        QVERIFY(!w->txtDomainName->isEnabled());
        QCOMPARE(w->fraDomainProperties->geometry(),
                 QRect(w->Px(w->PanelLeft), 0, w->Px(4935), w->Px(1575)));
        QCOMPARE(w->tabCustomDomain->pos(), QPoint(w->Px(w->PanelLeft), w->Px(1680)));
    }
}

void TestPanels::userPanelModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("showing");
    QTest::addColumn<QString>("controls");  // add, save password, delete, as list, closed list
    QTest::newRow("add") << "add" << "Add New User/Account" << 2640 << 2535 << "DU" << "+--+";
    QTest::newRow("edit") << "edit" << "User/Account Properties" << 0 << 1575 << "UT" << "-++--";
    QTest::newRow("list") << "LIST" << "Mailing List Properties" << 0 << 1575 << "UT" << "-++-+";
}

void TestPanels::userPanelModes()
{
    QFETCH(QString, mode);
    QFETCH(QString, caption);
    QFETCH(int, top);
    QFETCH(int, height);
    QFETCH(QString, showing);
    QFETCH(QString, controls);
    w->ShowServerPanel("edit");
    w->tabCustomDomain->show();
    w->txtUserName->setText("bob");
    w->txtPassword->setText("pw");
    w->chkAsList->setChecked(true);
    w->txtNewAlias->setText("bobby");
    w->lstAliases->addItems({"a1", "a2"});
    w->lstAliases->setCurrentRow(1);
    w->txtListUser->setText("x@example.com");
    w->optReadAndPost->setChecked(true);
    w->ShowUserPanel(mode);

    QCOMPARE(w->fraUserProperties->title(), caption);
    QCOMPARE(Showing(*w), showing);
    QCOMPARE(w->fraUserProperties->geometry(),
             QRect(w->Px(w->PanelLeft), w->Px(top), w->Px(4935), w->Px(height)));
    const bool add = mode == "add";
    if (add) {
        QCOMPARE(Shown({w->cmdAddUser, w->cmdSavePassword, w->cmdDeleteUser, w->chkAsList}), controls);
        QVERIFY(w->txtUserName->isEnabled());
        QVERIFY(w->txtUserName->text().isEmpty() && w->txtPassword->text().isEmpty());
        QVERIFY(!w->chkAsList->isChecked());
    } else {
        QCOMPARE(Shown({w->cmdAddUser, w->cmdSavePassword, w->cmdDeleteUser, w->chkAsList, w->chkClosedML}),
                 controls);
        QVERIFY(!w->txtUserName->isEnabled());
        QCOMPARE(w->txtUserName->text(), QString("bob"));  // the details fill it later
        QVERIFY(w->txtNewAlias->text().isEmpty());
        QVERIFY(w->lstAliases->selectedItems().isEmpty());
        QCOMPARE(w->lstAliases->count(), 2);
        QCOMPARE(w->tabUsers->pos(), QPoint(w->Px(w->PanelLeft), w->Px(1680)));
    }
    const bool list = mode.toLower() == "list";
    QCOMPARE(w->txtListUser->text().isEmpty(), list);
    QCOMPARE(w->optReadOnly->isChecked(), list);
}

void TestPanels::listUsersTabFollowsTheAccountKind()
{
    w->tabUsers->setCurrentIndex(0);
    w->ShowUserPanel("edit");
    QVERIFY(!w->tabUsers->isTabVisible(0));
    QVERIFY(w->tabUsers->currentIndex() != 0);

    w->tabUsers->setCurrentIndex(3);
    w->ShowUserPanel("list");
    QVERIFY(w->tabUsers->isTabVisible(0));
    QCOMPARE(w->tabUsers->currentIndex(), 0);

    // A second list keeps the tab the user was on.
    w->tabUsers->setCurrentIndex(2);
    w->ShowUserPanel("list");
    QCOMPARE(w->tabUsers->currentIndex(), 2);
}

void TestPanels::panelsFollowPanelLeft()
{
    w->PanelLeft = 5000;
    w->ShowServerPanel("add");
    QCOMPARE(w->fraServerProperties->x(), w->Px(5000));
    w->ShowDomainPanel("edit");
    QCOMPARE(w->fraDomainProperties->x(), w->Px(5000));
    w->ShowUserPanel("edit");
    QCOMPARE(w->fraUserProperties->x(), w->Px(5000));
    QCOMPARE(w->tabUsers->x(), w->Px(5000));
    w->ShowCustomDomainPanel();
    QCOMPARE(w->tabCustomDomain->x(), w->Px(5000));
}

void TestPanels::showsServerVersion_data()
{
    QTest::addColumn<double>("version");
    QTest::addColumn<QString>("caption");
    QTest::newRow("0.70") << 0.70 << "Tazel Server (Version: 0.7)";
    QTest::newRow("1.0") << 1.0 << "Tazel Server (Version: 1)";
    QTest::newRow("0.66") << 0.66 << "Tazel Server (Version: 0.66)";
    QTest::newRow("none") << 0.0 << "Tazel Server (Version: 0)";
}

void TestPanels::showsServerVersion()
{
    QFETCH(double, version);
    QFETCH(QString, caption);
    EditReplies(*w->Session, [&](ReplyCollections& r) { r.ServerVersion = version; });
    w->ShowServerVersion();
    QCOMPARE(w->fraServerProperties->title(), caption);
}

void TestPanels::showsUserVars_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("boxes");  // real name, home page, max size
    QTest::addColumn<bool>("closed");
    QTest::newRow("all four") << QStringList{"RealName", "HomePage", "MAXMBSIZE", "ClosedML"}
                              << QStringList{"Bob B", "http://x", "5000", "1"}
                              << QStringList{"Bob B", "http://x", "5000"} << true;
    QTest::newRow("closed list 01") << QStringList{"closedml"} << QStringList{"01"}
                                    << QStringList{"", "", ""} << false;
    QTest::newRow("closed list 1 and a space") << QStringList{"closedml"} << QStringList{"1 "}
                                               << QStringList{"", "", ""} << false;
    QTest::newRow("others ignored") << QStringList{"smtprelay", "realname"} << QStringList{"1", "Ann"}
                                    << QStringList{"Ann", "", ""} << true;  // closedml not given: kept
}

void TestPanels::showsUserVars()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, values);
    QFETCH(QStringList, boxes);
    QFETCH(bool, closed);
    w->txtRealName->setText("stale");
    w->txtHomePage->setText("stale");
    w->txtMaxMBSize->setText("stale");
    w->chkClosedML->setChecked(true);
    EditReplies(*w->Session, [&](ReplyCollections& r) { r.UserVarNames = names; });
    EditReplies(*w->Session, [&](ReplyCollections& r) { r.UserVarValues = values; });
    w->ShowUserVars();
    QCOMPARE((QStringList{w->txtRealName->text(), w->txtHomePage->text(), w->txtMaxMBSize->text()}), boxes);
    QCOMPARE(w->chkClosedML->isChecked(), closed);
    QCOMPARE(w->Session->Replies().UserVarNames, names);
}

void TestPanels::fillsAliasList()
{
    w->lstAliases->addItem("old");
    EditReplies(*w->Session, [&](ReplyCollections& r) { r.AliasEntries = QStringList{"bobby", "robert"}; });
    w->FillAliasList();
    QCOMPARE(w->lstAliases->count(), 2);
    QCOMPARE(w->lstAliases->item(0)->text(), QString("bobby"));
    QCOMPARE(w->lstAliases->item(1)->text(), QString("robert"));
}

void TestPanels::passwordMasking()
{
    w->chkHideUserPwd->click();
    QCOMPARE(w->txtPassword->echoMode(), QLineEdit::Normal);
    QCOMPARE(w->txtPOP3Pass->echoMode(), QLineEdit::Normal);
    QCOMPARE(w->txtServerPassword->echoMode(), QLineEdit::Password);
    w->chkHideServerPwd->click();
    QCOMPARE(w->txtServerPassword->echoMode(), QLineEdit::Normal);
    w->chkHideUserPwd->click();
    QCOMPARE(w->txtPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(w->txtPOP3Pass->echoMode(), QLineEdit::Password);

    // The greyed state changes nothing.
    w->chkHideServerPwd->setTristate(true);
    w->chkHideServerPwd->setCheckState(Qt::PartiallyChecked);
    w->chkHideServerPwd_Click();
    QCOMPARE(w->txtServerPassword->echoMode(), QLineEdit::Normal);
}

void TestPanels::listClicksEnableDeleteButtons()
{
    EditReplies(*w->Session, [&](ReplyCollections& r) { r.AliasEntries = QStringList{"a", "b"}; });
    w->FillAliasList();
    w->lstAliases->setCurrentRow(0);
    QVERIFY(w->cmdDeleteAlias->isEnabled());
    w->lstAliases->clearSelection();
    QVERIFY(!w->cmdDeleteAlias->isEnabled());

    w->lstRedirects->addItems({"x@a", "y@b"});
    QVERIFY(!w->cmdDeleteRedirect->isEnabled());
    w->lstRedirects->setCurrentRow(1);
    QVERIFY(w->cmdDeleteRedirect->isEnabled());
    // Refilling the list after a delete does not enable the button again.
    w->cmdDeleteRedirect->setEnabled(false);
    w->lstRedirects->clear();
    w->lstRedirects->addItems({"x@a"});
    QVERIFY(!w->cmdDeleteRedirect->isEnabled());

    w->lstLRedirects->addItems({"l@a"});
    w->lstLRedirects->setCurrentRow(0);
    QVERIFY(w->cmdDeleteLRedirect->isEnabled());

    const QString entry = "pop.example.com\tbob\tsecret\tAPOP\tenabled and a long tail";
    w->lstPOP3->addItems({"first", entry});
    w->lstPOP3->setCurrentRow(1);
    QVERIFY(w->cmdDeletePOP3->isEnabled());
    QCOMPARE(w->lstPOP3->toolTip(), entry);
}

void TestPanels::statusPanels()
{
    QSignalSpy spy(w, &frmMain::StatusTextChanged);
    w->SetStatus("Connecting...");
    QCOMPARE(w->StatusPanel1->text(), QString("Connecting..."));
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QString("Connecting..."));
    w->SetVersionStatus("Tazel 0.70 on Linux");
    QCOMPARE(w->StatusPanel2->text(), QString("Tazel 0.70 on Linux"));
    QCOMPARE(w->StatusPanel1->text(), QString("Connecting..."));
}

// Every mode of every panel, each tab of the tab control it shows: (name, how to get there).
static QList<QPair<QString, std::function<void(frmMain&)>>> PanelModes()
{
    return {
        {"server add", [](frmMain& w) { w.ShowServerPanel("add"); }},
        {"server edit", [](frmMain& w) { w.ShowServerPanel("edit"); }},
        {"domain add", [](frmMain& w) { w.ShowServerPanel("edit"); w.ShowDomainPanel("add"); }},
        {"domain edit", [](frmMain& w) { w.ShowDomainPanel("edit"); }},
        {"custom domain", [](frmMain& w) { w.ShowDomainPanel("edit"); w.ShowCustomDomainPanel(); }},
        {"user add", [](frmMain& w) { w.ShowDomainPanel("edit"); w.ShowUserPanel("add"); }},
        {"user edit", [](frmMain& w) { w.ShowUserPanel("edit"); }},
        {"mailing list", [](frmMain& w) { w.ShowUserPanel("list"); }},
    };
}

static QTabWidget* ShownTabs(frmMain& w)
{
    if (w.tabUsers->isVisibleTo(&w))
        return w.tabUsers;
    return w.tabCustomDomain->isVisibleTo(&w) ? w.tabCustomDomain : nullptr;
}

// Calls check(where) once for each mode and tab, the window as it stands.
static void ForEachPanelView(frmMain& w, const std::function<void(const QString&)>& check)
{
    for (const auto& [name, show] : PanelModes()) {
        show(w);
        QTabWidget* tabs = ShownTabs(w);
        const int pages = tabs ? tabs->count() : 1;
        for (int i = 0; i < pages; ++i) {
            if (tabs) {
                if (!tabs->isTabVisible(i))
                    continue;
                tabs->setCurrentIndex(i);
            }
            check(tabs ? name + " / " + tabs->tabText(i) : name);
            if (QTest::currentTestFailed())
                return;
        }
    }
}

static QList<QWidget*> ShownControls(frmMain& w)
{
    QList<QWidget*> shown;
    // (A control wholly outside its frame is not on the screen.)
    for (QWidget* c : w.centralWidget()->findChildren<QWidget*>())
        if (c->isVisibleTo(&w) && c->parentWidget() && c->parentWidget()->isVisibleTo(&w)
            && c->parentWidget()->rect().intersects(c->geometry()))
            shown << c;
    return shown;
}

// No caption is cut off and no two controls side by side overlap.
static void CheckNothingClippedOrOverlapped(frmMain& w, const QString& where)
{
    const QList<QWidget*> shown = ShownControls(w);
    for (QWidget* c : shown) {
        const auto* captioned = qobject_cast<QAbstractButton*>(c);
        const QString what = where + ": " + c->metaObject()->className() + " "
                             + (captioned ? captioned->text() : c->accessibleName()) + " "
                             + QString("%1,%2 %3x%4").arg(c->x()).arg(c->y()).arg(c->width()).arg(c->height());
        if (auto* label = qobject_cast<QLabel*>(c)) {
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
                     qPrintable(what + " \"" + label->text() + "\""));
        } else if (auto* push = qobject_cast<QPushButton*>(c)) {
            const int text = push->fontMetrics().horizontalAdvance(push->text())
                             + 2 * push->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push);
            QVERIFY2(text <= push->width(), qPrintable(what + " \"" + push->text() + "\""));
        } else if (auto* button = qobject_cast<QAbstractButton*>(c)) {
            QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(what + " \"" + button->text() + "\""));
        } else if (auto* tabs = qobject_cast<QTabWidget*>(c)) {
            QVERIFY2(tabs->tabBar()->sizeHint().width() < tabs->width(), qPrintable(what));
        }
        for (QWidget* other : shown) {
            if (other != c && other->parentWidget() == c->parentWidget() && !qobject_cast<QTabBar*>(c)
                && !qobject_cast<QTabBar*>(other) && c->parentWidget()->inherits("QStackedWidget") == false)
                QVERIFY2(c->geometry().intersected(other->geometry()).height() <= 1,  // a 1-pixel seam is the designer's
                         qPrintable(what + " overlaps " + other->metaObject()->className() + " "
                                    + other->accessibleName() + " " + other->objectName()));
        }
        const QWidget* parent = c->parentWidget();
        if (parent != w.centralWidget() && !parent->inherits("QStackedWidget"))
            QVERIFY2(parent->rect().contains(c->geometry()), qPrintable(what + " runs past its panel"));
    }
}

void TestPanels::textFitsItsControl()
{
    // Also run with the fonts at 150 % (QT_FONT_DPI=144) by the test list.
    ForEachPanelView(*w, [this](const QString& where) { CheckNothingClippedOrOverlapped(*w, where); });
}

void TestPanels::controlsGrowWithTheWindow()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const int treeWidth = w->DomainList->width();
    const QSize designWindow = w->size();
    w->ShowUserPanel("list");
    const QSize listDesign = w->lstListUsers->size(), buttonDesign = w->cmdDeleteListUser->size();
    const int nameDesign = w->txtUserName->width();

    w->resize(designWindow + QSize(w->Px(3000), w->Px(2400)));
    QTRY_COMPARE(w->DomainList->y() + w->DomainList->height(), w->Px(w->Twips(w->height()) - w->TreeBottomMargin));
    QCOMPARE(w->DomainList->width(), treeWidth);  // the tree keeps its width, the panels take the room
    const int right = w->centralWidget()->width() - w->Px(90);
    QCOMPARE(w->fraUserProperties->geometry().right() + 1, right);
    QCOMPARE(w->tabUsers->geometry().right() + 1, right);
    QCOMPARE(w->tabUsers->geometry().bottom(), w->DomainList->geometry().bottom());
    QVERIFY(w->txtUserName->width() > nameDesign + w->Px(800));
    QVERIFY(w->lstListUsers->width() > listDesign.width() + w->Px(800));
    QVERIFY(w->lstListUsers->height() >= listDesign.height() + w->Px(2400));
    QCOMPARE(w->cmdDeleteListUser->size(), buttonDesign);
    QCOMPARE(w->cmdSavePassword->size(), QSize(w->Px(1455), w->Px(375)));
    // The delete button stays under its list.
    QCOMPARE(w->cmdDeleteListUser->y() - w->lstListUsers->geometry().bottom(), w->Px(3000) - w->Px(2925) + 1);

    // Each panel, mode and tab grown: still nothing cut off or overlapping, and the editors grew.
    ForEachPanelView(*w, [this](const QString& where) { CheckNothingClippedOrOverlapped(*w, where); });
    w->ShowUserPanel("edit");
    w->tabUsers->setCurrentIndex(4);
    QTRY_VERIFY(w->txtExternal->width() > w->Px(4695 + 2500));
    QVERIFY(w->txtExternal->height() > w->Px(2055 + 2000));
    w->ShowCustomDomainPanel();
    QTRY_VERIFY(w->lstDomainLredirects->width() > w->Px(2055 + 1000));
    QCOMPARE(w->tabCustomDomain->geometry().right() + 1, right);

    // Back at the design size every control is at its design place again.
    w->resize(designWindow);
    QTRY_COMPARE(w->tabCustomDomain->size(), QSize(w->Px(4935), w->Px(3495)));
    QCOMPARE(w->lstDomainLredirects->pos().x(), w->Px(2640));
    QCOMPARE(w->lstDomainLredirects->size(), QSize(w->Px(2055), w->Px(1230)));
    w->ShowUserPanel("list");
    w->tabUsers->setCurrentIndex(0);
    QTRY_COMPARE(w->lstListUsers->size(), listDesign);
    QCOMPARE(w->txtUserName->width(), nameDesign);
    QCOMPARE(w->fraUserProperties->width(), w->Px(4935));
}

void TestPanels::handleMovesTheTreeEdge()
{
    w->resize(w->size() + QSize(w->Px(3000), 0));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->ShowDomainPanel("edit");
    QWidget* handle = w->Layout->handle();
    QCOMPARE(handle->x(), w->DomainList->geometry().right() + 1);
    const int before = w->DomainList->width();
    const QPoint grip(handle->width() / 2, handle->height() / 2);
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip + QPoint(w->Px(1500), 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(w->Px(1500), 0));
    QTRY_COMPARE(w->DomainList->width(), before + w->Px(1500));
    QCOMPARE(w->PanelLeft, w->Twips(w->DomainList->width()) + 180);
    QCOMPARE(w->fraDomainProperties->x(), w->Px(w->PanelLeft));
    QCOMPARE(w->fraDomainProperties->geometry().right() + 1, w->centralWidget()->width() - w->Px(90));
    QCOMPARE(handle->x(), w->DomainList->geometry().right() + 1);

    // The panels never get narrower than designed: the tree stops short.
    w->Layout->setTreeWidth(w->width());
    QCOMPARE(w->fraDomainProperties->width(), w->Px(4935));
    QVERIFY(w->fraDomainProperties->geometry().right() < w->centralWidget()->width());
    w->Layout->setTreeWidth(0);
    QCOMPARE(w->DomainList->width(), w->Px(1200));
    QCOMPARE(w->tabUsers->x(), w->Px(w->PanelLeft));  // hidden panels follow as well
}

void TestPanels::longEntriesEndInAnEllipsisWithATip()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->ShowUserPanel("edit");
    w->tabUsers->setCurrentIndex(3);
    const QString longEntry = "pop.example.com\t" + QString(300, 'x') + "\tsecret\tAPOP";
    w->lstPOP3->addItems({"short", longEntry});
    QTRY_VERIFY(w->lstPOP3->isVisible());
    QCOMPARE(w->lstPOP3->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    const QModelIndex shortIndex = w->lstPOP3->model()->index(0, 0);
    const QModelIndex longIndex = w->lstPOP3->model()->index(1, 0);
    QTRY_VERIFY(w->lstPOP3->visualRect(longIndex).width() <= w->lstPOP3->viewport()->width());
    QVERIFY(ElidedTips::IsElided(w->lstPOP3, longIndex));
    QVERIFY(!ElidedTips::IsElided(w->lstPOP3, shortIndex));

    // Hovering the long entry shows it whole.
    const QPoint at = w->lstPOP3->visualRect(longIndex).center();
    QHelpEvent tip(QEvent::ToolTip, at, w->lstPOP3->viewport()->mapToGlobal(at));
    QApplication::sendEvent(w->lstPOP3->viewport(), &tip);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), longEntry);
    QToolTip::hideText();

    // A server of a 300-character name in the tree.
    auto* tree = w->DomainList;
    const QString name(300, 'a');
    fx->addServerRecord(1, name, "127.0.0.1", 6017);
    fx->addServerRecord(2, "short", "127.0.0.1", 6017);
    w->BuildServerTree();
    const QModelIndex longNode = w->NodeByKey("server1"), shortNode = w->NodeByKey("server2");
    tree->expand(longNode.parent());
    QCOMPARE(w->NodeText(longNode), name);
    QTRY_VERIFY(tree->visualRect(longNode).isValid());
    QVERIFY(ElidedTips::IsElided(tree, longNode));
    QVERIFY(!ElidedTips::IsElided(tree, shortNode));
    const QPoint node = tree->visualRect(longNode).center();
    QHelpEvent treeTip(QEvent::ToolTip, node, tree->viewport()->mapToGlobal(node));
    QApplication::sendEvent(tree->viewport(), &treeTip);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), name);
    QToolTip::hideText();
}

void TestPanels::everyControlHasAnAccessibleName()
{
    for (QWidget* c : w->findChildren<QWidget*>()) {
        if (!(qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c)
              || qobject_cast<QAbstractItemView*>(c) || qobject_cast<QPlainTextEdit*>(c)
              || qobject_cast<QTabWidget*>(c))
            || c->inherits("QTabBar") || c->inherits("QHeaderView") || c->inherits("QTableCornerButton") || c->parentWidget()->inherits("QTabBar")
            || c->parentWidget()->inherits("QTabWidget") || c->inherits("QComboBox") || c->objectName().startsWith("qt_")
            || c->inherits("QLineEditIconButton"))  // a text box's own clear button, not in the Tab order
            continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(c);
        QVERIFY(face);
        QVERIFY2(!face->text(QAccessible::Name).isEmpty(), c->metaObject()->className());
    }
}

// The controls Tab reaches after `from`, in order, as far as `count` of them.
static QList<QWidget*> TabChain(frmMain& w, QWidget* from, int count)
{
    QList<QWidget*> chain{from};
    for (QWidget* c = from->nextInFocusChain(); c != from && chain.size() < count; c = c->nextInFocusChain())
        if (c->isVisibleTo(&w) && c->isEnabled() && (c->focusPolicy() & Qt::TabFocus))
            chain << c;
    return chain;
}

void TestPanels::tabGoesInReadingOrder()
{
    w->ShowServerPanel("edit");
    QCOMPARE(TabChain(*w, w->txtServerName, 8),
             (QList<QWidget*>{w->txtServerName, w->txtServerAddress, w->txtServerPort, w->txtServerLoginName,
                              w->txtServerPassword, w->chkHideServerPwd, w->cmdUpdateServer, w->cmdRemoveServer}));
    w->ShowUserPanel("list");
    w->tabUsers->setCurrentIndex(1);
    QCOMPARE(TabChain(*w, w->txtNewAlias, 10),
             (QList<QWidget*>{w->txtNewAlias, w->cmdAddAlias, w->lstAliases, w->cmdDeleteAlias, w->txtRealName, w->txtHomePage,
                              w->txtMaxMBSize, w->chkMailbox, w->chkClosedML, w->cmdSaveUserVars}));
    w->tabUsers->setCurrentIndex(3);
    QCOMPARE(TabChain(*w, w->txtPOP3Server, 7),
             (QList<QWidget*>{w->txtPOP3Server, w->txtPOP3User, w->txtPOP3Pass, w->optCLR, w->optAPOP, w->cmdAddPOP3,
                              w->lstPOP3}));
    // From the user panel's last control Tab goes on into the tab control under it.
    const QList<QWidget*> user = TabChain(*w, w->txtPassword, 4);
    QCOMPARE(user.mid(0, 3), (QList<QWidget*>{w->txtPassword, w->chkHideUserPwd, w->cmdSavePassword}));
}

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
