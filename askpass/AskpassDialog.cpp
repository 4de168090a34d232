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

AskpassDialog::AskpassDialog(const QString& prompt, QWidget* parent)
    : QDialog(parent), yesNo_(IsYesNoQuestion(prompt))
{
    setWindowTitle(QStringLiteral("Tazel Administrator: SSH"));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(prompt.trimmed(), this);
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
