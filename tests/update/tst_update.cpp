#include "base/AppError.h"
#include "base/Version.h"
#include "update/CStartStatus.h"
#include "update/UpdateWindows.h"
#include "web/CWebConnection.h"

#include "LocalHttpServer.h"
#include "RecordingErrorReporter.h"
#include "RecordingMessageBoxes.h"

#include <QtTest>
#include <QtWidgets>

static constexpr int WaitMs = 20000;
const QString VersionPath = "/version/versioncheck.asp?app=Zorvane&version=" + Version::full()
    + "&appclass=300000&language=English";

// A reply whose status block holds the elements, padded to be long enough to be read.
static QString reply(const QString &elements)
{
    return "<html><status>" + elements + "<padding>......................</padding></status></html>";
}

class TestUpdate : public QObject
{
    Q_OBJECT

    std::optional<RecordingErrorReporter> m_reporter;
    std::optional<RecordingMessageBoxes> m_boxes;

    // The windows the version check showed, in order: "offer: <text>" or "message: <text>".
    QStringList shown() const
    {
        QStringList shown;
        for (const MessageRequest &request : m_boxes->requests())
            shown << (request.kind == MessageKind::UpdateOffer ? "offer: " : "message: ") + request.text;
        return shown;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { m_reporter.emplace(), m_boxes.emplace(); }
    void cleanup() { m_boxes.reset(), m_reporter.reset(); }

    // The service's address; a check under way is dropped by the next one,
    // or by the end.
    void versionCheckOverHttp()
    {
        LocalHttpServer server;
        server.route(VersionPath, LocalHttpServer::page(reply("<message>once</message>").toLatin1()));
        QSignalSpy received(&server, &LocalHttpServer::requestReceived);
        auto status = std::make_unique<CStartStatus>(server.url("/"));
        status->CheckVersion();
        const QPointer<CWebConnection> first = status->WebConnection();
        QVERIFY(received.wait(WaitMs)); // answered before it is dropped
        status->CheckVersion();
        QVERIFY(first.isNull());
        QVERIFY(QSignalSpy(status->WebConnection(), &CWebConnection::ResponseCompleted).wait(WaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, WaitMs);
        server.route(VersionPath, LocalHttpServer::stall());
        status->CheckVersion();
        const QPointer<CWebConnection> last = status->WebConnection();
        QVERIFY(received.wait(WaitMs));
        status.reset();
        QVERIFY(last.isNull());
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, WaitMs);
        QCOMPARE(server.requestedPaths(), QStringList(3, VersionPath));
        QCOMPARE(shown(), QStringList{"message: once"});
        QCOMPARE(m_reporter->reports(), QStringList());
        // A check that cannot start passes its failure on.
        QVERIFY_THROWS_EXCEPTION(AppError, CStartStatus(QStringLiteral("nowhere:/")).CheckVersion());
    }

    // Results stay until a later reply replaces them; a refused update
    // address is reported, not thrown at the event loop.
    void resultsStayUntilAReplyReplacesThem()
    {
        CStartStatus status;
        const auto handle = [&status](const QString &html) { status.OnVersionCheckAsynchResponse(CStartStatus::ResponseCompleted, html); };
        handle(reply("<newversion>1</newversion><updateurl>http://a/</updateurl><message>one</message>"));
        handle(reply("<newversion>0</newversion><message>two</message>"));
        QCOMPARE(shown(), (QStringList{"offer: one", "offer: two"}));
        QCOMPARE(status.UpdateURL(), QStringLiteral("http://a/"));
        m_boxes->queueAnswer(MessageAnswer::Yes);
        handle(reply("<newversion>1</newversion><updateurl>file:///etc/passwd</updateurl>"));
        QCOMPARE(m_reporter->reports().size(), 1);
    }

    void clearedFirstTimeIsRemembered()
    {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Zorvane", "Zorvane").remove("Main/FirstRunNoticeSent");
        QVERIFY(CStartStatus().IsFirstTime());
        CStartStatus().setIsFirstTime(false);
        QVERIFY(!CStartStatus().IsFirstTime());
    }

    void windowsAnswerAsPressed_data()
    {
        QTest::addColumn<MessageKind>("kind");
        QTest::addColumn<QString>("action");
        QTest::addColumn<MessageAnswer>("answer");
        QTest::newRow("Update Now") << MessageKind::UpdateOffer << "cmdUpdate" << MessageAnswer::Yes;
        QTest::newRow("Escape") << MessageKind::UpdateOffer << "escape" << MessageAnswer::No;
        QTest::newRow("Continue") << MessageKind::MakerMessage << "cmdContinue" << MessageAnswer::Ok;
    }
    void windowsAnswerAsPressed()
    {
        QFETCH(MessageKind, kind);
        QFETCH(QString, action);
        QFETCH(MessageAnswer, answer);
        QString text;
        QTimer::singleShot(0, this, [&] {
            QWidget *window = QApplication::activeModalWidget();
            text = window->findChild<QPlainTextEdit *>()->toPlainText();
            if (action == "escape")
                QTest::keyClick(window, Qt::Key_Escape);
            else
                window->findChild<QPushButton *>(action)->click();
        });
        const MessageRequest request{QString(), QStringLiteral("a\rb\r\nc"), MessageButtons::YesNo, MessageIcon::None, kind};
        QCOMPARE(UpdateWindows::show(request), answer);
        QCOMPARE(text, QStringLiteral("a\nb\nc"));
    }
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
