#pragma once
// The dialog of tazel-askpass: ssh's question as ssh words it, answered with a password field (a
// passphrase or a password) or with Yes and No (an unknown host key; No is the default, so an
// Enter pressed without reading trusts nothing).

#include <QDialog>

class QLineEdit;
class QPushButton;

class AskpassDialog : public QDialog {
    Q_OBJECT
public:
    explicit AskpassDialog(const QString& prompt, QWidget* parent = nullptr);

    // ssh's yes/no questions say "(yes/no" in their text.
    static bool IsYesNoQuestion(const QString& prompt);
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
