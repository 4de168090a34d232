#include "window/MessageSeam.h"

#include <QMessageBox>
#include <QTimer>

// Message texts keep the program's CR LF line breaks; the box shows them as plain line breaks.
static QString Shown(const QString& text)
{
    return QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

static QMessageBox::Icon BoxIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Critical: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

BoxMessageSeam::BoxMessageSeam(QWidget* parent) : QObject(parent), parent_(parent) {}

void BoxMessageSeam::notify(const QString& text, const QString& title, MsgIcon icon)
{
    pending_.push_back({text, title, icon});
    if (!showing_ && pending_.size() == 1)
        QTimer::singleShot(0, this, &BoxMessageSeam::showPending);
}

void BoxMessageSeam::showPending()
{
    if (showing_)
        return;
    showing_ = true;
    while (!pending_.empty()) {
        const Notice n = pending_.front();
        pending_.pop_front();
        QMessageBox box(BoxIcon(n.icon), n.title, Shown(n.text), QMessageBox::Ok, parent_);
        box.exec();
    }
    showing_ = false;
}

MsgButton BoxMessageSeam::ask(const QString& text, const QString& title, MsgIcon icon, int buttons,
                              MsgButton defaultButton)
{
    QMessageBox::StandardButtons std;
    if (buttons & MsgOk) std |= QMessageBox::Ok;
    if (buttons & MsgYes) std |= QMessageBox::Yes;
    if (buttons & MsgNo) std |= QMessageBox::No;
    QMessageBox box(BoxIcon(icon), title, Shown(text), std, parent_);
    box.setDefaultButton(defaultButton == MsgYes ? QMessageBox::Yes
                         : defaultButton == MsgNo ? QMessageBox::No
                                                  : QMessageBox::Ok);
    switch (box.exec()) {
    case QMessageBox::Yes: return MsgYes;
    case QMessageBox::No: return MsgNo;
    default: return (buttons & MsgNo) ? MsgNo : MsgOk;
    }
}
