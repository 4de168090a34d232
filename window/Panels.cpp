// The property panels: the server, domain and user frames, the two tab controls under them, the
// status bar, and the small behaviours that belong to the panels themselves. Positions are the
// designer's twips, turned into pixels for the screen the window is on.
#include "window/frmMain.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <algorithm>
#include <type_traits>

#include "session/Scripts.h"
#include "window/ServerTree.h"
#include "window/SshSettings.h"

namespace {

const QString EditMode = QStringLiteral("edit");
const QString AddMode = QStringLiteral("add");
const QString ListMode = QStringLiteral("list");
const QString DefaultPort = QStringLiteral("6017");

// Password boxes mask with "*", whatever the platform's own mask character is.
class StarMaskStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Places controls at designer positions. Inside a tab page the tab strip is taken off the top,
// since the designer measured from the tab control's own top edge.
struct Placer {
    const frmMain* w;
    int topOffset = 0;  // pixels

    template <class Widget>
    Widget* operator()(Widget* widget, int left, int top, int width, int height) const
    {
        int px = w->Px(width);
        // A caption that the platform's face draws wider than the designer's keeps its full text.
        if constexpr (std::is_same_v<Widget, QLabel> || std::is_same_v<Widget, QCheckBox>
                      || std::is_same_v<Widget, QRadioButton>)
            px = std::max(px, widget->sizeHint().width());
        int x = w->Px(left);
        // A button whose caption the face draws wider than the designer did grows about its
        // middle, so that the caption is not cut off.
        if constexpr (std::is_same_v<Widget, QPushButton>) {
            const int needed = widget->fontMetrics().horizontalAdvance(widget->text())
                               + 2 * widget->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, widget) + 2;
            if (needed > px) {
                x -= (needed - px + 1) / 2;
                px = needed;
            }
        }
        widget->setGeometry(x, std::max(0, w->Px(top) - topOffset), px, w->Px(height));
        return widget;
    }
    QLabel* label(QWidget* parent, const QString& text, int left, int top, int width = 2055) const
    {
        return (*this)(new QLabel(text, parent), left, top, width, 255);
    }
    QFrame* verticalLine(QWidget* parent, int left, int top, int bottom) const
    {
        auto* line = new QFrame(parent);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        return (*this)(line, left, top, 30, bottom - top);
    }
};

QPlainTextEdit* NewFileEditor(QWidget* parent)
{
    auto* box = new QPlainTextEdit(parent);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return box;
}

// Both tab controls carry a redirection page of the same shape: a left and a right column.
struct RedirectionColumns {
    QLineEdit *text, *ltext;
    QPushButton *add, *del, *ladd, *ldel;
    QListWidget *list, *llist;
};

RedirectionColumns NewRedirectionPage(QWidget* page, const Placer& at, const QString& deleteLCaption)
{
    RedirectionColumns c{};
    at.label(page, QStringLiteral("Redirection"), 240, 480, 2175);
    c.text = at(new QLineEdit(page), 240, 720, 2175, 285);
    c.add = at(new QPushButton(QStringLiteral("Add Redirection"), page), 240, 1080, 2175, 375);
    c.list = at(new QListWidget(page), 240, 1560, 2175, 1230);
    c.del = at(new QPushButton(QStringLiteral("Delete Redirect"), page), 240, 2880, 2175, 375);
    at.verticalLine(page, 2505, 480, 3255);
    at.label(page, QStringLiteral("L-Redirection"), 2640, 480);
    c.ltext = at(new QLineEdit(page), 2640, 720, 2055, 285);
    c.ladd = at(new QPushButton(QStringLiteral("Add L-Redirection"), page), 2640, 1080, 2055, 375);
    c.llist = at(new QListWidget(page), 2640, 1560, 2055, 1230);
    c.ldel = at(new QPushButton(deleteLCaption, page), 2640, 2880, 2055, 375);
    return c;
}

// The five account tabs share the panel's width, as on the designer's screen: narrow tab
// margins, and no scroll buttons. Returns the tab strip's height, known once the tabs are added.
int FitTabs(QTabWidget* tab)
{
    tab->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 5px; }"));
    tab->setUsesScrollButtons(false);
    return tab->tabBar()->sizeHint().height();
}

}  // namespace

int frmMain::Px(int twips) const
{
    return qRound(twips / 15.0 * logicalDpiX() / 96.0);
}

int frmMain::Twips(int pixels) const
{
    return qRound(pixels * 15.0 * 96.0 / logicalDpiX());
}

void frmMain::SetStatus(const QString& text)
{
    StatusPanel1->setText(text);
    emit StatusTextChanged(text);
}

void frmMain::SetVersionStatus(const QString& text)
{
    StatusPanel2->setText(text);
}

void frmMain::CreatePanels()
{
    // The designer's sizes were made for an 8-point face.
    QFont face = font();
    face.setPointSize(8);
    setFont(face);

    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* starMask = new StarMaskStyle;
    starMask->setParent(this);  // made after the controls' parent, so it outlives them
    const Placer at{this};

    // ---- the server tree
    auto* model = new ServerTreeModel(this);
    DomainModel = model;
    auto* tree = new ServerTreeView(central);
    DomainList = tree;
    tree->setModel(model);
    tree->setHeaderHidden(true);
    tree->setUniformRowHeights(true);  // a domain may hold a million accounts
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setIconSize(QSize(16, 16));
    at(tree, 0, 0, 3315, 5175);
    connect(tree, &QTreeView::expanded, this, &frmMain::DomainList_Expand);
    connect(tree, &QTreeView::clicked, this, &frmMain::DomainList_NodeClick);
    tree->onKeyboardMove = [this](const QModelIndex& node) { DomainList_NodeClick(node); };

    // ---- the server panel
    fraServerProperties = at(new QGroupBox(QStringLiteral("Server Properties"), central),
                             PanelLeft, 0, 4935, 2535);
    QWidget* f = fraServerProperties;
    at.label(f, QStringLiteral("Server Name"), 240, 360, 1335);
    txtServerName = at(new QLineEdit(f), 240, 600, 1695, 285);
    at.label(f, QStringLiteral("Server Address"), 2040, 360, 1095);
    txtServerAddress = at(new QLineEdit(f), 2040, 600, 1815, 285);
    at.label(f, QStringLiteral("Port"), 3960, 360, 615);
    txtServerPort = at(new QLineEdit(f), 3960, 600, 735, 285);
    at.label(f, QStringLiteral("Login Name"), 240, 960, 975);
    txtServerLoginName = at(new QLineEdit(f), 240, 1200, 2175, 285);
    at.label(f, QStringLiteral("Password"), 2520, 960, 1095);
    txtServerPassword = at(new QLineEdit(f), 2520, 1200, 2175, 285);
    chkHideServerPwd = at(new QCheckBox(QStringLiteral("Hide Password"), f), 2520, 1560, 1365, 255);
    cmdAddServer = at(new QPushButton(QStringLiteral("Add New Server"), f), 480, 1920, 1815, 375);
    cmdUpdateServer = at(new QPushButton(QStringLiteral("Save Changes"), f), 480, 1920, 1815, 375);
    cmdRemoveServer = at(new QPushButton(QStringLiteral("Remove Server"), f), 2640, 1920, 1815, 375);
    // Tab reaches it after the record's own buttons.
    SshPanel = new SshSettings(this, at(new QPushButton(QStringLiteral("SSH..."), f), 240, 1545, 1215, 330));

    // ---- the domain panel
    fraDomainProperties = at(new QGroupBox(QStringLiteral("Domain Properties"), central),
                             PanelLeft, 0, 4935, 2535);
    f = fraDomainProperties;
    at.label(f, QStringLiteral("Domain Name"), 240, 360, 1215);
    txtDomainName = at(new QLineEdit(f), 240, 600, 4455, 285);
    chkCustDomain = at(new QCheckBox(QStringLiteral("Add as custom domain"), f), 240, 1080, 2415, 255);
    cmdRemoveCustDomain =
        at(new QPushButton(QStringLiteral("Remove Custom Domain"), f), 2640, 960, 2055, 375);
    cmdAddDomain = at(new QPushButton(QStringLiteral("Add New Domain"), f), 480, 1800, 1935, 375);
    cmdRemoveDomain = at(new QPushButton(QStringLiteral("Remove this Domain"), f), 480, 1800, 1935, 375);
    cmdPrintUserList = at(new QPushButton(QStringLiteral("Print User List"), f), 2760, 1800, 1815, 375);

    // ---- the user panel
    fraUserProperties = at(new QGroupBox(QStringLiteral("User Properties"), central),
                           PanelLeft, 0, 4935, 2535);
    f = fraUserProperties;
    at.label(f, QStringLiteral("User/Account Name"), 240, 300, 1815);
    txtUserName = at(new QLineEdit(f), 240, 540, 2175, 285);
    at.label(f, QStringLiteral("Password"), 2520, 300, 1335);
    txtPassword = at(new QLineEdit(f), 2520, 540, 2175, 285);
    chkAsList = at(new QCheckBox(QStringLiteral("Mailing List Account"), f), 240, 930, 1815, 255);
    chkHideUserPwd = at(new QCheckBox(QStringLiteral("Hide Password"), f), 240, 1230, 1365, 255);
    cmdSavePassword = at(new QPushButton(QStringLiteral("Save Password"), f), 1680, 1050, 1455, 375);
    cmdDeleteUser = at(new QPushButton(QStringLiteral("Delete User"), f), 3240, 1050, 1455, 375);
    cmdAddUser = at(new QPushButton(QStringLiteral("Add New User/Account"), f), 480, 1800, 1935, 375);
    // The designer's face left the check box just room enough beside "Save Password"; a wider
    // face moves it left into the frame's margin instead of running it under the button.
    if (chkHideUserPwd->geometry().right() >= cmdSavePassword->x())
        chkHideUserPwd->move(std::max(Px(90), cmdSavePassword->x() - chkHideUserPwd->width() - 1),
                             chkHideUserPwd->y());

    // ---- the account tabs
    tabUsers = at(new QTabWidget(central), PanelLeft, 1680, 4935, 3495);
    QWidget* listPage = new QWidget;
    QWidget* aliasPage = new QWidget;
    QWidget* redirectPage = new QWidget;
    QWidget* pop3Page = new QWidget;
    QWidget* advancedPage = new QWidget;
    tabUsers->addTab(listPage, QStringLiteral("List Users"));
    tabUsers->addTab(aliasPage, QStringLiteral("Aliases / Vars"));
    tabUsers->addTab(redirectPage, QStringLiteral("Redirection"));
    tabUsers->addTab(pop3Page, QStringLiteral("POP3"));
    tabUsers->addTab(advancedPage, QStringLiteral("Advanced"));
    const Placer page{this, FitTabs(tabUsers)};

    page.label(listPage, QStringLiteral("New user address"), 240, 480);
    txtListUser = page(new QLineEdit(listPage), 240, 720, 2055, 285);
    auto* access = page(new QGroupBox(QStringLiteral("Access Type"), listPage), 240, 1200, 2055, 1095);
    optReadOnly = at(new QRadioButton(QStringLiteral("Read only"), access), 120, 360, 1815, 255);
    optReadAndPost = at(new QRadioButton(QStringLiteral("Read and post"), access), 120, 720, 1815, 255);
    cmdAddListUser = page(new QPushButton(QStringLiteral("Add list user >>"), listPage), 240, 2520, 2055, 375);
    page.label(listPage, QStringLiteral("List members"), 2520, 480, 2175);
    lstListUsers = page(new QListWidget(listPage), 2520, 720, 2175, 2205);
    cmdDeleteListUser =
        page(new QPushButton(QStringLiteral("Delete list user"), listPage), 2760, 3000, 1695, 375);

    page.label(aliasPage, QStringLiteral("Account Alias:"), 240, 480, 2175);
    txtNewAlias = page(new QLineEdit(aliasPage), 240, 720, 2175, 285);
    cmdAddAlias = page(new QPushButton(QStringLiteral("Add New Alias"), aliasPage), 240, 1080, 2175, 375);
    lstAliases = page(new QListWidget(aliasPage), 240, 1560, 2175, 1230);
    cmdDeleteAlias = page(new QPushButton(QStringLiteral("Delete Alias"), aliasPage), 240, 2880, 2175, 375);
    page.verticalLine(aliasPage, 2505, 480, 3255);
    page.label(aliasPage, QStringLiteral("Real Name"), 2640, 480);
    txtRealName = page(new QLineEdit(aliasPage), 2640, 720, 2055, 285);
    page.label(aliasPage, QStringLiteral("Home Page"), 2640, 1080);
    txtHomePage = page(new QLineEdit(aliasPage), 2640, 1320, 2055, 285);
    page.label(aliasPage, QStringLiteral("Max Mailbox Size"), 2640, 1680);
    txtMaxMBSize = page(new QLineEdit(aliasPage), 2640, 1920, 1335, 285);
    page.label(aliasPage, QStringLiteral("KB"), 4035, 1935, 600);
    chkMailbox = page(new QCheckBox(QStringLiteral("Store mail locally"), aliasPage), 2640, 2280, 2055, 255);
    chkClosedML = page(new QCheckBox(QStringLiteral("Closed Mail List"), aliasPage), 2640, 2520, 2055, 255);
    cmdSaveUserVars = page(new QPushButton(QStringLiteral("Save Changes"), aliasPage), 2640, 2880, 2055, 375);

    const RedirectionColumns user = NewRedirectionPage(redirectPage, page,
                                                       QStringLiteral("Delete L-Redirection"));
    txtRedirect = user.text;
    cmdAddRedirect = user.add;
    lstRedirects = user.list;
    cmdDeleteRedirect = user.del;
    txtLRedirect = user.ltext;
    cmdAddLRedirect = user.ladd;
    lstLRedirects = user.llist;
    cmdDeleteLRedirect = user.ldel;

    page.label(pop3Page, QStringLiteral("External POP3 Server"), 240, 480);
    txtPOP3Server = page(new QLineEdit(pop3Page), 240, 720, 2055, 285);
    page.label(pop3Page, QStringLiteral("External Username"), 240, 1080);
    txtPOP3User = page(new QLineEdit(pop3Page), 240, 1320, 2055, 285);
    page.label(pop3Page, QStringLiteral("External Password"), 240, 1680);
    txtPOP3Pass = page(new QLineEdit(pop3Page), 240, 1920, 2055, 285);
    auto* auth = page(new QGroupBox(QStringLiteral("Auth Type"), pop3Page), 240, 2280, 2055, 615);
    optCLR = at(new QRadioButton(QStringLiteral("CLR"), auth), 120, 300, 900, 255);
    optAPOP = at(new QRadioButton(QStringLiteral("APOP"), auth), 1080, 300, 900, 255);
    cmdAddPOP3 = page(new QPushButton(QStringLiteral("Add External Link >>"), pop3Page), 240, 3000, 2055, 375);
    page.label(pop3Page, QStringLiteral("POP3 External Links"), 2520, 480, 2175);
    lstPOP3 = page(new QListWidget(pop3Page), 2520, 720, 2175, 1815);
    cmdDeletePOP3 = page(new QPushButton(QStringLiteral("Delete External Link"), pop3Page), 2760, 3000, 1695, 375);

    page.label(advancedPage, QStringLiteral("Advanced \"mailproc.tab\" settings"), 240, 480, 4455);
    txtExternal = page(NewFileEditor(advancedPage), 120, 720, 4695, 2055);
    cmdSaveAdvanced = page(new QPushButton(QStringLiteral("Save Changes"), advancedPage), 3240, 2880, 1455, 375);

    // ---- the custom domain tabs
    tabCustomDomain = at(new QTabWidget(central), PanelLeft, 1680, 4935, 3495);
    QWidget* domainRedirectPage = new QWidget;
    QWidget* domainAdvancedPage = new QWidget;
    tabCustomDomain->addTab(domainRedirectPage, QStringLiteral("Domain Redirection"));
    tabCustomDomain->addTab(domainAdvancedPage, QStringLiteral("Advanced Options"));
    const Placer domainPage{this, FitTabs(tabCustomDomain)};
    const RedirectionColumns domain = NewRedirectionPage(domainRedirectPage, domainPage,
                                                         QStringLiteral("Delete L-Redirect"));
    txtDomainRedirect = domain.text;
    cmdAddDomainRedirect = domain.add;
    lstDomainRedirects = domain.list;
    cmdDeleteDomainRedirect = domain.del;
    txtDomainLredirect = domain.ltext;
    cmdAddDomainLredirect = domain.ladd;
    lstDomainLredirects = domain.llist;
    cmdDeleteDomainLredirect = domain.ldel;
    domainPage.label(domainAdvancedPage, QStringLiteral("Advanced Custom Domain Processing"), 120, 480, 4695);
    txtDomainAdvanced = domainPage(NewFileEditor(domainAdvancedPage), 120, 720, 4695, 2055);
    cmdSaveDomainAdvanced =
        domainPage(new QPushButton(QStringLiteral("Save Changes"), domainAdvancedPage), 3240, 2880, 1455, 375);

    // ---- the status bar: progress, then the last greeted server's version and platform
    StatusPanel1 = new QLabel(this);
    StatusPanel2 = new QLabel(this);
    statusBar()->addWidget(StatusPanel1, 3);
    statusBar()->addWidget(StatusPanel2, 2);

    // ---- initial state: passwords masked, the delete buttons of the lists waiting for a choice
    for (QLineEdit* box : {txtServerPassword, txtPassword, txtPOP3Pass}) {
        box->setStyle(starMask);
        box->setEchoMode(QLineEdit::Password);
    }
    chkHideServerPwd->setChecked(true);
    chkHideUserPwd->setChecked(true);
    optCLR->setChecked(true);
    cmdDeleteRedirect->setEnabled(false);
    cmdDeleteLRedirect->setEnabled(false);
    cmdDeletePOP3->setEnabled(false);
    txtServerPort->setText(DefaultPort);

    // ---- wiring
    connect(chkHideServerPwd, &QCheckBox::toggled, this, &frmMain::chkHideServerPwd_Click);
    connect(chkHideUserPwd, &QCheckBox::toggled, this, &frmMain::chkHideUserPwd_Click);
    connect(lstAliases, &QListWidget::itemSelectionChanged, this, &frmMain::lstAliases_Click);
    connect(lstRedirects, &QListWidget::itemSelectionChanged, this, &frmMain::lstRedirects_Click);
    connect(lstLRedirects, &QListWidget::itemSelectionChanged, this, &frmMain::lstLRedirects_Click);
    connect(lstPOP3, &QListWidget::itemSelectionChanged, this, &frmMain::lstPOP3_Click);

    const std::pair<QPushButton*, void (frmMain::*)()> buttons[] = {
        {cmdAddServer, &frmMain::cmdAddServer_Click},
        {cmdUpdateServer, &frmMain::cmdUpdateServer_Click},
        {cmdRemoveServer, &frmMain::cmdRemoveServer_Click},
        {cmdAddDomain, &frmMain::cmdAddDomain_Click},
        {cmdRemoveDomain, &frmMain::cmdRemoveDomain_Click},
        {cmdRemoveCustDomain, &frmMain::cmdRemoveCustDomain_Click},
        {cmdPrintUserList, &frmMain::cmdPrintUserList_Click},
        {cmdAddUser, &frmMain::cmdAddUser_Click},
        {cmdSavePassword, &frmMain::cmdSavePassword_Click},
        {cmdDeleteUser, &frmMain::cmdDeleteUser_Click},
        {cmdAddListUser, &frmMain::cmdAddListUser_Click},
        {cmdDeleteListUser, &frmMain::cmdDeleteListUser_Click},
        {cmdAddAlias, &frmMain::cmdAddAlias_Click},
        {cmdDeleteAlias, &frmMain::cmdDeleteAlias_Click},
        {cmdSaveUserVars, &frmMain::cmdSaveUserVars_Click},
        {cmdAddRedirect, &frmMain::cmdAddRedirect_Click},
        {cmdDeleteRedirect, &frmMain::cmdDeleteRedirect_Click},
        {cmdAddLRedirect, &frmMain::cmdAddLRedirect_Click},
        {cmdDeleteLRedirect, &frmMain::cmdDeleteLRedirect_Click},
        {cmdAddPOP3, &frmMain::cmdAddPOP3_Click},
        {cmdDeletePOP3, &frmMain::cmdDeletePOP3_Click},
        {cmdSaveAdvanced, &frmMain::cmdSaveAdvanced_Click},
        {cmdAddDomainRedirect, &frmMain::cmdAddDomainRedirect_Click},
        {cmdDeleteDomainRedirect, &frmMain::cmdDeleteDomainRedirect_Click},
        {cmdAddDomainLredirect, &frmMain::cmdAddDomainLredirect_Click},
        {cmdDeleteDomainLredirect, &frmMain::cmdDeleteDomainLredirect_Click},
        {cmdSaveDomainAdvanced, &frmMain::cmdSaveDomainAdvanced_Click},
    };
    for (const auto& [button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, handler);

    // The window at its design size: the tree, then the status bar along the bottom edge.
    resize(Px(8445), Px(5190) + statusBar()->sizeHint().height());
    HideAllPanels();
}

void frmMain::HideAllPanels()
{
    fraUserProperties->hide();
    fraDomainProperties->hide();
    fraServerProperties->hide();
    tabUsers->hide();
    tabCustomDomain->hide();
}

void frmMain::ShowServerPanel(const QString& mode)
{
    const bool edit = mode.toLower() == EditMode;
    if (edit) {
        fraServerProperties->setTitle(QStringLiteral("Server Properties"));
    } else {
        ClearServerFields();
        fraServerProperties->setTitle(QStringLiteral("Add New Server to Manage"));
    }
    cmdAddServer->setVisible(!edit);
    cmdUpdateServer->setVisible(edit);
    cmdRemoveServer->setVisible(edit);
    fraServerProperties->move(Px(PanelLeft), 0);
    fraUserProperties->hide();
    fraDomainProperties->hide();
    fraServerProperties->show();
    tabUsers->hide();
    tabCustomDomain->hide();
}

void frmMain::ShowDomainPanel(const QString& mode)
{
    const QString m = mode.toLower();
    int top = fraDomainProperties->y();
    if (m == AddMode) {
        fraDomainProperties->setTitle(QStringLiteral("Add New Domain"));
        ClearDomainFields();
        top = Px(2640);  // under the server panel, which stays as it is
        cmdRemoveDomain->hide();
        cmdPrintUserList->hide();
        cmdAddDomain->show();
        txtDomainName->setEnabled(true);
        chkCustDomain->show();
    } else if (m == EditMode) {
        fraDomainProperties->setTitle(QStringLiteral("Domain Properties"));
        top = 0;
        cmdRemoveDomain->show();
        cmdPrintUserList->show();
        cmdAddDomain->hide();
        fraServerProperties->hide();
        txtDomainName->setEnabled(false);
        chkCustDomain->hide();
    }
    cmdRemoveCustDomain->hide();
    fraDomainProperties->setGeometry(Px(PanelLeft), top, fraDomainProperties->width(), Px(2535));
    fraDomainProperties->show();
    fraUserProperties->hide();
    tabUsers->hide();
    tabCustomDomain->hide();
}

void frmMain::ShowCustomDomainPanel()
{
    fraDomainProperties->setTitle(QStringLiteral("Domain Properties"));
    // The frame is shorter here and ends above the domain buttons: hidden, not merely cut off,
    // so that Tab and Enter cannot reach a button nobody sees.
    cmdRemoveDomain->hide();
    cmdPrintUserList->hide();
    cmdAddDomain->hide();
    fraServerProperties->hide();
    txtDomainName->setEnabled(false);
    cmdRemoveCustDomain->show();
    chkCustDomain->hide();
    fraDomainProperties->setGeometry(Px(PanelLeft), 0, fraDomainProperties->width(), Px(1575));
    fraDomainProperties->show();
    fraUserProperties->hide();
    tabUsers->hide();
    tabCustomDomain->move(Px(PanelLeft), Px(1680));
    tabCustomDomain->show();
}

void frmMain::ShowUserPanel(const QString& mode)
{
    const QString m = mode.toLower();
    if (m == AddMode) {
        fraUserProperties->setTitle(QStringLiteral("Add New User/Account"));
        ClearUserFields();
        fraUserProperties->setGeometry(fraUserProperties->x(), Px(2640), fraUserProperties->width(),
                                       Px(2535));
        fraDomainProperties->show();
        txtUserName->setEnabled(true);
        chkAsList->show();
        tabUsers->hide();
        cmdAddUser->show();
        cmdSavePassword->hide();
        cmdDeleteUser->hide();
    } else if (m == EditMode || m == ListMode) {
        const bool list = m == ListMode;
        fraUserProperties->setTitle(list ? QStringLiteral("Mailing List Properties")
                                         : QStringLiteral("User/Account Properties"));
        fraUserProperties->setGeometry(fraUserProperties->x(), 0, fraUserProperties->width(), Px(1575));
        fraDomainProperties->hide();
        txtUserName->setEnabled(false);
        chkAsList->hide();
        txtNewAlias->clear();
        lstAliases->setCurrentRow(-1);
        lstAliases->clearSelection();
        tabUsers->move(Px(PanelLeft), Px(1680));
        tabUsers->show();
        cmdAddUser->hide();
        cmdSavePassword->show();
        cmdDeleteUser->show();
        if (list) {
            txtListUser->clear();
            optReadOnly->setChecked(true);
            optReadAndPost->setChecked(false);
            if (!tabUsers->isTabVisible(0)) {
                tabUsers->setTabVisible(0, true);
                tabUsers->setCurrentIndex(0);
            }
        } else {
            tabUsers->setTabVisible(0, false);  // a plain account has no members
        }
        chkClosedML->setVisible(list);
    }
    fraUserProperties->move(Px(PanelLeft), fraUserProperties->y());
    fraUserProperties->show();
    fraServerProperties->hide();
    tabCustomDomain->hide();
}

void frmMain::ClearServerFields()
{
    txtServerName->clear();
    txtServerAddress->clear();
    txtServerLoginName->clear();
    txtServerPassword->clear();
    txtServerPort->setText(DefaultPort);
}

void frmMain::ClearDomainFields()
{
    txtDomainName->clear();
}

void frmMain::ClearUserFields()
{
    txtUserName->clear();
    txtPassword->clear();
    chkAsList->setChecked(false);
}

void frmMain::ShowServerVersion()
{
    fraServerProperties->setTitle(QStringLiteral("Tazel Server (Version: ")
                                  + QString::number(Session->Replies().ServerVersion) + QLatin1Char(')'));
}

void frmMain::FillAliasList()
{
    lstAliases->clear();
    lstAliases->addItems(Session->Replies().AliasEntries);
}

void frmMain::ShowUserVars()
{
    const Scripts::UserVarsForm vars = Scripts::ReadUserVars(*Session);
    txtRealName->setText(vars.realName);
    txtHomePage->setText(vars.homePage);
    txtMaxMBSize->setText(vars.maxMBSize);
    // A server that sends no ClosedML leaves the box as it was.
    if (Scripts::ReadUserVar(*Session, QStringLiteral("ClosedML")))
        chkClosedML->setChecked(vars.closedML);
}

// Ticked masks, unticked shows the text; the greyed state leaves the boxes as they are.
static void ApplyMask(const QCheckBox* check, std::initializer_list<QLineEdit*> boxes)
{
    if (check->checkState() == Qt::PartiallyChecked)
        return;
    const auto mode = check->isChecked() ? QLineEdit::Password : QLineEdit::Normal;
    for (QLineEdit* box : boxes)
        box->setEchoMode(mode);
}

void frmMain::chkHideServerPwd_Click()
{
    ApplyMask(chkHideServerPwd, {txtServerPassword});
}

void frmMain::chkHideUserPwd_Click()
{
    ApplyMask(chkHideUserPwd, {txtPassword, txtPOP3Pass});
}

void frmMain::lstAliases_Click()
{
    cmdDeleteAlias->setEnabled(!lstAliases->selectedItems().isEmpty());
}

// A choice in a list enables its delete button; emptying or refilling the list does not, and the
// delete actions disable the button again after use.
void frmMain::lstRedirects_Click()
{
    if (!lstRedirects->selectedItems().isEmpty())
        cmdDeleteRedirect->setEnabled(true);
}

void frmMain::lstLRedirects_Click()
{
    if (!lstLRedirects->selectedItems().isEmpty())
        cmdDeleteLRedirect->setEnabled(true);
}

void frmMain::lstPOP3_Click()
{
    const QList<QListWidgetItem*> chosen = lstPOP3->selectedItems();
    if (chosen.isEmpty())
        return;
    cmdDeletePOP3->setEnabled(true);
    lstPOP3->setToolTip(chosen.first()->text());
}
