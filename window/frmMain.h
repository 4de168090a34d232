#pragma once
// The one main window. It owns all state: the command queue, the socket, the protocol state, the
// collections filled by replies, the server tree and the property panels. Its routines are defined
// across the subsystem folders:
//   engine/Driver.cpp            the script driver and the socket's events
//   replies/ReplyReader.cpp      cutting lines, dispatching them, the error path
//   replies/*Replies.cpp         one handler per reply kind
//   actions/*.cpp                the script frame, the builders and the button commands
//   window/*.cpp                 the tree, the panels, navigation, the window's lifecycle, printing
//   store/ServerCommands.cpp     the server panel's commands

#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

#include "engine/CommandQueue.h"
#include "replies/AccountTable.h"
#include "replies/FileText.h"
#include "replies/LineReader.h"
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
class QTcpSocket;
class QTimer;
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
class SshSettings;
enum class MsgIcon;

// How a reply handler ended with a line: complete (the step is done: run the driver, then read on),
// continue (read the next buffered line), or stop (leave the rest for the next data event).
enum class ReplyOutcome { Complete, Continue, Stop };

// How far the custom domain editor (or the mail-processing editors) holds the server's file.
// A save composes the whole file from the editors, so it may only go ahead when they hold a
// complete download of that very file, or were emptied on purpose to create or remove it.
// NotSent: the server answered the download with "-", which may mean "no file" or "refused just
// now"; the first save asks before it creates a file. Unholdable: the file came down whole but
// holds a line the editors cannot show as it is; it is shown read-only and never saved whole.
struct EditorSource {
    enum State { Empty, Loading, Complete, Fresh, NotSent, Unholdable };
    EditorSource() = default;
    EditorSource(State s, const QString& name) : state(s), owner(name) {}
    State state = Empty;
    QString owner;  // the custom domain name, or the account address (account@domain)
    QString serverAnswer;  // NotSent: the server's "-" line
    bool linesHeld = true;  // Loading: every line so far is held as it is
    bool allowsSaveOf(const QString& name) const
    {
        return (state == Complete || state == Fresh) && owner == name;
    }
};

class frmMain : public QMainWindow {
    Q_OBJECT

public:
    // settings: the store of server records and window position (the user's own when null).
    // messages, printer: the seams; the window's own (message boxes, the platform printer) when null.
    explicit frmMain(QSettings* settings = nullptr, MessageSeam* messages = nullptr,
                     PrinterSeam* printer = nullptr, QWidget* parent = nullptr);
    ~frmMain() override;

    // ---------------------------------------------------------------- command queue (engine)
    CommandQueue lstCommand;
    // mark: a step whose outcome is reported to the script observers by itself (ScriptObserver.h).
    void QueueCommand(const QString& pseudoCommand, int mark = 0);
    void QueueArgument(const QString& value);
    void QueueEndMarker();
    void QueueConnect(const QString& address, const QString& port);
    QueueEntry NextCommand();
    QString NextArgument();  // the head entry's text, whatever its kind
    int CountScripts() const;
    void StartQueue();

    // ---------------------------------------------------------------- script driver (engine)
    QString CurrentCommand;
    LineReader ReplyBuffer;
    bool ScriptAborted = false;
    bool ScriptRequired = false;
    double ServerVersion = 0;
    QString GreetingTimestamp;
    QString ServerPlatform;
    QChar QuoteChar = QLatin1Char('"');
    QTcpSocket* TcpConnection = nullptr;
    // A server that stops answering must not hold the queue for ever: when nothing arrives for
    // this long while a reply is awaited, the script is abandoned like after a socket error.
    int ReplyTimeoutMs = 60000;
    QTimer* ReplyTimer = nullptr;
    // Who watches scripts start and end (the activity log, the busy indicator, ...), and the
    // running script's label and outcome.
    ScriptReporter Reports;
    ActivityLog* Activity = nullptr;       // every script's row and outcome
    ActivityDock* ActivityView = nullptr;  // the dock that shows it (View menu)
    BusyIndicator* Busy = nullptr;         // busy bar and Cancel in the status bar
    // A server that drips a line byte by byte keeps the timer above from firing: a line that has not
    // ended this long after it began abandons the script too.
    int LineTimeoutMs = 600000;
    QTimer* LineTimer = nullptr;
    // No reply line is longer than this; a server sending more without a line end is abandoned
    // (a long list is many short lines, never one long one).
    qsizetype MaxReplyLineBytes = qsizetype(16) << 20;
    // The "+" that opens the reply being read has arrived (reset with every request sent): after it,
    // a file download's lines starting with "+" are file lines.
    bool ReplyHeaderSeen = false;
    // A note in the activity log beside the running script's row: stray lines dropped, a file the
    // server did not send.
    void NoteForActivityLog(const QString& text);

    void RunNextCommand();
    void CloseConnection();
    void SendText(const QByteArray& bytes);
    // Composes and sends a request line; when a value cannot be sent the request is not sent at
    // all, the user is told, and the script is abandoned. Returns whether it was sent.
    bool SendRequest(const QString& word, const QStringList& args);
    bool SocketOpen() const;
    bool DriverIsIdle() const { return DriverIdle; }

    void TcpConnection_Connect();
    void TcpConnection_DataArrival();
    void TcpConnection_Close();
    void TcpConnection_Error(int number, const QString& description);
    void ReplyTimedOut();
    void LineTimedOut();

    // ---------------------------------------------------------------- reply reader (replies)
    void ReadReplyLines();
    // The reader hands the window back its events after this long, and goes on with the lines
    // still buffered right after them; the socket's close and errors wait until it has read them.
    int ReaderSliceMs = 8;
    bool ReaderHasBacklog() const { return ReaderResumePending; }
    ReplyOutcome HandleReplyLine(const QString& line);
    void ReportErrorReply(const QString& line, const QString& command);
    ReplyOutcome HandleDefaultLine(const QString& line);
    ReplyOutcome HandleQuitLine(const QString& line);
    // The list skeleton: "+" shows the progress text, "." runs onEnd and completes, an empty line is
    // passed over, any other line is a data line handed to onData as received.
    ReplyOutcome HandleListLine(const QString& line, const QString& progressText,
                                const std::function<void(const QString&)>& onData,
                                const std::function<void()>& onEnd = {}, bool emptyIsData = false);
    // For data handlers: reports the line as malformed (the reader then goes on).
    void ReportMalformedLine(const QString& line);
    // The body of an upload the server asked for, composed from the editors; refused (no body, the
    // script abandoned) when the editors do not hold the whole file of the upload's target.
    ReplyOutcome SendUploadBody(const FileEditors& editors, bool withMailbox, const EditorSource& source,
                                QPlainTextEdit* advancedBox, const QString& notReadText,
                                const QString& keptText);
    // The end of a file download: the editors hold the file (or, when a line could not be held as
    // it is, show it read-only and say so).
    void FinishFileDownload(EditorSource& source, QPlainTextEdit* advancedBox, const QString& fileName);
    // What an upload composes each file from: the editors as they stand now.
    FileEditors CustomDomainEditorContents() const;
    FileEditors MailProcEditorContents() const;

    // ---------------------------------------------------------------- reply handlers (replies)
    ReplyOutcome HandleGreetingLine(const QString& line);
    ReplyOutcome HandleDomainListLine(const QString& line);
    ReplyOutcome HandleCustDomListLine(const QString& line);
    ReplyOutcome HandleCustDomGetLine(const QString& line);
    ReplyOutcome HandleCustDomSetLine(const QString& line);
    ReplyOutcome HandleDomainDelLine(const QString& line);
    ReplyOutcome HandleUserListLine(const QString& line);
    ReplyOutcome HandleMlUserListLine(const QString& line);
    ReplyOutcome HandleGetUserLine(const QString& line);
    ReplyOutcome HandleAliasListLine(const QString& line);
    ReplyOutcome HandleUserVarsLine(const QString& line);
    ReplyOutcome HandleUserGetMprocLine(const QString& line);
    ReplyOutcome HandleUserSetMprocLine(const QString& line);
    ReplyOutcome HandlePop3ListLine(const QString& line);

    // Reply collections. Each holds exactly its items (the driver empties it before its request).
    QStringList DomainNames;
    QStringList CustomDomainNames;
    QStringList AliasEntries;
    QStringList UserVarNames;
    QStringList UserVarValues;
    QStringList Pop3LinkUsers;
    QStringList Pop3LinkServers;
    AccountTable UserEntries;            // compact; the tree shares its bytes
    QString UserEntriesDomain;           // the domain whose complete account list UserEntries holds
    QString RequestedUserListDomain;     // the domain of the account list being received
    EditorSource CustomDomainEditor;     // what the custom domain editor holds
    EditorSource MailProcEditor;         // what the mail-processing editors hold
    QString UploadTarget;                // the custom domain or account address of the upload asked for

    // ---------------------------------------------------------------- actions
    // The script head: "<%required%>" when asked, connect with the record's host and port, and the
    // administrator login with the record's login and password. The label says what the script
    // does; the head fills in the server's name, host and port.
    void QueueScriptHead(const QString& serverKey, bool required, const ScriptLabel& label = {});
    void QueueLoadDomains(const QString& serverKey, bool required);
    void QueueLoadUsers(const QString& domainNodeKey, bool required);
    void QueueLoadCustomDomain(const QString& customDomainNodeKey);
    void QueueLoadAccount(const QString& accountNodeKey);
    void QueueSaveCustomDomain();
    void QueueSaveMailProc();
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
    bool SaveServerRecord(const QString& section);  // false (and the user told) when not written
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
    // The driver has reached the end of the queue and waits for the next script.
    void DriverIdled();
    void StatusTextChanged(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool RunOneEntry();   // executes the head entry; true when the driver runs on at once
    bool IsStopEntry(const QueueEntry& entry) const;
    void OpenConnection(const QString& address, const QString& portText);
    void WireSocket(QTcpSocket* socket);
    // Lets the connection go without its close counting as the server's: with discardUnsent what
    // is still buffered for sending is dropped (abort), otherwise it goes out first (close).
    void ReleaseConnection(bool discardUnsent);
    void WaitForReply();  // (re)starts the reply timer
    // Abandons the running script: the rest of it is dropped up to its "<%quit%>", and the
    // observers learn why (the first reason given is the one they learn).
    void AbandonScript(ScriptOutcome::Kind kind, const QString& detail = QString());
    // Tells the user why the running script failed, unless its label asks for quiet errors.
    void TellFailure(const QString& text, MsgIcon icon);
    // A fault of the server's reply: tells the user ("The server NAME (HOST, port N) " + fault ...),
    // abandons the script with the given outcome, closes the connection and runs the next script.
    void AbandonReply(ScriptOutcome::Kind kind, const QString& detail, const QString& fault);
    // The user's Cancel: closes the connection and abandons the running script, no message box.
    void CancelScript();
    void CreateActivityViews();
    static constexpr int OutcomeShownMs = 6000;
    bool DriverIdle = true;
    bool DriverRunning = false;
    bool DriverCalledAgain = false;
    bool ReaderRunning = false;
    bool ReaderResumePending = false;  // lines are left for the reader's next slice
    std::unique_ptr<QSettings> OwnSettings;
    std::unique_ptr<PrinterSeam> OwnPrinter;
};
