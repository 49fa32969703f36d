#include "ErrorPatterns.h"

#include "ErrorReporter.h"

#include <new>

AppError caughtError()
{
    try {
        throw;
    } catch (const AppError &error) {
        return error;
    } catch (const std::bad_alloc &) {
        return AppError::platform(ErrorNumber::OutOfMemory);
    } catch (const std::exception &error) {
        return AppError(ErrorNumber::InternalError,
                        runtimeDescription(ErrorNumber::InternalError) + QStringLiteral(": ")
                            + QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return AppError::platform(ErrorNumber::InternalError);
    }
}

void passOnCaughtError(const char *className, const char *procedure, const QString &suffix)
{
    const AppError inner = caughtError();
    throw AppError(ErrorNumber::Component,
                   QString::fromLatin1(className) + u'.' + QString::fromLatin1(procedure) + u' ' + QString::number(inner.number())
                       + u' ' + inner.description() + suffix);
}

void reportCaughtError(const char *className, const char *procedure)
{
    const AppError error = caughtError();
    ErrorReporter::instance().ReportError(QString::fromLatin1(className) + u'.' + QString::fromLatin1(procedure)
                                          + QStringLiteral("\r\n") + error.description());
}
