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

#include "base/Shell.h"
#include "update/CStartStatus.h"

#include <QCoreApplication>
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

// Answers the version check's windows and boxes through the program's
// seams, and keeps the addresses handed to the browser.
struct Answerer
{
    int updateWindows = 0;
    int companyWindows = 0;
    int boxes = 0;
    bool updateNow = false;
    QList<QUrl> browsed;
};

Answerer answerer;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The settings the start-status object reads live in a scratch folder.
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    static QCoreApplication app(*argc, *argv);
    MessageBoxes::setHandler([](const MessageRequest &request) {
        switch (request.kind) {
        case MessageKind::UpdateOffer:
            ++answerer.updateWindows;
            return answerer.updateNow ? MessageAnswer::Yes : MessageAnswer::No;
        case MessageKind::MakerMessage: ++answerer.companyWindows; break;
        case MessageKind::Box: ++answerer.boxes; break;
        }
        return MessageAnswer::Ok;
    });
    Shell::setHandler([](const QUrl &url) {
        answerer.browsed.append(url);
        return true;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    answerer = Answerer{};
    answerer.updateNow = (data[0] & 1) != 0;

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
        FUZZ_CHECK(answerer.updateWindows + answerer.companyWindows == 0, error);
        FUZZ_CHECK(!accepted && answerer.browsed.isEmpty(), error);
        return 0;
    }

    FUZZ_CHECK(answerer.updateWindows == (expected.newVersion ? 1 : 0), error);
    FUZZ_CHECK(answerer.companyWindows == (!expected.newVersion && !expected.message.isEmpty() ? 1 : 0),
               error);
    const bool download = expected.newVersion && answerer.updateNow;
    if (download && !CStartStatus::IsDownloadAddress(expected.updateURL)) {
        // Not a web address: refused, nothing opened.
        FUZZ_CHECK(threw && Fuzz::innerNumber(error, QStringLiteral("oStartStatus.CheckVersionPage"))
                       == ErrorNumber::InvalidArgument,
                   error);
        FUZZ_CHECK(!accepted && answerer.browsed.isEmpty() && answerer.boxes == 0, error);
        return 0;
    }
    FUZZ_CHECK(!threw, error);
    FUZZ_CHECK(accepted == download, expected.updateURL.left(200));
    FUZZ_CHECK(answerer.boxes == (download ? 1 : 0), expected.updateURL.left(200));
    FUZZ_CHECK(answerer.browsed.size() == (download ? 1 : 0), expected.updateURL.left(200));
    for (const QUrl &url : answerer.browsed) {
        const QString scheme = url.scheme().toLower();
        FUZZ_CHECK(scheme == QLatin1String("http") || scheme == QLatin1String("https"), url.toString());
        FUZZ_CHECK(!url.host().isEmpty(), url.toString());
    }
    return 0;
}
