#pragma once
// The printer as the user list printout uses it: fonts, a current position in twips measured from
// the printable area's top left corner, the page width, lines of text, the end of the document.
// The window prints through the real printer behind the platform's print dialog; tests record.

#include <QString>

class QWidget;

class PrinterSeam {
public:
    virtual ~PrinterSeam() = default;
    // Starts a document. False when nothing is to be printed: the user cancelled (error left empty)
    // or no printer can be used (error says why).
    virtual bool begin(QString* error) = 0;
    // styleA and styleB are the two emphasis styles: underline and bold.
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

// The real printer: QPrinter behind QPrintDialog, drawn with QPainter.
PrinterSeam* NewDialogPrinterSeam(QWidget* parent);
