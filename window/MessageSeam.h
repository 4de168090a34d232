#pragma once
// Every message box of the program goes through this seam, so that tests read the messages and
// answer the questions without a modal dialog ever blocking.
//
// A notice must never run a nested event loop where it is raised: notices raised while a reply or
// a socket event is being handled would otherwise let the server's close or an error run the driver
// again half-way through a line. The window's seam shows them later, one after the other, in order.
// Questions are asked by button actions before anything is queued and may be modal.

#include <QObject>
#include <QString>
#include <deque>

#include "session/SessionView.h"  // MsgIcon

enum MsgButton { MsgOk = 0x1, MsgYes = 0x2, MsgNo = 0x4 };

class MessageSeam {
public:
    virtual ~MessageSeam() = default;
    virtual void notify(const QString& text, const QString& title, MsgIcon icon) = 0;
    virtual MsgButton ask(const QString& text, const QString& title, MsgIcon icon, int buttons,
                          MsgButton defaultButton) = 0;
};

// The real seam: QMessageBox. Notices wait in a queue and are shown from the event loop.
class BoxMessageSeam : public QObject, public MessageSeam {
    Q_OBJECT
public:
    explicit BoxMessageSeam(QWidget* parent);
    void notify(const QString& text, const QString& title, MsgIcon icon) override;
    MsgButton ask(const QString& text, const QString& title, MsgIcon icon, int buttons,
                  MsgButton defaultButton) override;

private:
    void showPending();

    struct Notice {
        QString text, title;
        MsgIcon icon;
    };
    QWidget* parent_;
    std::deque<Notice> pending_;
    bool showing_ = false;
};
