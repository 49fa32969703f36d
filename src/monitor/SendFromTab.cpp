#include "SendFromTab.h"

#include "ui_FAlert.h"

#include "base/ErrorPatterns.h"
#include "base/MessageBoxes.h"
#include "base/UserSettings.h"
#include "dialogs/FTestMessage.h"
#include "dialogs/ModalDialogs.h"
#include "mail/CEmail.h"
#include "mail/SmtpPasswordStore.h"

#include <QIntValidator>

#include <qcoro/qcorosignal.h>

namespace {

const QString CrLf = QStringLiteral("\r\n");

// The entries of cboSecurity, in their order.
constexpr SmtpSecurity SecurityChoices[] = {SmtpSecurity::None, SmtpSecurity::StartTls, SmtpSecurity::Tls};

QString securityWords(SmtpSecurity security)
{
    switch (security) {
    case SmtpSecurity::StartTls: return QStringLiteral("STARTTLS");
    case SmtpSecurity::Tls: return QStringLiteral("SSL/TLS");
    case SmtpSecurity::None: break;
    }
    return QStringLiteral("no encryption");
}

} // namespace

SendFromTab::SendFromTab(Ui::FAlert &ui, QWidget *window)
    : QObject(window)
    , m_ui(ui)
    , m_window(window)
{
    m_ui.txtSmtpPort->setValidator(new QIntValidator(1, 65535, m_ui.txtSmtpPort));
    for (QLineEdit *field : {m_ui.txtUserName, m_ui.txtSMTP, m_ui.txtSmtpPort, m_ui.txtSmtpUser, m_ui.txtSmtpPassword})
        connect(field, &QLineEdit::textChanged, this, &SendFromTab::changed);
    connect(m_ui.cboSecurity, &QComboBox::currentIndexChanged, this, &SendFromTab::onSecurityChosen);
    // The keyring's key is user@server: a change of any of the three stores
    // the password anew.
    for (QLineEdit *field : {m_ui.txtSMTP, m_ui.txtSmtpUser, m_ui.txtSmtpPassword})
        connect(field, &QLineEdit::editingFinished, this, [this] { storePassword(); });
    connect(m_ui.cmdSendTest, &QPushButton::clicked, this, [this] { OnCmdSendTestClick(); });
}

SendFromTab::~SendFromTab() = default;

void SendFromTab::show(const MainSettings &settings, const QString &trustedCertificates)
{
    m_trustedCertificates = trustedCertificates;
    m_ui.txtUserName->setText(settings.fromAddress);
    m_ui.txtSMTP->setText(settings.smtpServer);
    m_shownSecurity = settings.smtpSecurity;
    m_ui.cboSecurity->setCurrentIndex(int(std::find(std::begin(SecurityChoices), std::end(SecurityChoices),
                                                     settings.smtpSecurity)
                                          - std::begin(SecurityChoices)));
    m_ui.txtSmtpPort->setText(QString::number(settings.smtpPort));
    m_ui.txtSmtpUser->setText(settings.smtpUser);
    m_keptInFile = !settings.storedPassword.isEmpty();
    m_ui.txtSmtpPassword->setText(settings.storedPassword);
    readPassword();
}

void SendFromTab::collect(MainSettings &settings) const
{
    settings.fromAddress = m_ui.txtUserName->text();
    settings.smtpServer = m_ui.txtSMTP->text();
    const SmtpSettings smtp = smtpSettings();
    settings.smtpSecurity = smtp.security;
    settings.smtpPort = smtp.port;
    settings.smtpUser = smtp.user;
    settings.storedPassword = m_keptInFile ? smtp.password : QString();
}

QString SendFromTab::sender() const
{
    return m_ui.txtUserName->text();
}

SmtpSecurity SendFromTab::security() const
{
    const int index = m_ui.cboSecurity->currentIndex();
    return index >= 0 && index < int(std::size(SecurityChoices)) ? SecurityChoices[index] : SmtpSecurity::None;
}

SmtpSettings SendFromTab::smtpSettings() const
{
    SmtpSettings smtp;
    smtp.server = m_ui.txtSMTP->text();
    smtp.security = security();
    const uint port = m_ui.txtSmtpPort->text().toUInt();
    smtp.port = port >= 1 && port <= 65535 ? quint16(port) : SmtpSettings::defaultPort(smtp.security);
    smtp.user = m_ui.txtSmtpUser->text().trimmed();
    smtp.password = m_ui.txtSmtpPassword->text();
    smtp.trustedCertificatesFile = m_trustedCertificates;
    return smtp;
}

// Choosing a security brings its usual port, unless the user has typed a
// port of their own.
void SendFromTab::onSecurityChosen()
{
    const SmtpSecurity chosen = security();
    const QString port = m_ui.txtSmtpPort->text();
    if (port.isEmpty() || port.toUInt() == SmtpSettings::defaultPort(m_shownSecurity))
        m_ui.txtSmtpPort->setText(QString::number(SmtpSettings::defaultPort(chosen)));
    m_shownSecurity = chosen;
    Q_EMIT changed();
}

QCoro::Task<> SendFromTab::readPassword()
{
    const QPointer<SendFromTab> self(this);
    const QString user = m_ui.txtSmtpUser->text().trimmed();
    const QString server = m_ui.txtSMTP->text();
    if (user.isEmpty() || m_keptInFile)
        co_return;
    const SmtpPasswordStore::Result found = co_await SmtpPasswordStore().read(user, server);
    // The user may have typed one meanwhile, or the window may be gone.
    if (!self || found.status != SmtpPasswordStore::Status::Ok || !m_ui.txtSmtpPassword->text().isEmpty())
        co_return;
    m_ui.txtSmtpPassword->setText(found.password);
}

QCoro::Task<> SendFromTab::storePassword()
{
    if (m_storing) {
        m_storeAgain = true;
        co_return;
    }
    const QPointer<SendFromTab> self(this);
    m_storing = true;
    do {
        m_storeAgain = false;
        const SmtpSettings smtp = smtpSettings();
        if (smtp.user.isEmpty() || smtp.password.isEmpty() || m_keptInFile)
            break;
        const SmtpPasswordStore::Result stored = co_await SmtpPasswordStore().write(smtp.user, smtp.server, smtp.password);
        if (!self)
            co_return;
        if (stored.status == SmtpPasswordStore::Status::Ok || m_askedAboutFile)
            continue;
        // Said once a run: without a keyring the password can only be kept
        // in the settings file, and only if the user wants it there.
        m_askedAboutFile = true;
        const QString why = stored.status == SmtpPasswordStore::Status::NoKeyring
                                ? QStringLiteral("there is no keyring on this desktop")
                                : QStringLiteral("the keyring said: ") + stored.errorText;
        const MessageAnswer answer = MessageBoxes::show(
            {QStringLiteral("Zorvane"),
             QStringLiteral("Zorvane cannot keep the mail server's password in a keyring: ") + why + u'.' + CrLf + CrLf
                 + QStringLiteral("Shall Zorvane keep it in its settings file") + CrLf + userSettings().fileName()
                 + CrLf
                 + QStringLiteral("instead?  The file is then readable by you alone.  Otherwise the password is "
                                  "forgotten when Zorvane ends, and you type it again at the next start."),
             MessageButtons::YesNo, MessageIcon::Question});
        if (!self)
            co_return;
        m_keptInFile = answer == MessageAnswer::Yes;
    } while (m_storeAgain);
    m_storing = false;
    Q_EMIT passwordStored();
}

QCoro::Task<> SendFromTab::OnCmdSendTestClick()
{
    const QPointer<SendFromTab> self(this);
    try {
        if (sender().isEmpty() || m_ui.txtSMTP->text().isEmpty()) {
            MessageBoxes::show({QStringLiteral("Please enter mail server information"),
                                QStringLiteral("Please enter an email address and mail server ") + CrLf
                                    + QStringLiteral("to send the alert messages."),
                                MessageButtons::Ok, MessageIcon::Information});
            co_return;
        }
        // A question about where to keep the password comes first, not on
        // top of the test window.
        storePassword();
        if (m_storing)
            co_await qCoro(this, &SendFromTab::passwordStored);
        if (!self || m_testWindow)
            co_return;
        FTestMessage window(m_window);
        m_testWindow = &window;
        m_testMail = std::make_unique<CEmail>();
        connect(m_testMail.get(), &CEmail::dialogueLine, &window, [&window](CEmail::LineKind kind, const QString &line) {
            window.addLine(kind == CEmail::LineKind::Sent       ? FTestMessage::Line::Sent
                           : kind == CEmail::LineKind::Received ? FTestMessage::Line::Received
                                                                : FTestMessage::Line::Note,
                           line);
        });
        connect(m_testMail.get(), &CEmail::OnWinsockConnectionClosed, &window, [this, &window] {
            const SessionResult &result = m_testMail->result();
            window.finish(result.outcome == SessionOutcome::Accepted, result.verdict());
        });
        connect(&window, &FTestMessage::sendAgainRequested, this, &SendFromTab::sendTest);
        sendTest();
        ModalDialogs::exec(window);
        m_testMail.reset();
    } catch (...) {
        reportCaughtError("FAlert", "OnCmdSendTestClick");
    }
}

void SendFromTab::sendTest()
{
    if (!m_testWindow || !m_testMail)
        return;
    const SmtpSettings smtp = smtpSettings();
    m_testWindow->begin(QStringLiteral("Sending a test message to %1 through %2 port %3 (%4)%5.")
                            .arg(sender(), smtp.server)
                            .arg(smtp.port)
                            .arg(securityWords(smtp.security),
                                 smtp.signsIn() ? QStringLiteral(", signing in as ") + smtp.user : QString()));
    m_testMail->SendMail(smtp, sender(), sender(), QStringLiteral("Zorvane Test Message"),
                         QStringLiteral("This is a test message from Zorvane.") + CrLf + CrLf
                             + QStringLiteral("If you can read it, Zorvane can send its alerts through ") + smtp.server
                             + QStringLiteral(" port ") + QString::number(smtp.port) + u'.' + CrLf);
}
