#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class FError;
}

// One error report on screen: the report text, and a choice between going
// on and mailing the report to the maker. Kept above all other windows;
// never modal, so the program goes on running while it is shown.
class FError : public QDialog
{
    Q_OBJECT

public:
    explicit FError(const QString &sReport, QWidget *parent = nullptr);
    ~FError() override;

    const QString &Report() const { return m_sReport; }

    // The mail draft address that Send Error opens: the error-report address
    // with the subject and the report as the body, both percent-encoded so
    // that nothing in the report can cut the draft short.
    static QString ErrorMailAddress(const QString &sReport);

private:
    void OnCmdContinueClick();
    void OnCmdEmailClick();

    std::unique_ptr<Ui::FError> m_ui;
    QString m_sReport;
};
