#include "window/SshDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "protocol/Protocol.h"
#include "session/SshProbe.h"
#include "session/SshTransport.h"
#include "store/ServerStore.h"

SshDialog::SshDialog(QSettings& settings, const QString& section, std::function<void(const QString&)> tell,
                     QWidget* parent)
    : QDialog(parent), settings_(settings), section_(section), tell_(std::move(tell))
{
    const QString name = ReadSetting(settings_, section_, Store::NameKey);
    setWindowTitle(QStringLiteral("SSH: ") + name);
    auto* layout = new QVBoxLayout(this);
    chkUseSsh = new QCheckBox(QStringLiteral("Connect through SSH"), this);
    layout->addWidget(chkUseSsh);

    auto* form = new QFormLayout;
    txtSshHost = new QLineEdit(this);
    txtSshPort = new QLineEdit(this);
    txtSshPort->setPlaceholderText(QStringLiteral("22"));
    txtSshUser = new QLineEdit(this);
    txtSshUser->setPlaceholderText(QStringLiteral("as in ~/.ssh/config, or your own"));
    txtSshIdentity = new QLineEdit(this);
    txtSshIdentity->setPlaceholderText(QStringLiteral("the agent's or ~/.ssh/config's"));
    cmdBrowseIdentity = new QPushButton(QStringLiteral("..."), this);
    cmdBrowseIdentity->setAccessibleName(QStringLiteral("Choose the key file"));
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(txtSshIdentity, 1);
    keyRow->addWidget(cmdBrowseIdentity);
    form->addRow(QStringLiteral("SSH host"), txtSshHost);
    form->addRow(QStringLiteral("SSH port"), txtSshPort);
    form->addRow(QStringLiteral("SSH user"), txtSshUser);
    form->addRow(QStringLiteral("Key file"), keyRow);
    txtSshHost->setAccessibleName(QStringLiteral("SSH host"));
    txtSshPort->setAccessibleName(QStringLiteral("SSH port"));
    txtSshUser->setAccessibleName(QStringLiteral("SSH user"));
    txtSshIdentity->setAccessibleName(QStringLiteral("Key file"));
    layout->addLayout(form);

    auto* testRow = new QHBoxLayout;
    cmdTestSsh = new QPushButton(QStringLiteral("Test"), this);
    lblTestResult = new QLabel(this);
    lblTestResult->setWordWrap(true);
    lblTestResult->setTextFormat(Qt::PlainText);  // ssh's and the server's words as they stand
    lblTestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    testRow->addWidget(cmdTestSsh);
    testRow->addWidget(lblTestResult, 1);
    layout->addLayout(testRow);

    auto* buttons = new QDialogButtonBox(this);
    cmdOK = buttons->addButton(QDialogButtonBox::Ok);
    cmdCancel = buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);

    const SshRoute stored = ReadSshRoute(settings_, section_);
    chkUseSsh->setChecked(stored.isSet());
    txtSshHost->setText(stored.host);
    txtSshPort->setText(stored.port);
    txtSshUser->setText(stored.user);
    txtSshIdentity->setText(stored.identity);
    useSshToggled();

    connect(chkUseSsh, &QCheckBox::toggled, this, &SshDialog::useSshToggled);
    connect(cmdOK, &QPushButton::clicked, this, &SshDialog::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdTestSsh, &QPushButton::clicked, this, &SshDialog::cmdTestSsh_Click);
    connect(cmdBrowseIdentity, &QPushButton::clicked, this, &SshDialog::cmdBrowseIdentity_Click);
    resize(sizeHint().expandedTo(QSize(420, 0)));
}

SshDialog::~SshDialog() = default;

SshRoute SshDialog::route() const
{
    SshRoute r;
    if (!chkUseSsh->isChecked())
        return r;
    r.host = txtSshHost->text().trimmed();
    r.port = txtSshPort->text().trimmed();
    r.user = txtSshUser->text().trimmed();
    r.identity = txtSshIdentity->text().trimmed();
    return r;
}

void SshDialog::useSshToggled()
{
    const bool on = chkUseSsh->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(txtSshHost), static_cast<QWidget*>(txtSshPort),
                       static_cast<QWidget*>(txtSshUser), static_cast<QWidget*>(txtSshIdentity),
                       static_cast<QWidget*>(cmdBrowseIdentity)})
        w->setEnabled(on);
    cmdTestSsh->setEnabled(on && !(probe_ && probe_->outcome() == SshProbe::Outcome::Running));
}

bool SshDialog::checkFields()
{
    if (!chkUseSsh->isChecked())
        return true;
    const QString problem = SshTransport::checkRoute(route());
    if (problem.isEmpty())
        return true;
    tell_(QStringLiteral("The SSH settings cannot be used: ") + problem + QLatin1Char('.'));
    return false;
}

void SshDialog::cmdOK_Click()
{
    if (!checkFields())
        return;  // nothing is written; the dialog stays for the user to mend the fields
    const SshRoute r = route();
    if (!WriteSshRoute(settings_, section_, r)) {
        tell_(QStringLiteral("The SSH settings could not be saved: the settings file cannot be written."));
        return;
    }
    emit saved(section_, r);
    accept();
}

void SshDialog::cmdTestSsh_Click()
{
    if (!checkFields())
        return;
    delete probe_;
    probe_ = new SshProbe(route(), this);
    probe_->setAskpassProgram(SshTransport::askpassHelperPath());
    connect(probe_, &SshProbe::finished, this, &SshDialog::testFinished);
    cmdTestSsh->setEnabled(false);
    lblTestResult->setText(QStringLiteral("Testing..."));
    const QString address = GetServerAddress(settings_, section_);
    // The port as the record's connections read it (not a port: the default).
    probe_->start(address, PortFromText(ReadSetting(settings_, section_, Store::PortKey)));
}

void SshDialog::testFinished()
{
    static const char* const Kinds[] = {"", "Works", "Host key", "Authentication", "Network",
                                        "No control server", "No ssh program", "Settings", "Failed"};
    const QString kind = QString::fromLatin1(Kinds[int(probe_->outcome())]);
    lblTestResult->setText(kind + QStringLiteral(": ") + probe_->text());
    useSshToggled();
}

void SshDialog::cmdBrowseIdentity_Click()
{
    const QString start = txtSshIdentity->text().trimmed().isEmpty() ? QDir::homePath() + QStringLiteral("/.ssh")
                                                                      : txtSshIdentity->text().trimmed();
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Key file"), start);
    if (!file.isEmpty())
        txtSshIdentity->setText(file);
}
