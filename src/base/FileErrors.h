#pragma once

#include "base/AppError.h"

#include <QFileDevice>

// The run time's file error for a failed file operation: errno of the
// failing call when there is one (savedErrno), otherwise what Qt tells of
// the device. Used by the list files and the outbox.
namespace FileErrors {

enum class Stage { Open, Read, Write };

AppError fromFailure(int savedErrno, const QFileDevice &device, Stage stage);

} // namespace FileErrors
