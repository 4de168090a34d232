// The main window's lifecycle (caption, first start, remembered position, the tree following the
// height), the server panel's commands, and tree navigation against the simulated server.
#include <QtTest>

#include <QAction>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTreeView>

#include "sim/TazelSim.h"
#include "store/ServerStore.h"
#include "tests/TestKit.h"
#include "window/MainMenu.h"
#include "window/WindowLayout.h"
#include "window/frmMain.h"

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void firstStartIsCentredAndPositionStoredOnClose();
    void startsAtStoredPosition_data();
    void startsAtStoredPosition();
    void closingMinimisedKeepsStoredPosition();
    void treeFollowsWindowHeight();
    void addsServersInNextSlot();
    void removeAnsweredNoChangesNothing();
    void refusesServerItCannotStore_data();
    void refusesServerItCannotStore();
    void addNeverOverwritesAStoredRecord_data();
    void addNeverOverwritesAStoredRecord();
    void savesRecordAsTyped();
    void updateActsOnShownServerAndReselectsIt();
    void mouseClickLoadsOnceAndExpandOnlyFirstTime();
    void keyboardSelectionActsAsClick();
    void clicksOnOtherKindsOfNode();
    void serverWithoutPortShowsEmptyPortBox();
    void storedSizeAndTreeWidthRoundTrip();
    void unusableStoredSizeOpensAtDesignSize_data();
    void unusableStoredSizeOpensAtDesignSize();
    void enterDeleteAndF5PressTheirButtons();
    void menuEntriesDoWhatTheButtonsDo();

private:
    static QString Setting(WindowFixture& fx, const QString& section, const QString& key)
    {
        return ReadSetting(*fx.settings, section, key);
    }
    static QStringList ChildTexts(const frmMain& w, const QModelIndex& node)
    {
        QStringList out;
        for (int r = 0; r < w.DomainModel->rowCount(node); ++r)
            out << w.NodeText(w.DomainModel->index(r, 0, node));
        return out;
    }
    static void AddServer(frmMain& w, const QString& name, const QString& password = "pw",
                          const QString& port = "6017")
    {
        w.txtServerName->setText(name);
        w.txtServerAddress->setText("127.0.0.1");
        w.txtServerPort->setText(port);
        w.txtServerLoginName->setText("admin");
        w.txtServerPassword->setText(password);
        w.cmdAddServer->click();
    }
    static int Requests(const TazelSim& sim, const QByteArray& word)
    {
        const QByteArray quoted = '"' + word + '"';  // every field goes in double quotes
        int n = 0;
        for (const QByteArray& line : sim.received)
            if (line.startsWith(quoted + '\t') || line == quoted)
                ++n;
        return n;
    }
};

static QPoint Centred(const frmMain& w)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {screen.x() + qRound(screen.width() / 2.0f - w.width() / 2.0f),
            screen.y() + qRound(screen.height() / 2.0f - w.height() / 2.0f)};
}

void TestWindow::firstStartIsCentredAndPositionStoredOnClose()
{
    WindowFixture fx;
    frmMain& w = fx.open();
    QCOMPARE(w.windowTitle(), QString("Tazel Administrator - 0.26"));
    QCOMPARE(w.pos(), Centred(w));
    QVERIFY(Setting(fx, "Settings", "FormLeft").isNull());

    w.show();
    w.move(w.Px(1200), w.Px(750));
    QVERIFY(w.close());
    QCOMPARE(Setting(fx, "Settings", "FormLeft"), QString::number(w.Twips(w.x())));
    QCOMPARE(Setting(fx, "Settings", "FormTop"), QString::number(w.Twips(w.y())));
    QCOMPARE(Setting(fx, "Settings", "FormLeft"), QString("1200"));
}

void TestWindow::startsAtStoredPosition_data()
{
    QTest::addColumn<QString>("left");   // "-": key absent
    QTest::addColumn<QString>("top");
    QTest::addColumn<bool>("leftStored");
    QTest::addColumn<bool>("topStored");
    QTest::newRow("both") << "1500" << "900" << true << true;
    QTest::newRow("left only") << "1500" << "-" << true << false;
    QTest::newRow("not numbers") << "abc" << "" << false << false;
    QTest::newRow("negative, partly on the screen") << "-3000" << "30" << true << true;
    // Values that would overflow on the way to pixels, or put the window where no screen is.
    QTest::newRow("huge and not a number") << "1e30" << "nan" << false << false;
    QTest::newRow("too large, not whole") << "99999999999" << "1500.5" << false << false;
    QTest::newRow("infinite") << "inf" << "-inf" << false << false;
    QTest::newRow("off every screen") << "-300000" << "30" << false << true;
    QTest::newRow("below every screen") << "1500" << "900000" << true << false;
}

void TestWindow::startsAtStoredPosition()
{
    QFETCH(QString, left);
    QFETCH(QString, top);
    QFETCH(bool, leftStored);
    QFETCH(bool, topStored);
    WindowFixture fx;
    if (left != "-")
        WriteSetting(*fx.settings, "Settings", "FormLeft", left);
    if (top != "-")
        WriteSetting(*fx.settings, "Settings", "FormTop", top);
    frmMain& w = fx.open();
    QCOMPARE(w.x(), leftStored ? w.Px(left.toInt()) : Centred(w).x());
    QCOMPARE(w.y(), topStored ? w.Px(top.toInt()) : Centred(w).y());
}

void TestWindow::closingMinimisedKeepsStoredPosition()
{
    WindowFixture fx;
    WriteSetting(*fx.settings, "Settings", "FormLeft", "1500");
    WriteSetting(*fx.settings, "Settings", "FormTop", "900");
    frmMain& w = fx.open();
    w.show();
    w.move(0, 0);
    w.showMinimized();
    QVERIFY(w.isMinimized());
    QVERIFY(w.close());
    QCOMPARE(Setting(fx, "Settings", "FormLeft"), QString("1500"));
    QCOMPARE(Setting(fx, "Settings", "FormTop"), QString("900"));
}

void TestWindow::treeFollowsWindowHeight()
{
    WindowFixture fx;
    frmMain& w = fx.open();
    QCOMPARE(w.PanelLeft, 3420);
    QCOMPARE(w.TreeBottomMargin, w.Twips(w.height()) - w.Twips(w.DomainList->geometry().bottom() + 1));
    QVERIFY(w.TreeBottomMargin > 0);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    w.resize(w.width(), w.Px(w.TreeBottomMargin) - 5);  // shorter than the margin
    QTRY_COMPARE(w.DomainList->height(), 0);

    w.DomainList->resize(w.Px(4000), w.DomainList->height());
    w.resize(w.width() + 40, w.Px(6000));
    QTRY_COMPARE(w.DomainList->y() + w.DomainList->height(), w.Px(w.Twips(w.height()) - w.TreeBottomMargin));
    QCOMPARE(w.PanelLeft, w.Twips(w.Px(4000)) + 180);
    // The panel already shown stays; the next one shown sits 180 twips right of the tree.
    w.ShowServerPanel("add");
    QCOMPARE(w.fraServerProperties->x(), w.Px(w.PanelLeft));
}

void TestWindow::addsServersInNextSlot()
{
    WindowFixture fx;
    frmMain& w = fx.open();
    AddServer(w, "alpha");
    AddServer(w, "beta");
    AddServer(w, "gamma");
    QCOMPARE(Setting(fx, "servers", "server_count"), QString("3"));
    const QModelIndex root = w.NodeByKey("Servers");
    QCOMPARE(ChildTexts(w, root), (QStringList{"alpha", "beta", "gamma"}));
    for (const QString key : {"server1", "server2", "server3"}) {
        const QModelIndex node = w.NodeByKey(key);
        QVERIFY(node.isValid());
        QCOMPARE(w.NodeTag(node), key);  // a server added while running: loaded when clicked
        QCOMPARE(w.DomainModel->rowCount(node), 0);
    }
    QCOMPARE(w.NodeKey(w.DomainList->currentIndex()), QString("server3"));

    // Remove the server of slot 2.
    w.SelectedServerIndex = w.NodeByKey("server2");
    fx.messages.answers.push_back(MsgYes);
    w.cmdRemoveServer->click();
    QVERIFY(!fx.settings->childGroups().contains("server2"));
    QCOMPARE(Setting(fx, "servers", "server_count"), QString("3"));
    QCOMPARE(ChildTexts(w, w.NodeByKey("Servers")), (QStringList{"alpha", "gamma"}));
    QCOMPARE(w.fraServerProperties->title(), QString("Add New Server to Manage"));
    QVERIFY(!w.fraServerProperties->isHidden());

    // Slots are not reused.
    AddServer(w, "delta");
    QCOMPARE(Setting(fx, "servers", "server_count"), QString("4"));
    QCOMPARE(Setting(fx, "server4", "server_name"), QString("delta"));
    QVERIFY(!fx.settings->childGroups().contains("server2"));
    QCOMPARE(w.ServerCount, 4);

    // A restart shows the same servers under the same keys.
    fx.open();
    QCOMPARE(ChildTexts(*fx.window, fx.window->NodeByKey("Servers")), (QStringList{"alpha", "delta", "gamma"}));
    QVERIFY(fx.window->NodeByKey("server4").isValid());
    QVERIFY(!fx.window->NodeByKey("server2").isValid());
}

void TestWindow::removeAnsweredNoChangesNothing()
{
    WindowFixture fx;
    fx.addServerRecord(1, "alpha", "127.0.0.1", 6017);
    fx.addServerRecord(2, "beta", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    w.SelectedServerIndex = w.NodeByKey("server2");
    w.FillServerFields("server2");
    w.ShowServerPanel("edit");
    fx.messages.answers.push_back(MsgNo);
    w.cmdRemoveServer->click();

    QCOMPARE(fx.messages.messages.size(), 1);
    const RecordedMessage& q = fx.messages.messages.first();
    QVERIFY(q.question);
    QCOMPARE(q.text, QString("Are you sure you want to remove this server from Tazel Administrator?\r\n\r\n"
                             "Server: beta (127.0.0.1)"));
    QCOMPARE(q.defaultButton, MsgNo);
    QCOMPARE(q.title, QString("Tazel Administrator"));
    QCOMPARE(q.buttons, int(MsgYes | MsgNo));
    QCOMPARE(Setting(fx, "server2", "server_name"), QString("beta"));
    QCOMPARE(ChildTexts(w, w.NodeByKey("Servers")), (QStringList{"alpha", "beta"}));
    QVERIFY(w.SelectedServerIndex.isValid());
    QCOMPARE(w.fraServerProperties->title(), QString("Server Properties"));
    QVERIFY(!w.fraServerProperties->isHidden());
}

void TestWindow::refusesServerItCannotStore_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("message");
    QTest::newRow("blank name") << "   " << "pw" << "2" << "6017" << "Enter a name for the server.";
    QTest::newRow("all slots used") << "new" << "pw" << "32767" << "6017"
                                    << "No more servers can be added: all 32767 server slots have been used.";
    QTest::newRow("password outside latin-1") << "new" << QString::fromUtf8("пароль") << "2" << "6017"
        << "The password holds a character that cannot be stored. Only characters of the Western "
           "European (Latin-1) character set can be used in a server password.";
    const QString portText = "The port of the server new must be a whole number from 1 to 65535 (the Tazel "
                             "control port is 6017). \"%1\" cannot be used.\r\n\r\nNothing was saved.";
    for (const char* port : {"0", "65536", "60 17", "6017x", "", "-1", "+80", "1e3"})
        QTest::addRow("port '%s'", port) << "new" << "pw" << "2" << port << portText.arg(port);
}

void TestWindow::refusesServerItCannotStore()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, count);
    QFETCH(QString, port);
    QFETCH(QString, message);
    WindowFixture fx;
    fx.addServerRecord(2, "beta", "127.0.0.1", 6017);
    WriteSetting(*fx.settings, "servers", "server_count", count);
    frmMain& w = fx.open();
    const QStringList before = fx.settings->allKeys();
    AddServer(w, name, password, port);

    QCOMPARE(fx.messages.texts(), QStringList{message});
    QCOMPARE(fx.settings->allKeys(), before);
    QCOMPARE(Setting(fx, "servers", "server_count"), count);
    QCOMPARE(w.DomainModel->rowCount(w.NodeByKey("Servers")), 1);
}

void TestWindow::addNeverOverwritesAStoredRecord_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("slot");
    // The records of slots 1 and 2 are there; the count says otherwise.
    QTest::newRow("count not a number") << "many" << "3";
    QTest::newRow("count behind the records") << "1" << "3";
    QTest::newRow("count ahead") << "5" << "6";
}

void TestWindow::addNeverOverwritesAStoredRecord()
{
    QFETCH(QString, count);
    QFETCH(QString, slot);
    WindowFixture fx;
    fx.addServerRecord(1, "alpha", "127.0.0.1", 6017);
    fx.addServerRecord(2, "beta", "127.0.0.1", 6017);
    WriteSetting(*fx.settings, "servers", "server_count", count);
    frmMain& w = fx.open();
    AddServer(w, "new");
    QCOMPARE(Setting(fx, "servers", "server_count"), slot);
    QCOMPARE(Setting(fx, "server" + slot, "server_name"), QString("new"));
    QCOMPARE(Setting(fx, "server1", "server_name"), QString("alpha"));
    QCOMPARE(Setting(fx, "server2", "server_name"), QString("beta"));
    QCOMPARE(w.NodeKey(w.DomainList->currentIndex()), "server" + slot);
}

void TestWindow::savesRecordAsTyped()
{
    WindowFixture fx;
    frmMain& w = fx.open();
    w.txtServerName->setText(" Mail, Inc. ");
    w.txtServerAddress->setText(" mail.example.com");
    w.txtServerPort->setText("6017 ");
    w.txtServerLoginName->setText("Admin");
    w.txtServerPassword->setText("abc");
    w.cmdAddServer->click();
    QCOMPARE(Setting(fx, "server1", "server_name"), QString(" Mail, Inc. "));
    QCOMPARE(Setting(fx, "server1", "server_address"), QString(" mail.example.com"));
    QCOMPARE(Setting(fx, "server1", "server_port"), QString("6017 "));
    QCOMPARE(Setting(fx, "server1", "server_login"), QString("Admin"));
    QCOMPARE(Setting(fx, "server1", "server_pass"), QString("{%secure:tzcrypt%}5a5958"));
    QCOMPARE(Setting(fx, "server1", "active"), QString("True"));
}

void TestWindow::updateActsOnShownServerAndReselectsIt()
{
    WindowFixture fx;
    fx.addServerRecord(1, "alpha", "127.0.0.1", 6017);
    fx.addServerRecord(2, "beta", "127.0.0.1", 6017);
    frmMain& w = fx.open();
    EditReplies(*w.Session, [&](ReplyCollections& r) { r.DomainNames = QStringList{"example.com"}; });
    w.AddDomainsToTree("server2");
    // The panel shows server2 while the tree's highlight is on server1 (an expansion shows a
    // server's panel without moving the highlight).
    w.DomainList->setCurrentIndex(w.NodeByKey("server1"));
    w.SelectedServerIndex = w.NodeByKey("server2");
    w.FillServerFields("server2");
    w.ShowServerPanel("edit");
    w.txtServerName->setText("beta renamed");
    w.txtServerPassword->setText("new");
    w.cmdUpdateServer->click();

    QCOMPARE(Setting(fx, "server2", "server_name"), QString("beta renamed"));
    QCOMPARE(ReadServerPassword(*fx.settings, "server2"), QString("new"));
    QCOMPARE(Setting(fx, "server1", "server_name"), QString("alpha"));
    QCOMPARE(Setting(fx, "servers", "server_count"), QString("2"));
    // Rebuilt: the loaded domains are gone until the server is loaded again; server2 is selected.
    const QModelIndex server2 = w.NodeByKey("server2");
    QCOMPARE(w.NodeText(server2), QString("beta renamed"));
    QCOMPARE(w.NodeTag(server2), QString("virgin"));
    QCOMPARE(ChildTexts(w, server2), QStringList{QString()});
    QCOMPARE(w.DomainList->currentIndex(), server2);

    // With no server shown (the node went with the rebuild) the button does nothing.
    w.txtServerName->setText("not saved");
    w.cmdUpdateServer_Click();
    QCOMPARE(Setting(fx, "server2", "server_name"), QString("beta renamed"));
}

// ---------------------------------------------------------------------- navigation

struct SimWindow {
    TazelSim sim;
    WindowFixture fx;
    frmMain* w = nullptr;

    SimWindow()
    {
        sim.loadSample();
        if (!sim.listen(0))
            qFatal("the simulated server does not listen");
        fx.addServerRecord(1, "sim", "127.0.0.1", sim.port(), "admin", "secret");
        w = &fx.open();
        w->show();
    }
    QModelIndex node(const QString& key) const { return w->NodeByKey(key); }
    QStringList messages() const { return fx.messages.texts(); }
};

static void ClickNode(frmMain& w, const QModelIndex& node)
{
    w.DomainList->scrollTo(node);
    const QRect r = w.DomainList->visualRect(node);
    QTest::mouseClick(w.DomainList->viewport(), Qt::LeftButton, {}, r.center());
}

void TestWindow::mouseClickLoadsOnceAndExpandOnlyFirstTime()
{
    SimWindow s;
    frmMain& w = *s.w;
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QModelIndex server = s.node("server1");
    ClickNode(w, server);
    QCOMPARE(w.SelectedServerIndex, QPersistentModelIndex(server));
    QCOMPARE(w.NodeTag(server), QString());
    QCOMPARE(w.txtServerName->text(), QString("sim"));
    QCOMPARE(w.txtServerPassword->text(), QString("secret"));
    QCOMPARE(w.fraServerProperties->title(), QString("Server Properties"));
    QTRY_COMPARE(ChildTexts(w, server), (QStringList{"example.com", "example.org", "lists.example.net"}));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(s.sim.connections, 1);  // the press and the release make one click, one load
    QCOMPARE(Requests(s.sim, "domainlist"), 1);

    // Expanding a loaded server opens it without a load; clicking it loads again.
    w.DomainList->collapse(server);
    w.DomainList->expand(server);
    QVERIFY(w.Session->DriverIsIdle());
    QCOMPARE(w.Session->CountScripts(), 0);
    ClickNode(w, server);
    QTRY_COMPARE(Requests(s.sim, "domainlist"), 2);
    QTRY_VERIFY(w.Session->DriverIsIdle());

    // A virgin domain loads its accounts on its first expansion only.
    const QModelIndex domain = s.node(frmMain::DomainNodeKey("server1", "example.org"));
    QCOMPARE(w.NodeTag(domain), QString("virgin"));
    w.DomainList->expand(domain);
    QCOMPARE(w.NodeTag(domain), QString());
    QCOMPARE(w.SelectedDomainIndex, QPersistentModelIndex(domain));
    QCOMPARE(w.txtDomainName->text(), QString("example.org"));
    QTRY_COMPARE(ChildTexts(w, domain), (QStringList{"carol", "dave"}));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    w.DomainList->collapse(domain);
    w.DomainList->expand(domain);
    QCOMPARE(w.Session->CountScripts(), 0);
    QCOMPARE(Requests(s.sim, "userlist"), 1);
}

void TestWindow::keyboardSelectionActsAsClick()
{
    SimWindow s;
    frmMain& w = *s.w;
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QModelIndex root = s.node("Servers");
    w.DomainList->setFocus();
    w.DomainList->setCurrentIndex(root);
    QTest::keyClick(w.DomainList, Qt::Key_Down);
    const QModelIndex server = s.node("server1");
    QCOMPARE(w.DomainList->currentIndex(), server);
    QCOMPARE(w.SelectedServerIndex, QPersistentModelIndex(server));
    QTRY_COMPARE(w.DomainModel->rowCount(server), 3);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(s.sim.connections, 1);

    w.DomainList->expand(server);
    QTest::keyClick(w.DomainList, Qt::Key_Down);  // to example.com
    const QModelIndex domain = s.node(frmMain::DomainNodeKey("server1", "example.com"));
    QCOMPARE(w.SelectedDomainIndex, QPersistentModelIndex(domain));
    QCOMPARE(w.fraDomainProperties->title(), QString("Domain Properties"));
    QTRY_COMPARE(ChildTexts(w, domain), (QStringList{"alice", "bob", "news", "postmaster"}));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(Requests(s.sim, "userlist"), 1);
}

void TestWindow::clicksOnOtherKindsOfNode()
{
    SimWindow s;
    frmMain& w = *s.w;
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QModelIndex server = s.node("server1");

    // The placeholder of a server not loaded yet: nothing at all.
    w.DomainList->expand(server);  // loads (required)
    QTRY_VERIFY(w.Session->DriverIsIdle());
    const int connections = s.sim.connections;

    // A custom domain: every panel hidden until its file has arrived.
    const QModelIndex custom = s.node(frmMain::CustomDomainNodeKey("server1", "lists.example.net"));
    ClickNode(w, custom);
    QCOMPARE(w.SelectedDomainIndex, QPersistentModelIndex(custom));
    QCOMPARE(w.txtDomainName->text(), QString("lists.example.net"));
    QTRY_VERIFY(!w.tabCustomDomain->isHidden());
    QTRY_VERIFY(w.Session->DriverIsIdle());

    // An account: the user panel once its details are in.
    const QModelIndex domain = s.node(frmMain::DomainNodeKey("server1", "example.com"));
    ClickNode(w, domain);
    QTRY_COMPARE(w.DomainModel->rowCount(domain), 4);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    w.DomainList->expand(domain);
    const QModelIndex alice = s.node(frmMain::AccountNodeKey(frmMain::DomainNodeKey("server1", "example.com"), "alice"));
    QVERIFY(alice.isValid());
    ClickNode(w, alice);
    QCOMPARE(w.SelectedUserIndex, QPersistentModelIndex(alice));
    QCOMPARE(w.SelectedDomainIndex, QPersistentModelIndex(domain));
    QCOMPARE(w.SelectedServerIndex, QPersistentModelIndex(server));
    QTRY_COMPARE(w.fraUserProperties->title(), QString("User/Account Properties"));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(s.sim.connections > connections);

    // The root: the server panel ready to add, the selection gone.
    ClickNode(w, s.node("Servers"));
    QCOMPARE(w.fraServerProperties->title(), QString("Add New Server to Manage"));
    QCOMPARE(w.txtServerPort->text(), QString("6017"));
    QVERIFY(w.txtServerName->text().isEmpty());
    QVERIFY(!w.SelectedServerIndex.isValid() && !w.SelectedDomainIndex.isValid()
            && !w.SelectedUserIndex.isValid());

    // A placeholder child: nothing changes and nothing is loaded.
    const QModelIndex org = s.node(frmMain::DomainNodeKey("server1", "example.org"));
    const QModelIndex placeholder = w.DomainModel->index(0, 0, org);
    QCOMPARE(w.NodeTag(placeholder), QString("blank"));
    w.DomainList_NodeClick(placeholder);
    QCOMPARE(w.Session->CountScripts(), 0);
    QVERIFY(!w.SelectedServerIndex.isValid());
    QCOMPARE(w.NodeTag(org), QString("virgin"));
}

void TestWindow::serverWithoutPortShowsEmptyPortBox()
{
    WindowFixture fx;
    fx.addServerRecord(1, "alpha", "mail.example.com", 6017);
    fx.settings->remove("server1/server_port");
    frmMain& w = fx.open();
    w.FillServerFields("server1");
    QCOMPARE(w.txtServerPort->text(), QString());
    QCOMPARE(w.txtServerAddress->text(), QString("mail.example.com"));
    QCOMPARE(w.txtServerLoginName->text(), QString("admin"));
    QCOMPARE(w.txtServerPassword->text(), QString("secret"));
}

// ---------------------------------------------------------------------- size, keys and menu

void TestWindow::storedSizeAndTreeWidthRoundTrip()
{
    WindowFixture fx;
    WriteSetting(*fx.settings, "Settings", "FormLeft", "300");
    WriteSetting(*fx.settings, "Settings", "FormTop", "150");
    WriteSetting(*fx.settings, "Settings", "FormWidth", "11000");
    WriteSetting(*fx.settings, "Settings", "FormHeight", "8000");
    WriteSetting(*fx.settings, "Settings", "TreeWidth", "4000");
    {
        frmMain& w = fx.open();
        QCOMPARE(w.size(), QSize(w.Px(11000), w.Px(8000)));
        QCOMPARE(w.pos(), QPoint(w.Px(300), w.Px(150)));
        QCOMPARE(w.DomainList->width(), w.Px(4000));
        QCOMPARE(w.PanelLeft, w.Twips(w.Px(4000)) + 180);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.ShowServerPanel("edit");
        QCOMPARE(w.fraServerProperties->x(), w.Px(w.PanelLeft));
        QTRY_COMPARE(w.fraServerProperties->geometry().right() + 1, w.centralWidget()->width() - w.Px(90));
        QTRY_COMPARE(w.DomainList->y() + w.DomainList->height(), w.Px(w.Twips(w.height()) - w.TreeBottomMargin));

        w.resize(w.Px(10500), w.Px(7500));
        w.Layout->setTreeWidth(w.Px(3600));
        QVERIFY(w.close());
    }
    QCOMPARE(Setting(fx, "Settings", "FormWidth"), QString("10500"));
    QCOMPARE(Setting(fx, "Settings", "FormHeight"), QString("7500"));
    QCOMPARE(Setting(fx, "Settings", "TreeWidth"), QString("3600"));
    QCOMPARE(Setting(fx, "Settings", "FormLeft"), QString("300"));  // the position keys as before
    fx.window.reset();
    frmMain& again = fx.open();
    QCOMPARE(again.size(), QSize(again.Px(10500), again.Px(7500)));
    QCOMPARE(again.DomainList->width(), again.Px(3600));
}

void TestWindow::unusableStoredSizeOpensAtDesignSize_data()
{
    QTest::addColumn<QString>("width");  // "-": no key
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("tree");
    QTest::newRow("none stored") << "-" << "-" << "-";
    QTest::newRow("not numbers") << "wide" << "1.5e3" << "x";
    QTest::newRow("too small to use") << "300" << "200" << "-5";
    QTest::newRow("width only") << "11000" << "-" << "-";
    QTest::newRow("a list") << "11000,12" << "8000" << "4000,1";
}

void TestWindow::unusableStoredSizeOpensAtDesignSize()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, tree);
    QSize design;
    {
        WindowFixture plain;
        design = plain.open().size();
    }
    WindowFixture fx;
    const QPair<QString, QString> keys[] = {{"FormWidth", width}, {"FormHeight", height}, {"TreeWidth", tree}};
    for (const auto& [key, value] : keys)
        if (value != "-")
            fx.settings->setValue("Settings/" + key, value);
    frmMain& w = fx.open();
    QCOMPARE(w.size(), design);
    QCOMPARE(w.DomainList->width(), w.Px(3315));
    QCOMPARE(w.PanelLeft, 3420);
    QCOMPARE(w.fraServerProperties->geometry(), QRect(w.Px(3420), 0, w.Px(4935), w.Px(2535)));
}

static void ShowAndActivate(frmMain& w)
{
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

void TestWindow::enterDeleteAndF5PressTheirButtons()
{
    SimWindow s;
    frmMain& w = *s.w;
    ShowAndActivate(w);
    const QModelIndex server = s.node("server1");
    ClickNode(w, server);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QCOMPARE(Requests(s.sim, "domainlist"), 1);

    // F5 on the highlighted server loads it again, as a click does.
    w.DomainList->setFocus();
    QTest::keyClick(w.DomainList, Qt::Key_F5);
    QTRY_COMPARE(Requests(s.sim, "domainlist"), 2);
    QTRY_VERIFY(w.Session->DriverIsIdle());

    const QModelIndex domain = s.node(frmMain::DomainNodeKey("server1", "example.org"));
    ClickNode(w, domain);
    QTRY_COMPARE(ChildTexts(w, domain), (QStringList{"carol", "dave"}));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    w.DomainList->expand(domain);
    const QModelIndex carol = w.DomainModel->index(0, 0, domain);
    ClickNode(w, carol);
    QTRY_VERIFY(w.fraUserProperties->isVisible());
    QTRY_VERIFY(w.Session->DriverIsIdle());
    const int loads = Requests(s.sim, "uservars");
    QVERIFY(loads >= 1);

    // Enter in the alias box presses "Add New Alias".
    w.tabUsers->setCurrentWidget(w.txtNewAlias->parentWidget());
    w.txtNewAlias->setFocus();
    QTest::keyClicks(w.txtNewAlias, "carrie");
    QTest::keyClick(w.txtNewAlias, Qt::Key_Return);
    QTRY_COMPARE(Requests(s.sim, "aliasadd"), 1);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QTRY_VERIFY(!w.lstAliases->findItems("carrie", Qt::MatchExactly).isEmpty());

    // Enter on a focused button presses it.
    w.txtNewAlias->setText("cee");
    w.cmdAddAlias->setFocus();
    QTest::keyClick(w.cmdAddAlias, Qt::Key_Enter);
    QTRY_COMPARE(Requests(s.sim, "aliasadd"), 2);
    QTRY_VERIFY(w.Session->DriverIsIdle());

    // Delete in the list presses "Delete Alias" for the chosen entry.
    QTRY_VERIFY(!w.lstAliases->findItems("cee", Qt::MatchExactly).isEmpty());
    w.lstAliases->setFocus();
    w.lstAliases->setCurrentItem(w.lstAliases->findItems("cee", Qt::MatchExactly).first());
    QTest::keyClick(w.lstAliases, Qt::Key_Delete);
    QTRY_COMPARE(Requests(s.sim, "aliasdel"), 1);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QTRY_VERIFY(w.lstAliases->findItems("cee", Qt::MatchExactly).isEmpty());
    QVERIFY(!w.lstAliases->findItems("carrie", Qt::MatchExactly).isEmpty());
    // With nothing chosen Delete does nothing.
    w.lstAliases->clearSelection();
    QTest::keyClick(w.lstAliases, Qt::Key_Delete);
    QCOMPARE(w.Session->CountScripts(), 0);

    // F5 on the account loads its details again.
    w.DomainList->setFocus();
    QTest::keyClick(w.DomainList, Qt::Key_F5);
    QTRY_VERIFY(Requests(s.sim, "uservars") > Requests(s.sim, "aliasdel") + loads - 1);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QVERIFY(s.messages().isEmpty());
}

void TestWindow::menuEntriesDoWhatTheButtonsDo()
{
    SimWindow s;
    frmMain& w = *s.w;
    ShowAndActivate(w);
    QStringList menus;
    for (QAction* a : w.menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"&File", "&Edit", "&View", "&Help"}));
    QCOMPARE(w.Menu->reloadAction()->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(w.Menu->quitAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QVERIFY(w.Menu->fileMenu()->actions().contains(w.Menu->printAction()));

    // Print User List is there only where its button is.
    const QModelIndex server = s.node("server1");
    ClickNode(w, server);
    QTRY_VERIFY(w.Session->DriverIsIdle());
    emit w.Menu->fileMenu()->aboutToShow();
    QVERIFY(!w.Menu->printAction()->isEnabled());
    emit w.Menu->fileMenu()->aboutToHide();
    QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(s.fx.printer.printed.isEmpty() && !s.fx.printer.begun);
    ClickNode(w, s.node(frmMain::DomainNodeKey("server1", "example.org")));
    QTRY_VERIFY(w.Session->DriverIsIdle());
    QTRY_VERIFY(w.cmdPrintUserList->isVisible());
    emit w.Menu->fileMenu()->aboutToShow();
    QVERIFY(w.Menu->printAction()->isEnabled());
    emit w.Menu->fileMenu()->aboutToHide();
    QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
    QTRY_VERIFY(s.fx.printer.ended);
    QVERIFY(s.fx.printer.texts().join('\n').contains("carol"));

    // Add Server... shows the panel for a new server, as the tree's top node does.
    w.Menu->addServerAction()->trigger();
    QCOMPARE(w.fraServerProperties->title(), QString("Add New Server to Manage"));
    QVERIFY(w.cmdAddServer->isVisible());
    QCOMPARE(w.DomainList->currentIndex(), s.node("Servers"));

    // About names the version, the Qt version and the licence.
    const int before = s.fx.messages.messages.size();
    w.Menu->aboutAction()->trigger();
    QCOMPARE(s.fx.messages.messages.size(), before + 1);
    const QString about = s.fx.messages.messages.last().text;
    QVERIFY(about.contains("Tazel Administrator 0.26"));
    QVERIFY(about.contains(QString::fromLatin1(qVersion())));
    QVERIFY(about.contains("licence"));
    QVERIFY(!w.windowIcon().isNull());

    // Quit closes the window, which keeps its place as closing does.
    QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!w.isVisible());
    QCOMPARE(Setting(s.fx, "Settings", "FormLeft"), QString::number(w.Twips(w.x())));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
