#include "CError.h"

#include "FError.h"

FError *CError::ShowError(const QString &sReport)
{
    auto *window = new FError(sReport);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->raise();
    return window;
}
