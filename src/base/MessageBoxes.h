#pragma once

#include <QString>

#include <functional>

// Every modal message box of the program goes through here: the windowed
// program answers with a real message box (dialogs/ModalDialogs); tests
// install a handler that records the request and answers it, so no window
// ever blocks a test; without a handler the text goes to standard error.

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageIcon { None, Information, Question, Warning, Critical };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageRequest
{
    QString title;
    QString text; // line ends as the program writes them (CR LF)
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

namespace MessageBoxes {

using Handler = std::function<MessageAnswer(const MessageRequest &)>;

// Shows the box modally and gives back the button pressed. Closing a box
// without pressing a button answers Cancel (or No, or Ok for a lone OK).
MessageAnswer show(const MessageRequest &request);

// Replaces the way boxes are answered; an empty handler restores the
// standard-error answer. Gives back the previous handler.
Handler setHandler(Handler handler);

} // namespace MessageBoxes
