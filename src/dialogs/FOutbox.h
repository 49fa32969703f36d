#pragma once

#include <QDateTime>
#include <QList>
#include <QWidget>

#include <memory>

namespace Ui {
class FOutbox;
}

// The Outbox window: the messages that wait to be sent (when they were
// written, to whom, what, and why the last attempt failed), with Send Now
// and Discard. It only shows and asks; whoever opens it hands it the rows
// and carries out the requests. Closed, it deletes itself.
class FOutbox : public QWidget
{
    Q_OBJECT

public:
    struct Row
    {
        QString id;
        QDateTime created;
        QString recipient;
        QString subject;
        QString lastError;
    };

    explicit FOutbox(QWidget *parent = nullptr);
    ~FOutbox() override;

    // Shows these rows, oldest first; rows still there stay selected.
    void setRows(const QList<Row> &rows);
    // While a check runs it sends the waiting messages itself: Send Now
    // waits.
    void setSending(bool sending);
    QStringList selectedIds() const;

Q_SIGNALS:
    void sendNowRequested();
    // After the user has confirmed it.
    void discardRequested(const QStringList &ids);

private:
    void OnCmdDiscardClick();
    void enableButtons();

    std::unique_ptr<Ui::FOutbox> m_ui;
    bool m_bSending = false;
};
