#include "session/Steps.h"

#include <QHash>
#include <vector>

#include "session/CommandQueue.h"

namespace {
using namespace Pseudo;

// Built on first use, after the pseudo-command names.
const std::vector<Step>& Steps()
{
    static const std::vector<Step> steps = {
    {Required, Step::Local, 0, {}, {}, {}},
    {Connect, Step::Request, 2, {}, Connect, {}},  // status names the address
    {Login, Step::Request, 2, {}, Login, {}},      // status names the login form
    {DomainList, Step::Request, 0, "Asking for list of handled domains...", DomainList, "domainlist"},
    {CustDomList, Step::Request, 0, "Asking for list of custom domains...", CustDomList, "custdomlist"},
    {VerifyCustDomain, Step::Local, 1, "Verifying new custom domain...", VerifyCustDomain, {}},
    {CustDomSet, Step::Request, 1, "Asking to save custom domain file...", CustDomSet, "custdomset"},
    {CustDomGet, Step::Request, 1, "Requesting custom domain file...", CustDomGet, "custdomget"},
    {ShowCustDomain, Step::Local, 0, {}, {}, {}},
    {AddDomainsToList, Step::Local, 1, "Adding domains to tree view...", AddDomainsToList, {}},
    {AddCustDomainsToList, Step::Local, 1, "Adding custom domains to tree view...", AddCustDomainsToList, {}},
    {ShowDomainProperties, Step::Local, 0, {}, {}, {}},
    {Null, Step::Local, 0, {}, {}, {}},
    {Quit, Step::Local, 0, {}, Quit, {}},  // "Closeing connection..." then "Ready"
    {DomainAdd, Step::Request, 1, "Adding new domain...", DomainAdd, "domainadd"},
    {DomainDel, Step::Request, 1, "Removing domain...", DomainDel, "domaindel"},
    {UserList, Step::Request, 1, "Asking for list of users for this domain...", UserList, "userlist"},
    {MlUserList, Step::Request, 2, "Asking for list of users for this mailing list...", MlUserList, "mluserlist"},
    {AddUsersToList, Step::Local, 1, "Adding users to tree view...", AddUsersToList, {}},
    {ShowUserProperties, Step::Local, 0, {}, {}, {}},
    {ShowUserEdit, Step::Local, 0, {}, {}, {}},
    {ShowListUser, Step::Local, 0, {}, {}, {}},
    {UserAdd, Step::Request, 4, "Adding new user to this domain...", UserAdd, "useradd"},
    {MlUserAdd, Step::Request, 4, "Adding new user to this mailing list...", MlUserAdd, "mluseradd"},
    {MlUserDel, Step::Request, 3, "Removing user from this mailing list...", MlUserDel, "mluserdel"},
    {UserDel, Step::Request, 2, "Removing user from this domain...", UserDel, "userdel"},
    {UserPasswd, Step::Request, 3, "Setting password for this user...", UserPasswd, "userpasswd"},
    {UserVars, Step::Request, 2, "Asking for list of variables for this user...", UserVars, "uservars"},
    {UserGetMproc, Step::Request, 2, "Asking for mailproc.tab for this user...", UserGetMproc, "usergetmproc"},
    {UserSetMproc, Step::Request, 2, "Asking to save mailproc.tab for this user...", UserSetMproc, "usersetmproc"},
    {UserVarsSet, Step::Request, 2, "Saving variables for this user...", UserVarsSet, "uservarsset"},
    {ShowUserVars, Step::Local, 0, {}, {}, {}},
    {GetUser, Step::Request, 2, "Asking for info on a specific user...", GetUser, "userlist"},
    {AliasList, Step::Request, 3, "Asking for list of aliases for this user...", AliasList, "aliaslist"},
    // The second pass is read by the same handler and adds to the first.
    {AliasListMore, Step::Request, 3, "Asking for extended list of aliases for this user...", AliasList, "aliaslist"},
    {AliasAdd, Step::Request, 3, "Adding new alias to this user...", AliasAdd, "aliasadd"},
    {AliasDel, Step::Request, 2, "Removing alias from this user...", AliasDel, "aliasdel"},
    {Pop3List, Step::Request, 2, "Requesting POP3 External Links for this user...", Pop3List, "poplnklist"},
    {Pop3Add, Step::Request, 6, "Adding new POP3 External Link to this user...", Pop3Add, "poplnkadd"},
    {Pop3Del, Step::Request, 4, "Removing POP3 External Link from this user...", Pop3Del, "poplnkdel"},
    {Pop3Enable, Step::Request, 5, {}, Pop3Enable, "poplnkenable"},  // status by the flag
    };
    return steps;
}
}  // namespace

const Step* FindStep(const QString& entry)
{
    static const QHash<QString, const Step*> byEntry = [] {
        QHash<QString, const Step*> h;
        for (const Step& s : Steps())
            h.insert(s.entry, &s);
        return h;
    }();
    return byEntry.value(entry, nullptr);
}
