// Replies to the domain-level commands: the lists of domains and custom domains, the download and
// upload of a custom domain file, and the removal of a domain. The greeting lives with the reader.

#include <QSet>

#include "protocol/Protocol.h"
#include "session/ServerSession.h"
#include "protocol/ListRules.h"

// A name list holds one quoted name per line; only its enclosing quotes go (a quote inside stays
// part of the name). A line of more than one field (a TAB in it) is no name: it is malformed.
static bool TakeName(const QString& line, QStringList& names)
{
    if (line.contains(QLatin1Char(Wire::Tab)))
        return false;
    names << UnquoteField(line);
    return true;
}

ReplyOutcome ServerSession::HandleDomainListLine(const QString& line)
{
    return HandleListLine(line, QStringLiteral("Receiving list of handled domains..."),
                          [this](const QString& data) {
                              if (!TakeName(data, DomainNames))
                                  ReportMalformedLine(data);
                          });
}

ReplyOutcome ServerSession::HandleCustDomListLine(const QString& line)
{
    return HandleListLine(line, QStringLiteral("Receiving list of custom domains..."),
                          [this](const QString& data) {
                              if (!TakeName(data, CustomDomainNames))
                                  ReportMalformedLine(data);
                          });
}

// The file's redirections and L-redirections go to their lists, every other line to the advanced
// text. The editor holds the whole file only once the server's closing dot has arrived: a file cut
// short by a dropped connection must never be saved back over the server's copy.
ReplyOutcome ServerSession::HandleCustDomGetLine(const QString& line)
{
    return HandleListLine(
        line, QStringLiteral("Receiving custom domain file..."),
        [this](const QString& data) { AddDownloadedLine(FileKind::CustomDomain, CustomDomainEditor, data); },
        [this] {
            FinishFileDownload(FileKind::CustomDomain, CustomDomainEditor,
                               QStringLiteral("The custom domain file of %1").arg(CustomDomainEditor.owner));
        },
        true);
}

// The server is ready for the file: compose it from the editor as it stands now.
ReplyOutcome ServerSession::HandleCustDomSetLine(const QString& line)
{
    if (!line.startsWith(QLatin1Char('+')))
        return ReplyOutcome::Continue;
    SetStatus(QStringLiteral("Saving custom domain file..."));
    CurrentCommand = Pseudo::CustDomSetSent;

    return SendUploadBody(FileKind::CustomDomain, CustomDomainEditor,
                          QStringLiteral("The custom domain file of %1 was not saved: the editor does not "
                                         "hold the whole file as the server has it (it was not read "
                                         "completely). Select the custom domain again to read it, then "
                                         "make the change.")
                              .arg(UploadTarget),
                          QStringLiteral("The server keeps its file."));
}

ReplyOutcome ServerSession::HandleDomainDelLine(const QString& line)
{
    if (!line.startsWith(QLatin1Char('+')))
        return ReplyOutcome::Continue;
    if (View)
        View->DomainRemoved();
    return ReplyOutcome::Complete;
}

DomainListCheck CheckDomainList(const QStringList& names)
{
    DomainListCheck check;
    QSet<QString> seen;
    seen.reserve(names.size());
    for (const QString& domain : names) {
        if (domain.isEmpty() || seen.contains(domain)) {
            check.damaged = true;
            break;
        }
        seen.insert(domain);
        ++check.sound;
    }
    return check;
}
