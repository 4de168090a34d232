#include "askpass/AskpassDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

bool AskpassDialog::IsYesNoQuestion(const QString& prompt)
{
    return prompt.contains(QLatin1String("(yes/no"), Qt::CaseInsensitive);
}

bool AskpassDialog::IsHostsQuestion(const QString& prompt, QString* host, QString* text)
{
    if (!prompt.startsWith(QLatin1Char('(')))
        return false;
    const qsizetype close = prompt.indexOf(QLatin1String(") "));
    const qsizetype at = prompt.lastIndexOf(QLatin1Char('@'), close);
    if (close < 0 || at < 1 || at + 1 >= close || prompt.left(close).contains(QLatin1Char(' ')))
        return false;
    if (host)
        *host = prompt.mid(at + 1, close - at - 1);
    if (text)
        *text = prompt.mid(close + 2);
    return true;
}

QString AskpassDialog::ShownText(const QString& prompt)
{
    QString host, text;
    if (IsHostsQuestion(prompt, &host, &text))
        return QStringLiteral("The SSH host %1 asks: %2").arg(host, text.trimmed());
    return prompt.trimmed();
}

AskpassDialog::AskpassDialog(const QString& prompt, QWidget* parent)
    : QDialog(parent), yesNo_(IsYesNoQuestion(prompt) && !IsHostsQuestion(prompt, nullptr, nullptr))
{
    setWindowTitle(QStringLiteral("Tazel Administrator: SSH"));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(ShownText(prompt), this);
    text->setTextFormat(Qt::PlainText);  // ssh's words as they stand, never read as markup
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(this);
    if (yesNo_) {
        cmdYes = buttons->addButton(QDialogButtonBox::Yes);
        cmdNo = buttons->addButton(QDialogButtonBox::No);
        cmdYes->setAutoDefault(false);
        cmdNo->setDefault(true);
        connect(cmdYes, &QPushButton::clicked, this, [this] {
            saidYes_ = true;
            accept();
        });
        connect(cmdNo, &QPushButton::clicked, this, [this] {
            saidYes_ = false;
            accept();
        });
    } else {
        txtAnswer = new QLineEdit(this);
        txtAnswer->setEchoMode(QLineEdit::Password);
        txtAnswer->setAccessibleName(QStringLiteral("Answer"));
        layout->addWidget(txtAnswer);
        cmdOK = buttons->addButton(QDialogButtonBox::Ok);
        cmdCancel = buttons->addButton(QDialogButtonBox::Cancel);
        cmdOK->setDefault(true);
        connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
        connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
        txtAnswer->setFocus();
    }
    layout->addWidget(buttons);
    if (cmdNo)
        cmdNo->setFocus();
}

QString AskpassDialog::answer() const
{
    if (yesNo_)
        return saidYes_ ? QStringLiteral("yes") : QStringLiteral("no");
    return txtAnswer->text();
}
