// Printing the accounts of a domain: the title, the number of accounts and one line per account,
// with or without the passwords. The list printed is the one last read from the server; nothing is
// fetched for printing.

#include <QLineEdit>

#include "window/MessageSeam.h"
#include "window/PrinterSeam.h"
#include "window/frmMain.h"

namespace {
const QString HeadingFont = QStringLiteral("Verdana");
const QString AccountFont = QStringLiteral("Tahoma");
constexpr int TitleTop = 1440;  // twips: one inch below the top of the printable area
}  // namespace

bool PrintUserList(PrinterSeam& printer, const QString& title, const AccountTable& entries,
                   bool withPasswords, QString* error)
{
    const int nameColumn = printer.pageWidth() / 10;
    const int passwordColumn = printer.pageWidth() / 10 * 6;
    // Style A stays on to the end of the document; style B marks the title and the headings.
    printer.setFont(HeadingFont, 18, true, true);
    printer.setCurrentX(nameColumn);
    printer.setCurrentY(TitleTop);
    printer.printLine(title);
    printer.setFont(HeadingFont, 18, true, false);
    printer.printLine(QString());

    printer.setFont(HeadingFont, 14, true, false);
    printer.setCurrentX(nameColumn);
    printer.printLine(QStringLiteral("# of Accounts: ") + QString::number(entries.size()));
    printer.printLine(QString());
    printer.printLine(QString());

    // Both headings stand on one line: the second goes back up to the first one's line.
    int lineTop = printer.currentY();
    printer.setCurrentX(nameColumn);
    printer.setFont(HeadingFont, 14, true, true);
    printer.printLine(QStringLiteral("Account Name"));
    if (withPasswords) {
        printer.setCurrentY(lineTop);
        printer.setCurrentX(passwordColumn);
        printer.printLine(QStringLiteral("Password"));
    }
    printer.setFont(AccountFont, 12, true, false);
    printer.printLine(QString());

    for (qsizetype row = 0; row < entries.size(); ++row) {
        lineTop = printer.currentY();
        printer.setCurrentX(nameColumn);
        // The name is printed without its kind letter.
        const QByteArrayView nameAndKind = entries.nameAndKind(row);
        printer.printLine(QString::fromLatin1(nameAndKind.first(qMax<qsizetype>(0, nameAndKind.size() - 1))));
        if (withPasswords) {
            printer.setCurrentY(lineTop);
            printer.setCurrentX(passwordColumn);
            printer.printLine(QString::fromLatin1(entries.password(row)));
        }
    }
    return printer.endDoc(error);
}

void frmMain::cmdPrintUserList_Click()
{
    const QString domain = txtDomainName->text();
    // UserEntries holds the last account list read, which after a click on another domain is
    // still the previous domain's until the new one has arrived whole: printing it under this
    // title would give a wrong list.
    // The list is keyed by server and domain: a domain of the same name on another server does not pass.
    if (!ShownDomainListIsLoaded()) {
        ShowMessage(QStringLiteral("The account list of the domain %1 has not been loaded yet, so it "
                                   "cannot be printed. Wait until its accounts are shown in the "
                                   "tree, then print again.")
                        .arg(domain),
                    MsgIcon::Exclamation);
        return;
    }
    // The question and the print dialog let the window's events run, and a script still running
    // may read another list meanwhile: print the list as it stood when it was checked (a copy
    // that shares the bytes).
    const AccountTable entries = Session->Replies().UserEntries;
    if (!Printer) {
        ShowMessage(QStringLiteral("No printer is available."), MsgIcon::Critical);
        return;
    }
    const bool withPasswords =
        AskYesNo(QStringLiteral("Would you like to include the passwords on the list?"),
                 QStringLiteral("Include Passwords?"), true);

    QString error;
    if (!Printer->begin(&error)) {
        // An empty reason means the user cancelled the print dialog.
        if (!error.isEmpty())
            ShowMessage(QStringLiteral("The user list could not be printed.\r\n\r\n") + error,
                        MsgIcon::Critical);
        return;
    }
    if (!PrintUserList(*Printer, domain, entries, withPasswords, &error))
        ShowMessage(QStringLiteral("The user list could not be printed.\r\n\r\n") + error,
                    MsgIcon::Critical);
}
