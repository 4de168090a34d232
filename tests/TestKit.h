#pragma once
// What the window's tests share: a message seam that records and answers from a script, a printer
// that records, a throw-away settings store, and a window wired to them.

#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>

#include "session/ServerSession.h"
#include "window/MessageSeam.h"
#include "window/PrinterSeam.h"
#include "window/ServerPasswords.h"

class QSettings;
class frmMain;

// A request line as the server receives it, without its CR LF: quoted fields separated by TABs.
QByteArray WireLine(const QStringList& fields);

// Users "u000000", "u000001", ... in that order, with the password "pw": a large domain.
struct SimAccount;
QList<SimAccount> NumberedAccounts(int count);

struct RecordedMessage {
    QString text;
    QString title;
    MsgIcon icon;
    bool question;
    int buttons;
    MsgButton defaultButton;
};

class RecordingMessages : public MessageSeam {
public:
    QList<RecordedMessage> messages;
    std::deque<MsgButton> answers;  // answers to the next questions; No when the script is empty

    void notify(const QString& text, const QString& title, MsgIcon icon) override;
    MsgButton ask(const QString& text, const QString& title, MsgIcon icon, int buttons,
                  MsgButton defaultButton) override;
    QStringList texts() const;
};

struct PrintedText {
    QString text;
    QString font;
    int pointSize;
    bool styleA;
    bool styleB;
    int x;
    int y;
};

class RecordingPrinter : public PrinterSeam {
public:
    int width = 12240;  // a letter page, in twips
    int lineHeight = 300;
    bool failBegin = false;
    QString beginError;
    bool begun = false;
    bool ended = false;
    QList<PrintedText> printed;

    bool begin(QString* error) override;
    void setFont(const QString& name, int pointSize, bool styleA, bool styleB) override;
    int pageWidth() const override { return width; }
    void setCurrentX(int twips) override { x_ = twips; }
    void setCurrentY(int twips) override { y_ = twips; }
    int currentY() const override { return y_; }
    void printLine(const QString& text) override;
    bool endDoc(QString* error) override;
    QStringList texts() const;

private:
    QString font_;
    int size_ = 10;
    bool a_ = false, b_ = false;
    int x_ = 0, y_ = 0;
};

// A window on a settings file of its own in a temporary folder.
struct WindowFixture {
    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
    RecordingMessages messages;
    RecordingPrinter printer;
    std::unique_ptr<frmMain> window;
    // The window's password store: none (every password in the settings file, no keyring asked)
    // unless a test gives one; an empty factory means the system keyring.
    ServerPasswords::StoreFactory passwordStore = [] { return std::unique_ptr<PasswordStore>(); };

    WindowFixture();
    ~WindowFixture();
    QString settingsPath() const;
    // Writes a server record in the given slot (and raises server_count to it).
    void addServerRecord(int slot, const QString& name, const QString& address, quint16 port,
                         const QString& login = QStringLiteral("admin"),
                         const QString& password = QStringLiteral("secret"));
    // Creates the window (after the records are written).
    frmMain& open();
    // Writes one server record, "sim" on 127.0.0.1 at the port, creates the window and shows it;
    // null when the window was never shown on the screen.
    frmMain* openShown(quint16 port);
};

// What the replies filled in, changed by edit: for the window's routines tried without a server.
template <typename Edit>
void EditReplies(ServerSession& session, Edit edit)
{
    ReplyCollections replies = session.Replies();
    edit(replies);
    session.SetReplies(replies);
}
