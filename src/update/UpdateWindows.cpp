#include "UpdateWindows.h"

#include "dialogs/ModalDialogs.h"
#include "update/FCompanyMessage.h"
#include "update/FUpdateVersion.h"

MessageAnswer UpdateWindows::show(const MessageRequest &request)
{
    switch (request.kind) {
    case MessageKind::UpdateOffer: {
        FUpdateVersion window;
        window.LoadMessage(request.title, request.text);
        ModalDialogs::exec(window);
        return window.UpdateChosen() ? MessageAnswer::Yes : MessageAnswer::No;
    }
    case MessageKind::MakerMessage: {
        FCompanyMessage window;
        window.LoadMessage(request.title, request.text);
        ModalDialogs::exec(window);
        return MessageAnswer::Ok;
    }
    case MessageKind::Box: break;
    }
    return ModalDialogs::messageBox(request);
}
