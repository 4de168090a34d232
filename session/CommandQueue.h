#pragma once
// The command queue: scripts of pseudo-commands and their arguments, head first.
//
// Every entry keeps its kind. Only a pseudo-command entry can be a step of the driver, only a
// pseudo-command "<%quit%>" counts as the end of a script, and only the end marker closes the
// variable pairs of "<%uservarsset%>". An argument is always an argument, whatever its text: a
// user name that reads "<%quit%>" or a variable value that reads "!EOF" is sent like any other value.

#include <QString>
#include <deque>
#include <utility>

#include "session/ScriptObserver.h"

namespace Pseudo {
// The pseudo-commands, as the driver compares them (whole and case-sensitive).
inline const QString Required = QStringLiteral("<%required%>");
inline const QString Connect = QStringLiteral("<%connect%>");
inline const QString Login = QStringLiteral("<%administrator login%>");
inline const QString DomainList = QStringLiteral("<%domainlist%>");
inline const QString CustDomList = QStringLiteral("<%custdomlist%>");
inline const QString VerifyCustDomain = QStringLiteral("<%verify custdomain%>");
inline const QString CustDomSet = QStringLiteral("<%custdomset%>");
inline const QString CustDomGet = QStringLiteral("<%custdomget%>");
inline const QString ShowCustDomain = QStringLiteral("<%showcustdomain%>");
inline const QString AddDomainsToList = QStringLiteral("<%add domains to list%>");
inline const QString AddCustDomainsToList = QStringLiteral("<%add custdomains to list%>");
inline const QString ShowDomainProperties = QStringLiteral("<%show domain properties%>");
inline const QString Null = QStringLiteral("<%null%>");
inline const QString Quit = QStringLiteral("<%quit%>");
inline const QString DomainAdd = QStringLiteral("<%domainadd%>");
inline const QString DomainDel = QStringLiteral("<%domaindel%>");
inline const QString UserList = QStringLiteral("<%userlist%>");
inline const QString MlUserList = QStringLiteral("<%mluserlist%>");
inline const QString AddUsersToList = QStringLiteral("<%add users to list%>");
inline const QString ShowUserProperties = QStringLiteral("<%show user properties%>");
inline const QString ShowUserEdit = QStringLiteral("<%show user edit%>");
inline const QString ShowListUser = QStringLiteral("<%show list user%>");
inline const QString UserAdd = QStringLiteral("<%useradd%>");
inline const QString MlUserAdd = QStringLiteral("<%mluseradd%>");
inline const QString MlUserDel = QStringLiteral("<%mluserdel%>");
inline const QString UserDel = QStringLiteral("<%userdel%>");
inline const QString UserPasswd = QStringLiteral("<%userpasswd%>");
inline const QString UserVars = QStringLiteral("<%uservars%>");
inline const QString UserGetMproc = QStringLiteral("<%usergetmproc%>");
inline const QString UserSetMproc = QStringLiteral("<%usersetmproc%>");
inline const QString UserVarsSet = QStringLiteral("<%uservarsset%>");
inline const QString ShowUserVars = QStringLiteral("<%show user vars%>");
inline const QString GetUser = QStringLiteral("<%getuser%>");
inline const QString AliasList = QStringLiteral("<%aliaslist%>");
inline const QString AliasListMore = QStringLiteral("<%aliaslist_more%>");
inline const QString AliasAdd = QStringLiteral("<%aliasadd%>");
inline const QString AliasDel = QStringLiteral("<%aliasdel%>");
inline const QString Pop3List = QStringLiteral("<%poplnklist%>");
inline const QString Pop3Add = QStringLiteral("<%poplnkadd%>");
inline const QString Pop3Del = QStringLiteral("<%poplnkdel%>");
inline const QString Pop3Enable = QStringLiteral("<%poplnkenable%>");
// Values of CurrentCommand set by the upload handlers once the body has been sent.
inline const QString CustDomSetSent = QStringLiteral("<%custdomset sent%>");
inline const QString UserSetMprocSent = QStringLiteral("usersetmproc sent");
// The end marker of the variable pairs of "<%uservarsset%>".
inline const QString EndOfPairs = QStringLiteral("!EOF");
}  // namespace Pseudo

struct QueueEntry {
    enum Kind { Command, Argument, EndMarker };
    Kind kind = Command;
    QString text;
    int mark = 0;  // a step whose outcome its caller wants reported by itself (see ScriptObserver.h)

    bool isCommand(const QString& name) const { return kind == Command && text == name; }
    bool operator==(const QueueEntry& o) const { return kind == o.kind && text == o.text; }
};

// Each script carries a label: set it with labelNextScript() before (or while) queuing the script;
// the "<%quit%>" that ends the script takes it. A script queued without one gets an empty label.
class CommandQueue {
public:
    void pushCommand(const QString& pseudoCommand, int mark = 0);
    void pushArgument(const QString& value);
    void pushEndMarker();

    // Removes and returns the head; on an empty queue removes nothing and returns "<%null%>".
    QueueEntry take();

    // Number of scripts queued: the "<%quit%>" pseudo-commands (arguments never count).
    int countScripts() const { return quitCount_; }
    // Returns the script's serial (the label's serial is the queue's to give).
    quint64 labelNextScript(const ScriptLabel& label);
    // The label of the script at the head: the one its first "<%quit%>" ends.
    ScriptLabel headLabel() const;

    // A whole script in the queue (its "<%quit%>" queued), by serial: whether it is there, and one
    // argument of its first step of that name (argument 0 is the first after the step).
    bool holdsScript(quint64 serial) const;
    bool setArgumentOf(quint64 serial, const QString& pseudoCommand, int argument, const QString& value);

    int size() const { return int(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }
    const QueueEntry& at(int i) const { return entries_[size_t(i)]; }
    void clear();

private:
    // The entries [first, second) of the script with that serial; empty when it is not queued whole.
    std::pair<size_t, size_t> rangeOf(quint64 serial) const;
    std::deque<QueueEntry> entries_;
    std::deque<ScriptLabel> labels_;  // one per "<%quit%>" queued, in order
    ScriptLabel pending_;
    quint64 serial_ = 0;
    int quitCount_ = 0;
};
