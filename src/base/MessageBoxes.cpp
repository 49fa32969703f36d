#include "MessageBoxes.h"

#include <cstdio>

namespace {

MessageBoxes::Handler &currentHandler()
{
    static MessageBoxes::Handler handler;
    return handler;
}

// Without a desktop there is no one to ask: the text goes to standard error
// and nothing is agreed to.
MessageAnswer writeToStandardError(const MessageRequest &request)
{
    QString text = request.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray bytes = (request.title + QStringLiteral(": ") + text).toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    return MessageBoxes::cautiousAnswer(request.buttons);
}

} // namespace

MessageAnswer MessageBoxes::cautiousAnswer(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok: return MessageAnswer::Ok;
    case MessageButtons::OkCancel: return MessageAnswer::Cancel;
    case MessageButtons::YesNo: return MessageAnswer::No;
    }
    return MessageAnswer::Cancel;
}

MessageAnswer MessageBoxes::show(const MessageRequest &request)
{
    if (currentHandler())
        return currentHandler()(request);
    return writeToStandardError(request);
}

MessageBoxes::Handler MessageBoxes::setHandler(Handler handler)
{
    std::swap(currentHandler(), handler);
    return handler;
}
