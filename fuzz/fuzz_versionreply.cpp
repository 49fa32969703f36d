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
// ever handed a web address, and only when the user chose to update, after
// the box that announces it and before the update is taken as accepted.

#include "FuzzSupport.h"

#include "base/Shell.h"
#include "update/CStartStatus.h"

#include <QTemporaryDir>
#include <QUrl>

namespace {

struct Model
{
    bool failed = false, newVersion = false;
    QString updateURL, message;
};

// A 1-based position or length that a 16-bit signed integer could not hold.
bool overflows(qsizetype value) { return qint16(value) != value; }

// The text from the 1-based position after open up to close, as the status
// block is read; false when there is none or it cannot be read.
bool element(const QString &text, QLatin1String open, QLatin1String close, QString &value, bool &failed)
{
    const qsizetype r = text.indexOf(open) + 1;
    const qsizetype s = text.indexOf(close) + 1;
    const qsizetype from = r + open.size();
    failed = failed || (r > 0 && (overflows(s) || overflows(from) || overflows(s - from) || s < from));
    if (r == 0 || failed)
        return false;
    value = text.mid(from - 1, s - from);
    return true;
}

Model model(const QString &html)
{
    Model m;
    QString block, text;
    if (!element(html, QLatin1String("<status>"), QLatin1String("</status>"), block, m.failed) || block.size() <= 20)
        return m;
    m.newVersion = element(block, QLatin1String("<newversion>"), QLatin1String("</newversion>"), text, m.failed)
                   && text == QLatin1String("1");
    if (element(block, QLatin1String("<updateurl>"), QLatin1String("</updateurl>"), text, m.failed))
        m.updateURL = text;
    if (element(block, QLatin1String("<message>"), QLatin1String("</message>"), text, m.failed))
        m.message = text;
    return m;
}

// What the version check's windows, boxes and browser calls were.
struct Seen
{
    int updateWindows = 0, companyWindows = 0, boxes = 0;
    bool updateNow = false;
    QList<QUrl> browsed;
} seen;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The settings the start-status object reads live in a scratch folder.
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    static QCoreApplication app(*argc, *argv);
    MessageBoxes::setHandler([](const MessageRequest &request) {
        ++(request.kind == MessageKind::UpdateOffer ? seen.updateWindows
           : request.kind == MessageKind::MakerMessage ? seen.companyWindows : seen.boxes);
        return request.kind != MessageKind::UpdateOffer ? MessageAnswer::Ok
               : seen.updateNow                         ? MessageAnswer::Yes
                                                        : MessageAnswer::No;
    });
    // The browser comes only after the box that announces it: an address
    // handed over before it is recorded as an empty one.
    Shell::setHandler([](const QUrl &url) { seen.browsed.append(seen.boxes == 1 ? url : QUrl()); return true; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    seen = Seen{};
    seen.updateNow = (data[0] & 1) != 0;
    const QString html = Fuzz::text(data + 1, size - 1);
    const Model expected = model(html);

    CStartStatus status(QStringLiteral("http://127.0.0.1:9/"));
    bool accepted = false;
    QObject::connect(&status, &CStartStatus::UpdateAccepted, [&accepted] { accepted = !seen.browsed.isEmpty(); });
    QString error;
    try {
        status.CheckVersionPage(html);
    } catch (const AppError &e) {
        Fuzz::checkPassedOn(e, QStringLiteral("oStartStatus.CheckVersionPage"));
        error = e.description();
    }
    FUZZ_CHECK(status.NewVersion() == expected.newVersion && status.UpdateURL() == expected.updateURL
                   && status.Message() == expected.message,
               error + u' ' + status.UpdateURL().left(200) + u' ' + status.Message().left(200));

    const bool download = !expected.failed && expected.newVersion && seen.updateNow;
    // An address that is not a web address is refused and nothing is opened.
    const bool refused = download && !CStartStatus::IsDownloadAddress(expected.updateURL);
    FUZZ_CHECK(error.isEmpty() == !(expected.failed || refused), error);
    FUZZ_CHECK(!refused || error.startsWith(QStringLiteral("oStartStatus.CheckVersionPage 5 ")), error);
    FUZZ_CHECK(seen.updateWindows == (!expected.failed && expected.newVersion ? 1 : 0), error);
    FUZZ_CHECK(seen.companyWindows == (!expected.failed && !expected.newVersion && !expected.message.isEmpty() ? 1 : 0),
               error);
    const int opened = download && !refused ? 1 : 0;
    // The address handed over is the one given, blanks around it dropped.
    FUZZ_CHECK(accepted == bool(opened) && (expected.failed || seen.boxes == opened)
                   && seen.browsed == QList<QUrl>(opened, QUrl(expected.updateURL.trimmed(), QUrl::TolerantMode)),
               expected.updateURL.left(200));
    for (const QUrl &url : seen.browsed) {
        const QString scheme = url.scheme().toLower();
        FUZZ_CHECK((scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty(),
                   url.toString());
    }
    return 0;
}
