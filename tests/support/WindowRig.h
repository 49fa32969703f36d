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

class WindowRig
{
public:
    WindowRig()
    {
        QDir(m_folder.path()).mkpath(QStringLiteral("program"));
        ProgramFolder::setPath(path(QStringLiteral("program")));
        setDataHome(path(QStringLiteral("data")));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_folder.filePath(QStringLiteral("config")));
        CCustomBrand().Initialize();
    }
    Q_DISABLE_COPY(WindowRig)

    QString programFile(const QString &name) const { return path(QStringLiteral("program/") + name); }
    QString path(const QString &name) const { return m_folder.filePath(name); }
    QString settingsFile() const { return path(QStringLiteral("config/Zorvane/Zorvane.conf")); }
    // The data folder: the outbox, the activity log, the lists when the
    // program's folder cannot be written. Every rig sets its own.
    static void setDataHome(const QString &folder) { qputenv("XDG_DATA_HOME", folder.toLocal8Bit()); }

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
    QTemporaryDir m_folder; // declared first: it outlives the window
    std::unique_ptr<CStartStatus> m_startStatus;
    std::unique_ptr<FAlert> m_window;
};
