#pragma once

#include "update/FCompanyMessage.h"
#include "update/FUpdateVersion.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QPushButton>
#include <QQueue>
#include <QTimer>

// Answers the update and company message windows while it lives: it sees
// each one as it is shown, notes what it showed, and once the window's modal
// loop runs, presses the queued button (by objectName) or, for an empty
// answer, closes the window by its frame. Unqueued windows are dismissed
// with "Update Later" or "Continue".
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Shown
    {
        QString kind; // "update" or "company"
        QString caption;
        QString message;
        bool modal = false;
    };

    ModalAnswerer() { qApp->installEventFilter(this); }
    ~ModalAnswerer() override { qApp->removeEventFilter(this); }

    void queueAnswer(const QString &buttonName) { m_answers.enqueue(buttonName); }
    const QList<Shown> &shown() const { return m_shown; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        QDialog *dialog = nullptr;
        Shown shown;
        QString answer;
        if (auto *update = qobject_cast<FUpdateVersion *>(watched)) {
            dialog = update;
            shown = {QStringLiteral("update"), update->windowTitle(), update->Message(), false};
            answer = QStringLiteral("cmdDoNotUpgrade");
        } else if (auto *company = qobject_cast<FCompanyMessage *>(watched)) {
            dialog = company;
            shown = {QStringLiteral("company"), company->windowTitle(), company->Message(), false};
            answer = QStringLiteral("cmdContinue");
        } else {
            return false;
        }
        if (!m_answers.isEmpty())
            answer = m_answers.dequeue();
        const QPointer<QDialog> window(dialog);
        m_shown.append(shown);
        const qsizetype index = m_shown.size() - 1;
        QTimer::singleShot(0, this, [this, window, answer, index] {
            if (!window)
                return;
            m_shown[index].modal = QApplication::activeModalWidget() == window;
            if (answer.isEmpty()) {
                window->close();
                return;
            }
            auto *button = window->findChild<QPushButton *>(answer);
            if (!button)
                qFatal("no button %s", qPrintable(answer));
            button->click();
        });
        return false;
    }

private:
    QQueue<QString> m_answers;
    QList<Shown> m_shown;
};
