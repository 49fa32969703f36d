#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <exception>

// Error numbers the program raises or meets. The program's own errors all
// carry Component; the others are the run time's usual numbers, so that a
// report reads the same whatever layer the failure came from.
namespace ErrorNumber {
inline constexpr qint32 Component = -2147221504; // 0x80040000 as signed 32-bit
inline constexpr qint32 InvalidArgument = 5;
inline constexpr qint32 Overflow = 6;
inline constexpr qint32 OutOfMemory = 7;
inline constexpr qint32 InternalError = 51;
inline constexpr qint32 BadFileName = 52;
inline constexpr qint32 FileNotFound = 53;
inline constexpr qint32 DeviceIO = 57;
inline constexpr qint32 DiskFull = 61;
inline constexpr qint32 PermissionDenied = 70;
inline constexpr qint32 PathFileAccess = 75;
inline constexpr qint32 PathNotFound = 76;
inline constexpr qint32 DuplicateKey = 457;
} // namespace ErrorNumber

// The run time's description of one of the numbers above ("" for others).
QString runtimeDescription(qint32 number);

// A run-time error as the error patterns handle it: number, source and
// description. Thrown by value, caught by const reference.
class AppError : public std::exception
{
public:
    AppError(qint32 number, QString description, QString source = {});

    // An error of the run time itself, described as the run time describes it.
    static AppError platform(qint32 number);

    qint32 number() const { return m_number; }
    const QString &source() const { return m_source; }
    const QString &description() const { return m_description; }

    const char *what() const noexcept override { return m_what.constData(); }

private:
    qint32 m_number;
    QString m_source;
    QString m_description;
    QByteArray m_what;
};
