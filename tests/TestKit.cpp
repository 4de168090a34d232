#include "tests/TestKit.h"

#include <QFile>
#include <QSettings>
#include <QTest>

#include "sim/SimState.h"
#include "store/ServerStore.h"
#include "window/frmMain.h"

QByteArray WireLine(const QStringList& fields)
{
    QByteArray line;
    for (const QString& f : fields)
        line += (line.isEmpty() ? "\"" : "\t\"") + f.toLatin1() + '"';
    return line;
}

QList<SimAccount> NumberedAccounts(int count)
{
    QList<SimAccount> accounts;
    accounts.reserve(count);
    for (int i = 0; i < count; ++i)
        accounts << SimAccount::Make(QStringLiteral("u%1").arg(i, 6, 10, QLatin1Char('0')));
    return accounts;
}

void RecordingMessages::notify(const QString& text, const QString& title, MsgIcon icon)
{
    messages.append({text, title, icon, false, MsgOk, MsgOk});
}

MsgButton RecordingMessages::ask(const QString& text, const QString& title, MsgIcon icon,
                                 int buttons, MsgButton defaultButton)
{
    messages.append({text, title, icon, true, buttons, defaultButton});
    if (answers.empty())
        return MsgNo;
    const MsgButton a = answers.front();
    answers.pop_front();
    return a;
}

QStringList RecordingMessages::texts() const
{
    QStringList out;
    for (const auto& m : messages)
        out << m.text;
    return out;
}

bool RecordingPrinter::begin(QString* error)
{
    if (failBegin) {
        if (error)
            *error = beginError;
        return false;
    }
    begun = true;
    return true;
}

void RecordingPrinter::setFont(const QString& name, int pointSize, bool styleA, bool styleB)
{
    font_ = name;
    size_ = pointSize;
    a_ = styleA;
    b_ = styleB;
}

void RecordingPrinter::printLine(const QString& text)
{
    printed.append({text, font_, size_, a_, b_, x_, y_});
    x_ = 0;
    y_ += lineHeight;
}

bool RecordingPrinter::endDoc(QString*)
{
    ended = true;
    return true;
}

QStringList RecordingPrinter::texts() const
{
    QStringList out;
    for (const auto& p : printed)
        out << p.text;
    return out;
}

WindowFixture::WindowFixture()
{
    // The window's activity journal goes to this fixture's folder, never the user's own.
    qputenv("TAZEL_JOURNAL", QFile::encodeName(dir.filePath(QStringLiteral("journal.jsonl"))));
    settings = std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
}

WindowFixture::~WindowFixture()
{
    window.reset();
}

QString WindowFixture::settingsPath() const
{
    return dir.filePath(QStringLiteral("Tazel Administrator.conf"));
}

void WindowFixture::addServerRecord(int slot, const QString& name, const QString& address,
                                    quint16 port, const QString& login, const QString& password)
{
    const QString section = ServerSection(slot);
    WriteServerRecord(*settings, section, {name, address, QString::number(port), login, password});
    const int count = ReadWholeNumber(ReadSetting(*settings, Store::ServersSection, Store::ServerCountKey), 0);
    if (slot > count)
        WriteSetting(*settings, Store::ServersSection, Store::ServerCountKey, QString::number(slot));
}

frmMain& WindowFixture::open()
{
    ServerPasswords::SetStoreFactory(passwordStore);
    window = std::make_unique<frmMain>(settings.get(), &messages, &printer);
    return *window;
}

frmMain* WindowFixture::openShown(quint16 port)
{
    addServerRecord(1, QStringLiteral("sim"), QStringLiteral("127.0.0.1"), port);
    frmMain& w = open();
    w.show();
    return QTest::qWaitForWindowExposed(&w) ? &w : nullptr;
}
