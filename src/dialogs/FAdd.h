#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class FAdd;
}

// The modal dialog in which the user types one new entry for the main
// window's lists: an alert recipient's e-mail address (e-mail mode) or an
// eBay seller's user ID (account mode). It only collects and checks the
// text; the caller reads Cancelled and Address after it has returned.
class FAdd : public QDialog
{
    Q_OBJECT
    Q_PROPERTY(bool EmailMode READ EmailMode WRITE setEmailMode)

public:
    explicit FAdd(QWidget *parent = nullptr);
    ~FAdd() override;

    // True: e-mail mode (the default look); False: account mode. Set before
    // the dialog is shown.
    bool EmailMode() const { return m_bEmailMode; }
    void setEmailMode(bool bEmailMode);

    // The text of txtEmail exactly as typed.
    QString Address() const;

    // True once the user has cancelled or closed the dialog.
    bool Cancelled() const { return m_bCancelled; }

    // Enables cmdAdd when the text is acceptable for the current mode.
    void UpdateAddButton();

    // The dialog's address check: an "@" after the first character, at least
    // one character between it and the next ".", and at least one character
    // after that ".". Nothing else is examined.
    static bool IsValidEmailAddress(const QString &sText);

    // Cancel, Escape and the title bar's close box all end up here.
    void reject() override;

private:
    void OnCmdAddClick();
    void OnCmdCancelClick();
    void OnTxtEmailChange();

    std::unique_ptr<Ui::FAdd> m_ui;
    QString m_sDesignTitle;
    QString m_sDesignLabel;
    bool m_bEmailMode = true;
    bool m_bCancelled = false;
};
