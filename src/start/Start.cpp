#include "Start.h"

#include "base/ActivityLog.h"
#include "config/CCustomBrand.h"
#include "base/Version.h"
#include "base/ErrorPatterns.h"
#include "base/Shell.h"
#include "dialogs/ModalDialogs.h"
#include "dialogs/WindowErrorReporter.h"
#include "monitor/FAlert.h"
#include "start/TerminationSignals.h"
#include "update/CStartStatus.h"
#include "update/UpdateWindows.h"

#include <QApplication>
#include <QDesktopServices>
#include <QSessionManager>

namespace {

bool anyWindowShown()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [](const QWidget *window) { return window->isVisible(); });
}

} // namespace

int Start::Main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    QApplication::setApplicationVersion(Version::full());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zorvane/zorvane.png")));
    // Lets the desktop tie the window to its installed entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.pellridge.Zorvane"));
    // The program lives in the tray: closing its last window does not end
    // it; the main window's unload does.
    QApplication::setQuitOnLastWindowClosed(false);
    Shell::setHandler([](const QUrl &url) { return QDesktopServices::openUrl(url); });
    MessageBoxes::setHandler(UpdateWindows::show);
    ActivityLog::install();

    CStartStatus startStatus;
    FAlert alert;
    ErrorReporter::install(std::make_unique<WindowErrorReporter>());
    CCustomBrand brand;

    // A kill, Ctrl+C or the end of the desktop session unloads the window
    // the orderly way (lists and settings saved, tray icon removed), at any
    // moment from here on: a request that comes while a message box of the
    // start-up is open is carried out once the start-up is through. One
    // that comes after the unload (its report still on screen) ends the
    // program at once.
    TerminationSignals terminationSignals;
    const auto endProgram = [&alert] {
        if (alert.IsUnloaded())
            QCoreApplication::quit();
        else
            alert.Unload(FAlert::UnloadBySession);
    };
    QObject::connect(&terminationSignals, &TerminationSignals::received, &alert, endProgram);
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &alert, endProgram);

    try {
        brand.Initialize();
    } catch (...) {
        reportCaughtError("Start", "Main");
    }
    ErrorReporter::instance().Setup(QStringLiteral("Zorvane"), Version::majorMinor(), Brand::ErrorReportEmail);
    alert.Initialize(&startStatus);


    QObject::connect(&alert, &FAlert::Unloaded, &application, [](bool bSaved) {
        // After a failed shutdown step its report is on screen: end once
        // the user has closed it.
        if (bSaved || !anyWindowShown())
            QCoreApplication::quit();
        else
            QApplication::setQuitOnLastWindowClosed(true);
    });

    alert.OnFormLoad();
    return application.exec();
}
