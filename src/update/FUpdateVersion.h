#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class FUpdateVersion;
}

// The modal window that offers a newer version: the maker's message, and the
// choice between updating now and later. The caller reads UpdateChosen once
// the window has closed.
class FUpdateVersion : public QDialog
{
    Q_OBJECT

public:
    explicit FUpdateVersion(QWidget *parent = nullptr);
    ~FUpdateVersion() override;

    // Sets the window caption and puts sMessage (CR LF line ends) into txtMessage.
    void LoadMessage(const QString &sCaption, const QString &sMessage);

    // The message as shown, with CR LF line ends.
    QString Message() const;

    // True only when the window was closed with cmdUpdate; "Update Later",
    // Escape and the frame's close box all leave it False.
    bool UpdateChosen() const { return m_bUpdateChosen; }

private:
    void OnCmdUpdateClick();
    void OnCmdDoNotUpgradeClick();

    std::unique_ptr<Ui::FUpdateVersion> m_ui;
    bool m_bUpdateChosen = false;
};
