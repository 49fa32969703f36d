#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class CEmail;

namespace Ui {
class FMessage;
}

// The system message window: collects the mail sender's error texts while it
// is open, one below the other, so a batch of failed alerts shows as one
// growing list. Once closed it hears nothing more and deletes itself.
class FMessage : public QWidget
{
    Q_OBJECT

public:
    explicit FMessage(QWidget *parent = nullptr);
    ~FMessage() override;

    // Listens to oEmail's error texts from now on and shows sMessage,
    // replacing what was shown. Called once, before the window is shown.
    void LoadMessage(CEmail *oEmail, const QString &sMessage);

    QString Text() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void m_oEmail_OnErrorMessage(const QString &sMessage);

    std::unique_ptr<Ui::FMessage> m_ui;
    QPointer<CEmail> m_oEmail;
    QMetaObject::Connection m_errorConnection;
};
