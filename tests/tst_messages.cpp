// The window's message seam: a notice raised while a reply is being read must not open a modal box
// there and then (its nested event loop could run the driver again half-way through a line). It is
// shown once control is back in the event loop, one box after the other, in the order raised.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include "window/MessageSeam.h"

class TestMessages : public QObject {
    Q_OBJECT
private slots:
    void noticesWaitForTheEventLoopInOrder();
    void questionAnswers_data();
    void questionAnswers();
};

namespace {
// Answers every box that opens with the given button, noting its text, icon and title.
struct BoxCloser {
    QStringList texts;
    QList<QMessageBox::Icon> icons;
    QStringList titles;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QTimer timer;
    BoxCloser()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts << box->text();
            icons << box->icon();
            titles << box->windowTitle();
            box->button(answer) ? box->button(answer)->click() : box->reject();
        });
        timer.start();
    }
};
}  // namespace

void TestMessages::noticesWaitForTheEventLoopInOrder()
{
    QWidget parent;
    BoxMessageSeam seam(&parent);
    BoxCloser closer;
    seam.notify(QStringLiteral("Error response durring 'useradd'\r\n\r\n-00001 no"),
                QStringLiteral("Tazel Administrator"), MsgIcon::None);
    seam.notify(QStringLiteral("second"), QStringLiteral("Error Loading Domain List"), MsgIcon::Critical);
    QVERIFY(closer.texts.isEmpty());  // nothing shown while the code that raised them still runs
    QTRY_COMPARE(closer.texts, (QStringList{"Error response durring 'useradd'\n\n-00001 no", "second"}));
    QCOMPARE(closer.icons, (QList<QMessageBox::Icon>{QMessageBox::NoIcon, QMessageBox::Critical}));
    QCOMPARE(closer.titles, (QStringList{"Tazel Administrator", "Error Loading Domain List"}));
}

void TestMessages::questionAnswers_data()
{
    QTest::addColumn<int>("pressed");
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes") << int(QMessageBox::Yes) << int(MsgYes);
    QTest::newRow("No") << int(QMessageBox::No) << int(MsgNo);
    QTest::newRow("closed") << int(QMessageBox::Cancel) << int(MsgNo);
}

void TestMessages::questionAnswers()
{
    QFETCH(int, pressed);
    QFETCH(int, answer);
    QWidget parent;
    BoxMessageSeam seam(&parent);
    BoxCloser closer;
    closer.answer = QMessageBox::StandardButton(pressed);
    const MsgButton got = seam.ask(QStringLiteral("Are you sure you want to delete this user?"),
                                   QStringLiteral("Tazel Administrator"), MsgIcon::Question, MsgYes | MsgNo,
                                   MsgNo);
    QCOMPARE(int(got), answer);
    QCOMPARE(closer.texts, QStringList{"Are you sure you want to delete this user?"});
}

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
