#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class FAbout;
}

// Who makes the program, its version, and a button that opens the maker's
// web site. Shown modally by the main window's About command.
class FAbout : public QDialog
{
    Q_OBJECT

public:
    explicit FAbout(QWidget *parent = nullptr);
    ~FAbout() override;

private:
    void OnFormLoad();
    void OnCmdVisitClick();
    void OnCmdCloseClick();

    std::unique_ptr<Ui::FAbout> m_ui;
};
