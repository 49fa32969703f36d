// The version service's reply: the first byte chooses the user's answer to an
// update window (odd: "Update Now", even: "Update Later"), the rest is the
// reply handed to CStartStatus::CheckVersionPage of a fresh start-status
// object.
//
// Invariants: the three results and whether the page fails are what a plain
// model of the status block (wide positions; a 16-bit position overflow or a
// negative length fails) gives, results read before a failure kept; a failure
// is passed on as "oStartStatus.CheckVersionPage ..."; exactly the window the
// results call for is shown, and none after a failure; the browser is only
// ever handed a web address, and only when the user chose to update.

#include "FuzzSupport.h"

#include "update/CStartStatus.h"
#include "update/FCompanyMessage.h"
#include "update/FUpdateVersion.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

namespace {

struct Model
{
    bool failed = false;
    bool newVersion = false;
    QString updateURL;
    QString message;
};

// A 1-based position or length that a 16-bit signed integer could not hold.
bool overflows(qsizetype value)
{
    return value > 32767 || value < -32768;
}

Model model(const QString &html)
{
    Model m;
    const qsizetype p = html.indexOf(QLatin1String("<status>")) + 1;
    if (overflows(p)) {
        m.failed = true;
        return m;
    }
    if (p == 0)
        return m;
    const qsizetype q = html.indexOf(QLatin1String("</status>")) + 1;
    const qsizetype start = p + 8;
    if (overflows(q) || overflows(start) || overflows(q - start) || q - start < 0) {
        m.failed = true;
        return m;
    }
    const QString block = html.mid(start - 1, q - start);
    if (block.size() <= 20)
        return m;

    const auto element = [&](const char *open, const char *close, QString &text) {
        const qsizetype r = block.indexOf(QLatin1String(open)) + 1;
        if (r == 0)
            return false;
        const qsizetype s = block.indexOf(QLatin1String(close)) + 1;
        const qsizetype from = r + qsizetype(qstrlen(open));
        if (overflows(from) || overflows(s - from) || s - from < 0) {
            m.failed = true;
            return false;
        }
        text = block.mid(from - 1, s - from);
        return true;
    };
    QString text;
    if (element("<newversion>", "</newversion>", text) && text == QLatin1String("1"))
        m.newVersion = true;
    if (!m.failed && element("<updateurl>", "</updateurl>", text))
        m.updateURL = text;
    if (!m.failed && element("<message>", "</message>", text))
        m.message = text;
    return m;
}

// Answers the update and company windows as soon as their modal loop runs.
class WindowAnswerer : public QObject
{
    Q_OBJECT

public:
    int updateWindows = 0;
    int companyWindows = 0;
    bool updateNow = false;
    QList<QUrl> browsed;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        if (auto *update = qobject_cast<FUpdateVersion *>(watched)) {
            ++updateWindows;
            auto *button = update->findChild<QPushButton *>(
                updateNow ? QStringLiteral("cmdUpdate") : QStringLiteral("cmdDoNotUpgrade"));
            if (!button)
                Fuzz::fail(__FILE__, __LINE__, "button", QStringLiteral("missing"));
            QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
        } else if (auto *company = qobject_cast<FCompanyMessage *>(watched)) {
            ++companyWindows;
            QMetaObject::invokeMethod(company, "reject", Qt::QueuedConnection);
        }
        return false;
    }

public Q_SLOTS:
    void openUrl(const QUrl &url) { browsed.append(url); }
};

WindowAnswerer *answerer = nullptr;
Fuzz::BoxCounter boxes;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The settings the start-status object reads live in a scratch folder.
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept for the whole run and never destroyed: tearing the GUI down at exit
    // would only drop Qt's font caches half-way.
    auto *app = new QApplication(*argc, *argv);
    answerer = new WindowAnswerer;
    app->installEventFilter(answerer);
    QDesktopServices::setUrlHandler(QStringLiteral("http"), answerer, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), answerer, "openUrl");
    boxes.install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    answerer->updateNow = (data[0] & 1) != 0;
    answerer->updateWindows = answerer->companyWindows = 0;
    answerer->browsed.clear();
    boxes.count = 0;

    const QString html = Fuzz::text(data + 1, size - 1);
    const Model expected = model(html);

    CStartStatus status(QStringLiteral("http://127.0.0.1:9/"));
    bool accepted = false;
    QObject::connect(&status, &CStartStatus::UpdateAccepted, [&accepted] { accepted = true; });
    bool threw = false;
    QString error;
    try {
        status.CheckVersionPage(html);
    } catch (const AppError &e) {
        Fuzz::checkPassedOn(e, QStringLiteral("oStartStatus.CheckVersionPage"));
        threw = true;
        error = e.description();
    }

    FUZZ_CHECK(status.NewVersion() == expected.newVersion, error);
    FUZZ_CHECK(status.UpdateURL() == expected.updateURL, status.UpdateURL().left(200));
    FUZZ_CHECK(status.Message() == expected.message, status.Message().left(200));

    if (expected.failed) {
        FUZZ_CHECK(threw, QStringLiteral("the model fails, the page did not"));
        FUZZ_CHECK(answerer->updateWindows + answerer->companyWindows == 0, error);
        FUZZ_CHECK(!accepted && answerer->browsed.isEmpty(), error);
        return 0;
    }

    FUZZ_CHECK(answerer->updateWindows == (expected.newVersion ? 1 : 0), error);
    FUZZ_CHECK(answerer->companyWindows == (!expected.newVersion && !expected.message.isEmpty() ? 1 : 0),
               error);
    const bool download = expected.newVersion && answerer->updateNow;
    if (download && !CStartStatus::IsDownloadAddress(expected.updateURL)) {
        // Not a web address: refused, nothing opened.
        FUZZ_CHECK(threw && Fuzz::innerNumber(error, QStringLiteral("oStartStatus.CheckVersionPage"))
                       == ErrorNumber::InvalidArgument,
                   error);
        FUZZ_CHECK(!accepted && answerer->browsed.isEmpty() && boxes.count == 0, error);
        return 0;
    }
    FUZZ_CHECK(!threw, error);
    FUZZ_CHECK(accepted == download, expected.updateURL.left(200));
    FUZZ_CHECK(boxes.count == (download ? 1 : 0), expected.updateURL.left(200));
    FUZZ_CHECK(answerer->browsed.size() == (download ? 1 : 0), expected.updateURL.left(200));
    for (const QUrl &url : answerer->browsed) {
        const QString scheme = url.scheme().toLower();
        FUZZ_CHECK(scheme == QLatin1String("http") || scheme == QLatin1String("https"), url.toString());
        FUZZ_CHECK(!url.host().isEmpty(), url.toString());
    }
    return 0;
}

#include "fuzz_versionreply.moc"
