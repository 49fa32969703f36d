#include "ModalDialogs.h"

#include "base/ModalScope.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon toQt(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}


} // namespace

int ModalDialogs::exec(QDialog &dialog)
{
    if (ModalScope::closing())
        return QDialog::Rejected;
    const ModalScope open;
    return dialog.exec();
}

void ModalDialogs::closeAll()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (!window->isVisible() || !window->isModal())
            continue;
        // A message box closes as its escape button; other dialogs as Cancel.
        if (qobject_cast<QMessageBox *>(window))
            window->close();
        else if (auto *dialog = qobject_cast<QDialog *>(window))
            dialog->reject();
        else
            window->close();
    }
}

MessageAnswer ModalDialogs::messageBox(const MessageRequest &request)
{
    QString text = request.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    QMessageBox box(toQt(request.icon), request.title, text, QMessageBox::NoButton, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    switch (request.buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    if (ModalScope::closing())
        return MessageBoxes::cautiousAnswer(request.buttons);
    const ModalScope open;
    switch (box.exec()) {
    case QMessageBox::Ok: return MessageAnswer::Ok;
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    default: return MessageBoxes::cautiousAnswer(request.buttons);
    }
}
