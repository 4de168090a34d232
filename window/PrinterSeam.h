#pragma once
// The printer as the user list printout uses it: fonts, a current position in twips measured from
// the printable area's top left corner, the page width, lines of text, the end of the document.
// The window prints through the real printer behind the platform's print dialog; tests record.

#include <QString>
#include <QtContainerFwd>

class QWidget;

class PrinterSeam {
public:
    virtual ~PrinterSeam() = default;
    // Starts a document. False when nothing is to be printed: the user cancelled (error left empty)
    // or no printer can be used (error says why).
    virtual bool begin(QString* error) = 0;
    // styleA and styleB are the two emphasis styles: bold (on through the whole user list) and
    // underline (the title and the headings).
    virtual void setFont(const QString& name, int pointSize, bool styleA, bool styleB) = 0;
    virtual int pageWidth() const = 0;  // twips
    virtual void setCurrentX(int twips) = 0;
    virtual void setCurrentY(int twips) = 0;
    virtual int currentY() const = 0;
    // Prints the text at the current position and moves to the start of the next line.
    virtual void printLine(const QString& text) = 0;
    // Ends the document and hands it to the printer; false (with the reason) when that failed.
    virtual bool endDoc(QString* error) = 0;
};

// The real printer: QPrinter behind QPrintDialog, drawn with QPainter. Cancelling the dialog
// prints nothing. A line that would pass the bottom of the page starts a new page.
PrinterSeam* NewDialogPrinterSeam(QWidget* parent);

// The same printer drawing straight into a PDF file, without a dialog.
PrinterSeam* NewPdfPrinterSeam(const QString& path);

// The printed account list of a domain: the title, the number of accounts, the headings and one
// line per account (its name without the kind letter and, when asked for, its password), then the
// end of the document. The document must have been begun. Positions are in twips relative to the
// page width. Returns what ending the document returned (false with the reason when it failed).
class AccountTable;
bool PrintUserList(PrinterSeam& printer, const QString& title, const AccountTable& entries,
                   bool withPasswords, QString* error);
