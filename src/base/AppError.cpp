#include "AppError.h"

QString runtimeDescription(qint32 number)
{
    switch (number) {
    case ErrorNumber::InvalidArgument: return QStringLiteral("Invalid procedure call or argument");
    case ErrorNumber::Overflow: return QStringLiteral("Overflow");
    case ErrorNumber::OutOfMemory: return QStringLiteral("Out of memory");
    case ErrorNumber::InternalError: return QStringLiteral("Internal error");
    case ErrorNumber::BadFileName: return QStringLiteral("Bad file name or number");
    case ErrorNumber::FileNotFound: return QStringLiteral("File not found");
    case ErrorNumber::DeviceIO: return QStringLiteral("Device I/O error");
    case ErrorNumber::DiskFull: return QStringLiteral("Disk full");
    case ErrorNumber::PermissionDenied: return QStringLiteral("Permission denied");
    case ErrorNumber::PathFileAccess: return QStringLiteral("Path/File access error");
    case ErrorNumber::PathNotFound: return QStringLiteral("Path not found");
    case ErrorNumber::DuplicateKey:
        return QStringLiteral("This key is already associated with an element of this collection");
    default: return {};
    }
}

AppError::AppError(qint32 number, QString description, QString source)
    : m_number(number)
    , m_source(std::move(source))
    , m_description(std::move(description))
    , m_what(QString::number(number).toUtf8() + ' ' + m_description.toUtf8())
{
}

AppError AppError::platform(qint32 number)
{
    return AppError(number, runtimeDescription(number));
}
