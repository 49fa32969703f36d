#pragma once

#include <QString>

#include <functional>

// Every modal message box of the program goes through here, and so do the
// version check's two windows: the windowed program answers with real
// windows (dialogs/ModalDialogs, update/UpdateWindows); tests install a
// handler that records the request and answers it, so no window ever blocks
// a test; without a handler (a program without a desktop) the text goes to
// standard error and the cautious answer is taken: OK, Cancel or No.

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageIcon { None, Information, Question, Warning, Critical };
enum class MessageAnswer { Ok, Cancel, Yes, No };
// Which window asks: a message box, the offer of a new version (Yes: update
// now), or a message from the maker.
enum class MessageKind { Box, UpdateOffer, MakerMessage };

struct MessageRequest
{
    QString title;
    QString text; // line ends as the program writes them (CR LF)
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    MessageKind kind = MessageKind::Box;
};

namespace MessageBoxes {

using Handler = std::function<MessageAnswer(const MessageRequest &)>;

// Shows the box modally and gives back the button pressed. Closing a box
// without pressing a button answers Cancel (or No, or Ok for a lone OK).
// The answer made when no one can be asked.
MessageAnswer cautiousAnswer(MessageButtons buttons);

MessageAnswer show(const MessageRequest &request);

// Replaces the way boxes are answered; an empty handler restores the
// standard-error answer. Gives back the previous handler.
Handler setHandler(Handler handler);

} // namespace MessageBoxes
