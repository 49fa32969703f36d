#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class FTestMessage;
}

// The window of Send Test Message: the dialogue with the mail server as it
// goes, one line per command and reply (the sign-in masked by whoever feeds
// it), and at the end a verdict in plain words. It only shows: whoever
// opens it runs the session and feeds it.
class FTestMessage : public QDialog
{
    Q_OBJECT

public:
    enum class Line { Sent, Received, Note };

    explicit FTestMessage(QWidget *parent = nullptr);
    ~FTestMessage() override;

    // A new attempt: the heading says what is tried; the dialogue and the
    // verdict are cleared; Send Again waits for the end.
    void begin(const QString &heading);
    void addLine(Line kind, const QString &text);
    // The end: the verdict, marked as good news or bad.
    void finish(bool accepted, const QString &verdict);

    QString dialogue() const;
    QString verdict() const;

Q_SIGNALS:
    void sendAgainRequested();

private:
    std::unique_ptr<Ui::FTestMessage> m_ui;
};
