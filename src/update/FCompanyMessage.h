#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class FCompanyMessage;
}

// The small modal window that shows a message from the maker when the
// version service has one but no new version to offer.
class FCompanyMessage : public QDialog
{
    Q_OBJECT

public:
    explicit FCompanyMessage(QWidget *parent = nullptr);
    ~FCompanyMessage() override;

    // Sets the window caption and puts sMessage (CR LF line ends) into txtMessage.
    void LoadMessage(const QString &sCaption, const QString &sMessage);

    // The message as shown, with CR LF line ends.
    QString Message() const;

private:
    std::unique_ptr<Ui::FCompanyMessage> m_ui;
};
