#pragma once

#include "mail/SmtpSettings.h"
#include "monitor/MainSettings.h"

#include <QObject>
#include <QPointer>

#include <qcoro/qcorotask.h>

#include <memory>

class CEmail;
class FTestMessage;
class QWidget;

namespace Ui {
class FAlert;
}

// The Send From tab of the main window: the sender address, the mail
// server with its port, security and sign-in, and Send Test Message. The
// password lives in the desktop's keyring; when there is none, and only if
// the user agrees, in the settings file (then readable by the user alone).
class SendFromTab : public QObject
{
    Q_OBJECT

public:
    SendFromTab(Ui::FAlert &ui, QWidget *window);
    ~SendFromTab() override;

    // Shows the stored settings and looks for the password.
    void show(const MainSettings &settings, const QString &trustedCertificates);
    // The tab's part of the settings to store (the password only when it is
    // to be kept in the settings file).
    void collect(MainSettings &settings) const;

    QString sender() const;
    SmtpSettings smtpSettings() const;

    // Runs one session to the sender's own address and shows how it goes,
    // once the password has been put away (the user may be asked where).
    QCoro::Task<> OnCmdSendTestClick();

Q_SIGNALS:
    // The user changed something the check cycle uses.
    void changed();
    // The password has been put away (or could not be).
    void passwordStored();

private:
    SmtpSecurity security() const;
    void onSecurityChosen();
    QCoro::Task<> readPassword();
    QCoro::Task<> storePassword();
    void sendTest();

    Ui::FAlert &m_ui;
    QWidget *m_window;
    QString m_trustedCertificates;
    SmtpSecurity m_shownSecurity = SmtpSecurity::None;
    // The password is kept in the settings file (no keyring, and the user
    // agreed), and whether the user has been asked this run.
    bool m_keptInFile = false;
    bool m_askedAboutFile = false;
    // One store at a time; a change meanwhile stores again after it.
    bool m_storing = false;
    bool m_storeAgain = false;
    std::unique_ptr<CEmail> m_testMail;
    QPointer<FTestMessage> m_testWindow;
};
