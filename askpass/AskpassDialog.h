#pragma once
// The dialog of tazel-askpass: ssh's question as ssh words it, answered with a password field (a
// passphrase or a password) or with Yes and No (an unknown host key; No is the default, so an
// Enter pressed without reading trusts nothing). Text the SSH host sends is said to be the host's,
// and is never taken for one of ssh's own yes/no questions.

#include <QDialog>

class QLineEdit;
class QPushButton;

class AskpassDialog : public QDialog {
    Q_OBJECT
public:
    explicit AskpassDialog(const QString& prompt, QWidget* parent = nullptr);

    // ssh's yes/no questions say "(yes/no" in their text.
    static bool IsYesNoQuestion(const QString& prompt);
    // A question the SSH host itself words (a keyboard-interactive login): ssh puts "(user@host) "
    // before such text. Gives the host and the host's text.
    static bool IsHostsQuestion(const QString& prompt, QString* host, QString* text);
    // The dialog's text: ssh's own words as they stand; the host's marked as its own, "The SSH host
    // HOST asks: ...".
    static QString ShownText(const QString& prompt);
    bool isYesNo() const { return yesNo_; }
    // What is printed for ssh once the dialog is accepted: the text typed, or "yes" / "no".
    QString answer() const;

    QLineEdit* txtAnswer = nullptr;    // the secret (none for a yes/no question)
    QPushButton* cmdYes = nullptr;     // yes/no questions
    QPushButton* cmdNo = nullptr;
    QPushButton* cmdOK = nullptr;      // secrets
    QPushButton* cmdCancel = nullptr;

private:
    bool yesNo_ = false;
    bool saidYes_ = false;
};
