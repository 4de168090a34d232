// The real printer of the user list printout: a QPrinter, chosen in the platform's print dialog
// (or pointed at a PDF file), drawn on with a QPainter. Positions arrive in twips and are turned
// into the printer's device pixels with its resolution.

#include "window/PrinterSeam.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <functional>
#include <memory>

namespace {
constexpr double TwipsPerInch = 1440.0;
constexpr double TwipsPerPoint = 20.0;
// Where the lines go on on a new page: as far down as the first page's title.
constexpr int ContinuedPageTop = 1440;

class PainterPrinterSeam : public PrinterSeam {
public:
    // Prepares the printer for a document: false when nothing is to be printed (error says why,
    // or stays empty when the user cancelled).
    using Chooser = std::function<bool(QPrinter&, QString*)>;

    explicit PainterPrinterSeam(Chooser choose) : choose_(std::move(choose)) {}
    ~PainterPrinterSeam() override
    {
        if (painter_.isActive())
            painter_.end();
    }

    bool begin(QString* error) override
    {
        if (painter_.isActive())
            painter_.end();
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        QString why;
        if (!choose_(*printer_, &why)) {
            printer_.reset();
            if (error)
                *error = why;
            return false;
        }
        if (!painter_.begin(printer_.get())) {
            printer_.reset();
            if (error)
                *error = QStringLiteral(
                    "The printer could not be started. Check that it is available, or that the "
                    "file chosen to print into can be written.");
            return false;
        }
        resolution_ = printer_->resolution() > 0 ? printer_->resolution() : 1200;
        x_ = 0;
        y_ = 0;
        movedFrom_ = -1;
        movedTo_ = -1;
        return true;
    }

    void setFont(const QString& name, int pointSize, bool styleA, bool styleB) override
    {
        QFont font(name);
        font.setPointSize(pointSize);
        // Bold runs through the whole list; underline marks the title and the headings.
        font.setBold(styleA);
        font.setUnderline(styleB);
        if (painter_.isActive())
            painter_.setFont(font);
    }

    int pageWidth() const override
    {
        if (!printer_)
            return 0;
        return qRound(printer_->paperRect(QPrinter::Point).width() * TwipsPerPoint);
    }

    void setCurrentX(int twips) override { x_ = twips; }

    void setCurrentY(int twips) override
    {
        // Going back up to the top of the line just moved onto a new page (to print its second
        // column) follows the line there, so both columns stay side by side.
        if (movedFrom_ >= 0 && twips == qRound(movedFrom_))
            y_ = movedTo_;
        else
            y_ = twips;
    }

    int currentY() const override { return qRound(y_); }

    void printLine(const QString& text) override
    {
        if (!painter_.isActive())
            return;
        const QFontMetricsF metrics(painter_.font(), painter_.device());
        const double height = metrics.lineSpacing();
        const double bottom = printer_->pageRect(QPrinter::DevicePixel).height();
        // A line that would pass the bottom of the page starts a new page (a line too tall for
        // a whole page is printed where it stands rather than paging for ever).
        if (toPixels(y_) + height > bottom && y_ > ContinuedPageTop) {
            printer_->newPage();
            movedFrom_ = y_;
            movedTo_ = ContinuedPageTop;
            y_ = ContinuedPageTop;
        }
        if (!text.isEmpty())
            painter_.drawText(QPointF(toPixels(x_), toPixels(y_) + metrics.ascent()), text);
        y_ += toTwips(height);
        x_ = 0;
    }

    bool endDoc(QString* error) override
    {
        const bool ended = painter_.isActive() && painter_.end();
        const bool ok = ended && printer_ && printer_->printerState() != QPrinter::Error;
        printer_.reset();
        if (!ok && error)
            *error = QStringLiteral("The document could not be handed to the printer.");
        return ok;
    }

private:
    double toPixels(double twips) const { return twips * resolution_ / TwipsPerInch; }
    double toTwips(double pixels) const { return pixels * TwipsPerInch / resolution_; }

    Chooser choose_;
    std::unique_ptr<QPrinter> printer_;
    QPainter painter_;
    int resolution_ = 1200;
    double x_ = 0;
    double y_ = 0;
    double movedFrom_ = -1;  // where the last line moved onto a new page stood on the old page
    double movedTo_ = -1;    // and where it stands now
};
}  // namespace

PrinterSeam* NewDialogPrinterSeam(QWidget* parent)
{
    return new PainterPrinterSeam([parent](QPrinter& printer, QString* error) {
        // Without any printer a native printer cannot be chosen; where the dialog can print into
        // a file instead, the printer starts out as a PDF printer and the dialog is shown.
        if (printer.outputFormat() == QPrinter::NativeFormat &&
            QPrinterInfo::availablePrinterNames().isEmpty()) {
            *error = QStringLiteral("No printer is available. Install a printer and try again.");
            return false;
        }
        QPrintDialog dialog(&printer, parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;  // the user cancelled: nothing to print, nothing to say
        if (!printer.isValid()) {
            *error = QStringLiteral("The chosen printer cannot be used.");
            return false;
        }
        return true;
    });
}

PrinterSeam* NewPdfPrinterSeam(const QString& path)
{
    return new PainterPrinterSeam([path](QPrinter& printer, QString*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        return true;
    });
}
