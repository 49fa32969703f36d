// Cold start to the main window shown: starts the program the way its entry
// does (application, start status, main window, brand, error reporter,
// load) and, when the window is first exposed on the display, prints the
// wall-clock time in nanoseconds since the epoch and ends. The caller takes
// the time just before it starts this process, so the figure covers process
// creation, dynamic loading, Qt's start-up and the window's load:
//
//     start=$(date +%s%N); bench_coldstart; (prints the end time)
//
// bench/coldstart.sh does that several times under xvfb-run.

#include "config/CCustomBrand.h"
#include "base/Version.h"
#include "base/ErrorReporter.h"
#include "dialogs/WindowErrorReporter.h"
#include "monitor/FAlert.h"
#include "update/CStartStatus.h"

#include <QApplication>
#include <QEvent>
#include <QWindow>

#include <chrono>
#include <cstdio>

namespace {

// Catches the main window's first exposure.
class ExposeWatch : public QObject
{
public:
    explicit ExposeWatch(QWidget *window) : m_window(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_done && event->type() == QEvent::Expose && m_window->windowHandle() == watched) {
            m_done = true;
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            std::printf("%lld\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
            std::fflush(stdout);
            QMetaObject::invokeMethod(qApp, [] { std::_Exit(0); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget *m_window;
    bool m_done = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    QApplication::setQuitOnLastWindowClosed(false);

    CStartStatus startStatus;
    FAlert alert;
    ErrorReporter::install(std::make_unique<WindowErrorReporter>());
    CCustomBrand brand;
    brand.Initialize();
    ErrorReporter::instance().Setup(QStringLiteral("Zorvane"), Version::majorMinor(), Brand::ErrorReportEmail);
    alert.Initialize(&startStatus);

    ExposeWatch watch(&alert);
    application.installEventFilter(&watch);
    alert.OnFormLoad();
    return application.exec();
}
