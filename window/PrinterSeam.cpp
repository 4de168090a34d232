#include "window/PrinterSeam.h"

PrinterSeam* NewDialogPrinterSeam(QWidget*)
{
    return nullptr;
}
