#pragma once

// What the window tests share: the real main window over a temporary program
// folder, data folder ("data") and settings store, a local listing server, recorders for error
// reports and message boxes, and helpers to press Check Now and to find the
// mail error window.

#include "config/CCustomBrand.h"
#include "base/ProgramFolder.h"
#include "dialogs/FMessage.h"
#include "monitor/CheckCycle.h"
#include "monitor/FAlert.h"
#include "update/CStartStatus.h"

#include "ListingPages.h"
#include "LocalHttpServer.h"
#include "RecordingErrorReporter.h"
#include "RecordingMessageBoxes.h"
#include "TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Points XDG_DATA_HOME (the data folder: the outbox, the activity log, the
// lists when the program's folder cannot be written) somewhere else while
// it lives.
class DataHome
{
public:
    explicit DataHome(const QString &path)
        : m_saved(qgetenv("XDG_DATA_HOME"))
        , m_wasSet(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", path.toLocal8Bit());
    }
    ~DataHome()
    {
        if (m_wasSet)
            qputenv("XDG_DATA_HOME", m_saved);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    DataHome(const DataHome &) = delete;
    DataHome &operator=(const DataHome &) = delete;

private:
    QByteArray m_saved;
    bool m_wasSet;
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
        // Mail error windows belong to no one; they go with the test.
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (qobject_cast<FMessage *>(widget))
                delete widget;
        ProgramFolder::setPath({});
    }

    WindowRig(const WindowRig &) = delete;
    WindowRig &operator=(const WindowRig &) = delete;

    QString programFolder() const { return m_folder.filePath(QStringLiteral("program")); }
    QString programFile(const QString &name) const { return programFolder() + u'/' + name; }
    QString path(const QString &name) const { return m_folder.filePath(name); }

    // Listing host and maker host on the local site, the SMTP server on
    // 127.0.0.1 at smtpPort, a sender address.
    void writeSettings(const LocalHttpServer &site, quint16 smtpPort)
    {
        QSettings settings(m_folder.filePath(QStringLiteral("config/Zorvane/Zorvane.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Network/ListingHost"), site.url(QStringLiteral("/")));
        settings.setValue(QStringLiteral("Network/ItemHost"), QStringLiteral("http://items.example/"));
        settings.setValue(QStringLiteral("Network/MakerHost"), site.url(QStringLiteral("/maker/")));
        settings.setValue(QStringLiteral("Network/SmtpPort"), QString::number(smtpPort));
        settings.setValue(QStringLiteral("Main/FromAddress"), QStringLiteral("zorvane@example.com"));
        settings.setValue(QStringLiteral("Main/SMTP"), QStringLiteral("127.0.0.1"));
    }

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

    // Presses Check Now and waits for the cycle to end; false if it did not.
    bool checkNow(int timeoutMs = 60000)
    {
        QSignalSpy finished(&m_window->Cycle(), &CheckCycle::cycleFinished);
        m_window->OnCmdCheckClick();
        return finished.wait(timeoutMs);
    }

    // Unloads the window as Exit does; what the unload said about saving.
    bool unload()
    {
        QSignalSpy unloaded(m_window.get(), &FAlert::Unloaded);
        m_window->Unload();
        if (unloaded.size() != 1)
            return false;
        return unloaded.at(0).at(0).toBool();
    }

    static QList<FMessage *> messageWindows()
    {
        QList<FMessage *> windows;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *window = qobject_cast<FMessage *>(widget); window && window->isVisible())
                windows << window;
        return windows;
    }

    RecordingErrorReporter reporter;
    RecordingMessageBoxes boxes;

private:
    QTemporaryDir m_folder;
    DataHome m_dataHome{m_folder.filePath(QStringLiteral("data"))};
    std::unique_ptr<CStartStatus> m_startStatus;
    std::unique_ptr<FAlert> m_window;
};

// A listing page of one seller with the given (number, price, bidder) auctions.
inline QByteArray sellerPage(const QList<ListingPages::Auction> &auctions, bool hasNextPage = false)
{
    return ListingPages::page(auctions, hasNextPage);
}
