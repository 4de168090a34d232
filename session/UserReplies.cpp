// Replies about the accounts of a domain: the account list, the members of a mailing list and the
// details of one account. Changes (useradd, userdel, userpasswd, mluseradd, mluserdel) need no
// handler of their own: their "+" line is taken by the default handler.

#include "protocol/Protocol.h"
#include "session/ServerSession.h"


// "userlist" for a domain: one line per account, "domain", "name", "password", "kind".
ReplyOutcome ServerSession::HandleUserListLine(const QString& line)
{
    return HandleListLine(
        line, QStringLiteral("Receiving list of users for this domain..."),
        [this](const QString& data) {
            const QStringList f = DataLineFields(data);
            // The kind is one letter: any other field would run into the name in the tree.
            if (f.size() != 4 || f.at(3).size() != 1) {
                ReportMalformedLine(data);
                return;
            }
            // The name keeps its kind letter, as the server sent it, for the tree and the printout.
            // Stored as the Latin-1 bytes they came as: a list may hold a million accounts.
            UserEntries.append(Wire::encode(f.at(1) + f.at(3)), Wire::encode(f.at(2)));
        },
        // Only a list that reached its closing dot counts as the domain's account list: one cut
        // off by a dropped connection must not be printed as if it were complete.
        [this] {
            UserEntriesDomain = RequestedUserListDomain;
            UserEntriesServer = RequestedUserListServer;
        });
}

// "mluserlist": one line per member, the address and optionally its access code.
ReplyOutcome ServerSession::HandleMlUserListLine(const QString& line)
{
    return HandleListLine(line, QStringLiteral("Receiving users for this mailing list..."),
                          [this](const QString& data) {
                              const QStringList f = DataLineFields(data);
                              if (f.size() > 2) {
                                  ReportMalformedLine(data);
                                  return;
                              }
                              // "R" is read only; anything else (or no code at all) may post.
                              const bool readOnly =
                                  f.size() == 2 && f.at(1).toUpper() == QLatin1String("R");
                              const QString access =
                                  readOnly ? QStringLiteral("R") : QStringLiteral("W");
                              // The member commands read the address back after "X - ".
                              ListMembers << access + QStringLiteral(" - ") + f.at(0);
                          },
                          [this] {
                              if (View)
                                  View->ShowListMembers(ListMembers);
                          });
}

// "userlist" for one account: its name, password and kind go into the account fields.
ReplyOutcome ServerSession::HandleGetUserLine(const QString& line)
{
    return HandleListLine(line, QStringLiteral("Receiving info on single user..."),
                          [this](const QString& data) {
                              const QStringList f = DataLineFields(data);
                              if (f.size() != 4 || f.at(3).size() != 1) {
                                  ReportMalformedLine(data);
                                  return;
                              }
                              AccountName = f.at(1);
                              AccountPassword = f.at(2);
                              AccountIsList = f.at(3).toLower() == QLatin1String("m");
                              if (View)
                                  View->ShowAccount(AccountName, AccountPassword, AccountIsList);
                          });
}
