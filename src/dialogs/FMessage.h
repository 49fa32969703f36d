#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class FMessage;
}

// The system message window: collects the mail sender's error texts while it
// is open, one below the other, so a batch of failed alerts shows as one
// growing list. Whoever opens it connects the later texts to
// m_oEmail_OnErrorMessage; once closed it deletes itself, and with it the
// connection.
class FMessage : public QWidget
{
    Q_OBJECT

public:
    explicit FMessage(QWidget *parent = nullptr);
    ~FMessage() override;

    // Shows sMessage, replacing what was shown. Called once, before the
    // window is shown.
    void LoadMessage(const QString &sMessage);

    // A later error text of the mail sender, shown below the others.
    void m_oEmail_OnErrorMessage(const QString &sMessage);

    QString Text() const;

private:
    std::unique_ptr<Ui::FMessage> m_ui;
};
