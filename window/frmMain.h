#pragma once
// The one main window: the server tree and the property panels, the view of one server session
// (session/ServerSession.h), which holds the queue, the connection and what the replies filled.
// Its routines are defined across the subsystem folders:
//   actions/*.cpp                the script frame, the builders and the button commands (the
//                                server panel's among them, in actions/ServerCommands.cpp)
//   window/*.cpp                 the tree, the panels, navigation, the window's lifecycle, printing

#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

#include "session/ServerSession.h"
#include "window/ServerTreeModel.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSettings;
class QTabWidget;
class QTreeView;
class AccountFiles;
class TreeFilter;
class MessageSeam;
class PrinterSeam;
class MainMenu;
class WindowLayout;
class ActivityLog;
class ActivityDock;
class BusyIndicator;
class SessionWindowView;
class SshSettings;
class ServerPasswords;

class frmMain : public QMainWindow {
    Q_OBJECT

public:
    // settings: the store of server records and window position (the user's own when null).
    // messages, printer: the seams; the window's own (message boxes, the platform printer) when null.
    explicit frmMain(QSettings* settings = nullptr, MessageSeam* messages = nullptr,
                     PrinterSeam* printer = nullptr, QWidget* parent = nullptr);
    ~frmMain() override;

    // ---------------------------------------------------------------- the server session (engine)
    // The queue, the connection, the reply reader and the collections the replies fill; the window
    // is its view.
    ServerSession* Session = nullptr;
    ActivityLog* Activity = nullptr;       // every script's row and outcome
    ActivityDock* ActivityView = nullptr;  // the dock that shows it (View menu)
    BusyIndicator* Busy = nullptr;         // busy bar and Cancel in the status bar
    // The server of the domain the panels show (empty when none is chosen).
    QString ShownServerKey() const;
    // True when the session holds the complete account list of the domain the panel shows, of its
    // server (a domain of the same name on another server does not count).
    bool ShownDomainListIsLoaded() const;

    // ---------------------------------------------------------------- actions
    // The script head of a stored server: the session's, with the record's address, port, login
    // and password. The label says what the script does; the head fills in the server's name.
    void QueueScriptHead(const QString& serverKey, bool required, const ScriptLabel& label = {});
    void QueueLoadDomains(const QString& serverKey, bool required);
    void QueueLoadUsers(const QString& domainNodeKey, bool required);
    void QueueLoadCustomDomain(const QString& customDomainNodeKey);
    void QueueLoadAccount(const QString& accountNodeKey);
    void QueueSaveCustomDomain();
    void QueueSaveMailProc();
    // What an upload composes each file from: the editors as they stand now.
    FileEditors CustomDomainEditorContents() const;
    FileEditors MailProcEditorContents() const;
    // Refuses values that cannot be sent: tells the user what and why and returns false.
    bool CheckSendable(const QStringList& values);

    void cmdAddDomain_Click();
    void cmdRemoveDomain_Click();
    void cmdRemoveCustDomain_Click();
    void cmdAddDomainRedirect_Click();
    void cmdAddDomainLredirect_Click();
    void cmdDeleteDomainRedirect_Click();
    void cmdDeleteDomainLredirect_Click();
    void cmdSaveDomainAdvanced_Click();
    void cmdAddUser_Click();
    void cmdDeleteUser_Click();
    void cmdSavePassword_Click();
    void cmdAddListUser_Click();
    void cmdDeleteListUser_Click();
    void cmdAddAlias_Click();
    void cmdDeleteAlias_Click();
    void cmdSaveUserVars_Click();
    void cmdSaveAdvanced_Click();
    void cmdAddRedirect_Click();
    void cmdDeleteRedirect_Click();
    void cmdAddLRedirect_Click();
    void cmdDeleteLRedirect_Click();
    void cmdAddPOP3_Click();
    void cmdDeletePOP3_Click();

    // ---------------------------------------------------------------- server tree (window)
    QTreeView* DomainList = nullptr;
    ServerTreeModel* DomainModel = nullptr;
    // Selection: persistent indices, invalid ("0") when none or when the node has gone.
    QPersistentModelIndex SelectedServerIndex;
    QPersistentModelIndex SelectedDomainIndex;
    QPersistentModelIndex SelectedUserIndex;
    int ServerCount = 0;

    void BuildServerTree();
    void AddDomainsToTree(const QString& serverKey);
    void AddCustomDomainsToTree(const QString& serverKey);
    void AddUsersToTree(const QString& domainNodeKey);
    void RemoveChildNodes(const QModelIndex& node);
    int NodeLevel(const QModelIndex& node) const;
    QModelIndex NodeByKey(const QString& key) const;
    QString NodeKey(const QModelIndex& node) const;
    QString NodeText(const QModelIndex& node) const;
    QString NodeTag(const QModelIndex& node) const;
    void SetNodeTag(const QModelIndex& node, const QString& tag);
    // Keys that cannot collide: a child's key is its parent's key, a separator that no name from
    // the wire can hold, a kind letter and the name. Server keys stay the record's section name.
    static QString DomainNodeKey(const QString& serverKey, const QString& domain);
    static QString CustomDomainNodeKey(const QString& serverKey, const QString& customDomain);
    static QString AccountNodeKey(const QString& domainKey, const QString& account);

    // ---------------------------------------------------------------- tree navigation (window)
    // The find box above the tree.
    TreeFilter* TreeFind = nullptr;
    void DomainList_Expand(const QModelIndex& node);
    void DomainList_NodeClick(const QModelIndex& node);
    void ShowServerOfNode(const QModelIndex& serverNode, bool required);
    void ShowDomainOfNode(const QModelIndex& domainNode, bool required);
    void FillServerFields(const QString& serverKey);

    // ---------------------------------------------------------------- property panels (window)
    QGroupBox* fraServerProperties = nullptr;
    QLineEdit* txtServerName = nullptr;
    QLineEdit* txtServerAddress = nullptr;
    QLineEdit* txtServerPort = nullptr;
    QLineEdit* txtServerLoginName = nullptr;
    QLineEdit* txtServerPassword = nullptr;
    QCheckBox* chkHideServerPwd = nullptr;
    QPushButton* cmdAddServer = nullptr;
    QPushButton* cmdUpdateServer = nullptr;
    QPushButton* cmdRemoveServer = nullptr;
    SshSettings* SshPanel = nullptr;  // "SSH...": the record's SSH host, the tree's lock, the transports

    QGroupBox* fraDomainProperties = nullptr;
    QLineEdit* txtDomainName = nullptr;
    QCheckBox* chkCustDomain = nullptr;
    QPushButton* cmdRemoveCustDomain = nullptr;
    QPushButton* cmdAddDomain = nullptr;
    QPushButton* cmdRemoveDomain = nullptr;
    QPushButton* cmdPrintUserList = nullptr;

    QGroupBox* fraUserProperties = nullptr;
    QLineEdit* txtUserName = nullptr;
    QLineEdit* txtPassword = nullptr;
    QCheckBox* chkAsList = nullptr;
    QCheckBox* chkHideUserPwd = nullptr;
    QPushButton* cmdSavePassword = nullptr;
    QPushButton* cmdDeleteUser = nullptr;
    QPushButton* cmdAddUser = nullptr;

    QTabWidget* tabUsers = nullptr;
    // tab 0 "List Users"
    QLineEdit* txtListUser = nullptr;
    QRadioButton* optReadOnly = nullptr;
    QRadioButton* optReadAndPost = nullptr;
    QPushButton* cmdAddListUser = nullptr;
    QListWidget* lstListUsers = nullptr;
    QPushButton* cmdDeleteListUser = nullptr;
    // tab 1 "Aliases / Vars"
    QLineEdit* txtNewAlias = nullptr;
    QPushButton* cmdAddAlias = nullptr;
    QListWidget* lstAliases = nullptr;
    QPushButton* cmdDeleteAlias = nullptr;
    QLineEdit* txtRealName = nullptr;
    QLineEdit* txtHomePage = nullptr;
    QLineEdit* txtMaxMBSize = nullptr;
    QCheckBox* chkMailbox = nullptr;
    QCheckBox* chkClosedML = nullptr;
    QPushButton* cmdSaveUserVars = nullptr;
    // tab 2 "Redirection"
    QLineEdit* txtRedirect = nullptr;
    QPushButton* cmdAddRedirect = nullptr;
    QListWidget* lstRedirects = nullptr;
    QPushButton* cmdDeleteRedirect = nullptr;
    QLineEdit* txtLRedirect = nullptr;
    QPushButton* cmdAddLRedirect = nullptr;
    QListWidget* lstLRedirects = nullptr;
    QPushButton* cmdDeleteLRedirect = nullptr;
    // tab 3 "POP3"
    QLineEdit* txtPOP3Server = nullptr;
    QLineEdit* txtPOP3User = nullptr;
    QLineEdit* txtPOP3Pass = nullptr;
    QRadioButton* optCLR = nullptr;
    QRadioButton* optAPOP = nullptr;
    QPushButton* cmdAddPOP3 = nullptr;
    QListWidget* lstPOP3 = nullptr;
    QPushButton* cmdDeletePOP3 = nullptr;
    // tab 4 "Advanced"
    QPlainTextEdit* txtExternal = nullptr;
    QPushButton* cmdSaveAdvanced = nullptr;

    QTabWidget* tabCustomDomain = nullptr;
    // tab 0 "Domain Redirection"
    QLineEdit* txtDomainRedirect = nullptr;
    QPushButton* cmdAddDomainRedirect = nullptr;
    QListWidget* lstDomainRedirects = nullptr;
    QPushButton* cmdDeleteDomainRedirect = nullptr;
    QLineEdit* txtDomainLredirect = nullptr;
    QPushButton* cmdAddDomainLredirect = nullptr;
    QListWidget* lstDomainLredirects = nullptr;
    QPushButton* cmdDeleteDomainLredirect = nullptr;
    // tab 1 "Advanced Options"
    QPlainTextEdit* txtDomainAdvanced = nullptr;
    QPushButton* cmdSaveDomainAdvanced = nullptr;

    QLabel* StatusPanel1 = nullptr;  // progress, "Ready" when idle
    QLabel* StatusPanel2 = nullptr;  // version and platform of the last server greeted
    // How long the first panel shows a finished action's outcome before "Ready" comes back.
    int OutcomeShownMs = 6000;
    void SetStatus(const QString& text);
    void SetVersionStatus(const QString& text);

    void CreatePanels();
    void HideAllPanels();
    void ShowServerPanel(const QString& mode);
    void ShowDomainPanel(const QString& mode);
    void ShowUserPanel(const QString& mode);
    void ShowCustomDomainPanel();
    void ClearServerFields();
    void ClearDomainFields();
    void ClearUserFields();
    void ShowServerVersion();
    void FillAliasList();
    void ShowUserVars();
    void chkHideServerPwd_Click();
    void chkHideUserPwd_Click();
    void lstAliases_Click();
    void lstRedirects_Click();
    void lstLRedirects_Click();
    void lstPOP3_Click();
    // Twips to pixels: 15 twips a pixel at 96 dpi, scaled with the screen's dpi.
    int Px(int twips) const;
    int Twips(int pixels) const;

    // ---------------------------------------------------------------- window lifecycle (window)
    int PanelLeft = 3420;         // twips
    int TreeBottomMargin = 0;     // twips
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    WindowLayout* Layout = nullptr;  // growth past the design size, the tree's drag handle
    MainMenu* Menu = nullptr;        // the menu bar

    // ---------------------------------------------------------------- server commands (store)
    QSettings* Settings = nullptr;
    ServerPasswords* Passwords = nullptr;  // where passwords are kept: the keyring, or this file
    void cmdAddServer_Click();
    void cmdUpdateServer_Click();
    void cmdRemoveServer_Click();

    // ---------------------------------------------------------------- printing (window)
    void cmdPrintUserList_Click();

    // ---------------------------------------------------------------- account files (window)
    // "Export Accounts..." and "Add Accounts from File..." of the domain panel.
    AccountFiles* AccountFileCommands = nullptr;

    // ---------------------------------------------------------------- messages
    MessageSeam* Messages = nullptr;
    PrinterSeam* Printer = nullptr;
    static const QString MessageTitle;  // "Tazel Administrator"
    void ShowMessage(const QString& text, MsgIcon icon, const QString& title = MessageTitle);
    bool AskYesNo(const QString& text, const QString& title = MessageTitle, bool defaultNo = false);

signals:
    void StatusTextChanged(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActivityViews();
    std::unique_ptr<QSettings> OwnSettings;
    std::unique_ptr<PrinterSeam> OwnPrinter;
    std::unique_ptr<SessionWindowView> SessionViewOfWindow;
};
