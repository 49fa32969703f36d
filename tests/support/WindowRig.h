#pragma once

// What the window tests share: the real main window over a temporary program
// folder, data folder ("data") and settings store, and recorders for error
// reports and message boxes.

#include "base/ProgramFolder.h"
#include "config/CCustomBrand.h"
#include "monitor/CheckCycle.h"
#include "monitor/FAlert.h"
#include "update/CStartStatus.h"

#include "RecordingErrorReporter.h"
#include "RecordingMessageBoxes.h"
#include "TestFiles.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

// Points XDG_DATA_HOME (the data folder: the outbox, the activity log, the
// lists when the program's folder cannot be written) somewhere else while
// it lives.
class DataHome
{
public:
    explicit DataHome(const QString &path) { qputenv("XDG_DATA_HOME", path.toLocal8Bit()); }
    ~DataHome() { m_wasSet ? qputenv("XDG_DATA_HOME", m_saved) : qunsetenv("XDG_DATA_HOME"); }
    Q_DISABLE_COPY(DataHome)

private:
    QByteArray m_saved = qgetenv("XDG_DATA_HOME");
    bool m_wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
};

class WindowRig
{
public:
    WindowRig()
    {
        QDir(m_folder.path()).mkpath(QStringLiteral("program"));
        ProgramFolder::setPath(programFolder());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_folder.filePath(QStringLiteral("config")));
        CCustomBrand().Initialize();
    }
    ~WindowRig()
    {
        m_window.reset();
        m_startStatus.reset();
        ProgramFolder::setPath({});
    }
    Q_DISABLE_COPY(WindowRig)

    QString programFolder() const { return m_folder.filePath(QStringLiteral("program")); }
    QString programFile(const QString &name) const { return programFolder() + u'/' + name; }
    QString path(const QString &name) const { return m_folder.filePath(name); }
    QString settingsFile() const { return path(QStringLiteral("config/Zorvane/Zorvane.conf")); }

    // Writes the list files (a null array leaves a file alone) and loads a
    // new window.
    FAlert &load(const QByteArray &sellers, const QByteArray &recipients)
    {
        if (!sellers.isNull())
            TestFiles::write(programFile(QStringLiteral("Accounts.txt")), sellers);
        if (!recipients.isNull())
            TestFiles::write(programFile(QStringLiteral("EmailAddresses.txt")), recipients);
        return reload();
    }

    // A new window over whatever the folders hold now.
    FAlert &reload()
    {
        m_window.reset();
        m_startStatus = std::make_unique<CStartStatus>();
        m_window = std::make_unique<FAlert>();
        m_window->Initialize(m_startStatus.get());
        m_window->OnFormLoad();
        return *m_window;
    }

    FAlert &window() { return *m_window; }
    CStartStatus &startStatus() { return *m_startStatus; }

    // Unloads the window as Exit does; whether the unload saved everything.
    bool unload()
    {
        QSignalSpy unloaded(m_window.get(), &FAlert::Unloaded);
        m_window->Unload();
        return unloaded.size() == 1 && unloaded.at(0).at(0).toBool();
    }

    RecordingErrorReporter reporter;
    RecordingMessageBoxes boxes;

private:
    QTemporaryDir m_folder;
    DataHome m_dataHome{m_folder.filePath(QStringLiteral("data"))};
    std::unique_ptr<CStartStatus> m_startStatus;
    std::unique_ptr<FAlert> m_window;
};
