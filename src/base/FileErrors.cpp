#include "FileErrors.h"

#include <cerrno>

namespace FileErrors {

namespace {

qint32 fromErrno(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ErrorNumber::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return ErrorNumber::PermissionDenied;
    case ENOENT:
    case ENOTDIR:
        return ErrorNumber::PathNotFound;
    case EISDIR:
    case EEXIST:
    case EBUSY:
        return ErrorNumber::PathFileAccess;
    case ENAMETOOLONG:
        return ErrorNumber::BadFileName;
    case EIO:
        return ErrorNumber::DeviceIO;
    default:
        return 0;
    }
}

qint32 fromDevice(const QFileDevice &device, Stage stage)
{
    switch (device.error()) {
    case QFileDevice::PermissionsError: return ErrorNumber::PermissionDenied;
    case QFileDevice::ResourceError: return ErrorNumber::DiskFull;
    case QFileDevice::ReadError:
    case QFileDevice::WriteError: return ErrorNumber::DeviceIO;
    default: break;
    }
    return stage == Stage::Open ? ErrorNumber::PathFileAccess : ErrorNumber::DeviceIO;
}

} // namespace

AppError fromFailure(int savedErrno, const QFileDevice &device, Stage stage)
{
    qint32 number = fromErrno(savedErrno);
    if (number == 0)
        number = fromDevice(device, stage);
    return AppError::platform(number);
}

} // namespace FileErrors
