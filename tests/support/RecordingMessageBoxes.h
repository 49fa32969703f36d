#pragma once

#include "base/MessageBoxes.h"

#include <QList>
#include <QQueue>

// Answers every message box while it lives, without showing a window: with
// the queued answers in order, then with the box's first button (an offer
// of a new version is declined). Keeps every request for the test to look
// at.
class RecordingMessageBoxes
{
public:
    RecordingMessageBoxes()
    {
        m_previous = MessageBoxes::setHandler([this](const MessageRequest &request) {
            m_requests.append(request);
            return !m_answers.isEmpty()                        ? m_answers.dequeue()
                   : request.kind == MessageKind::UpdateOffer  ? MessageAnswer::No
                   : request.buttons == MessageButtons::YesNo ? MessageAnswer::Yes
                                                               : MessageAnswer::Ok;
        });
    }
    ~RecordingMessageBoxes() { MessageBoxes::setHandler(std::move(m_previous)); }
    Q_DISABLE_COPY(RecordingMessageBoxes)
    void queueAnswer(MessageAnswer answer) { m_answers.enqueue(answer); }
    const QList<MessageRequest> &requests() const { return m_requests; }

private:
    MessageBoxes::Handler m_previous;
    QList<MessageRequest> m_requests;
    QQueue<MessageAnswer> m_answers;
};
