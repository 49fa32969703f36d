// The brand file's values and messages are checked by fuzz_brand over its
// seeds; here: what happens without a readable file, what the user is told,
// and failures outside the tag extraction.

#include "config/CCustomBrand.h"
#include "base/AppError.h"
#include "base/ProgramFolder.h"

#include "RecordingMessageBoxes.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestCustomBrand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

    QString brandFile() const { return m_folder.path() + QStringLiteral("/AppData"); }

private Q_SLOTS:
    void init()
    {
        QDir(m_folder.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_folder.path()));
        ProgramFolder::setPath(m_folder.path());
    }

    void withoutABrandFileTheDefaultsHoldSilently_data()
    {
        QTest::addColumn<QString>("appData");
        QTest::newRow("no file") << QString();
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("named pipe") << QStringLiteral("pipe"); // reading it would wait for a writer
    }

    void withoutABrandFileTheDefaultsHoldSilently()
    {
        QFETCH(QString, appData);
        if (appData == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(brandFile()));
        else if (appData == QLatin1String("pipe"))
            QCOMPARE(::mkfifo(QFile::encodeName(brandFile()).constData(), 0600), 0);
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QVERIFY(!brand.BrandFileFound());
        QCOMPARE((QStringList{Brand::CompanyName, Brand::CompanyURL, Brand::SupportEmail, Brand::SubscribeEmail,
                              Brand::ErrorReportEmail}),
                 (QStringList{"Pellridge", "http://www.pellridge.com", "support@pellridge.com",
                              "subscribe@pellridge.com", "errors@pellridge.com"}));
        QVERIFY(boxes.requests().isEmpty());
    }

    void aValueThatCannotBeReadIsReported_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("description");
        QTest::newRow("missing tag") << QByteArray("<CompanyURL>x</CompanyURL>") << "Invalid procedure call or argument";
        QTest::newRow("beyond 32,767 characters")
            << QByteArray(33000, 'x') + "<CompanyName>Acme</CompanyName>" << "Overflow";
    }

    void aValueThatCannotBeReadIsReported()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, description);
        RecordingMessageBoxes boxes;
        QCOMPARE(CCustomBrand::GetBrandValue(QString::fromLatin1(contents), QStringLiteral("CompanyName")), QString());
        QCOMPARE(boxes.requests().size(), 1);
        const MessageRequest &request = boxes.requests().first();
        QCOMPARE(request.title, QStringLiteral("Zorvane"));
        QCOMPARE(request.buttons, MessageButtons::Ok);
        QVERIFY2(request.text.startsWith(QStringLiteral("There appears to be a problem with a file"))
                     && request.text.endsWith(QStringLiteral("software.  \r\n\r\n") + description),
                 qPrintable(request.text));
    }

    void otherFailuresArePassedOn()
    {
        // Here the message box itself fails.
        TestFiles::write(brandFile(), "no tags at all");
        const auto previous = MessageBoxes::setHandler([](const MessageRequest &) -> MessageAnswer {
            throw AppError::platform(ErrorNumber::PermissionDenied);
        });
        CCustomBrand brand;
        QString description;
        try {
            brand.Initialize();
        } catch (const AppError &error) {
            QCOMPARE(error.number(), ErrorNumber::Component);
            description = error.description();
        }
        MessageBoxes::setHandler(previous);
        QCOMPARE(description, QStringLiteral("CCustomBrand.Initialize 70 Permission denied"));
    }
};

QTEST_MAIN(TestCustomBrand)
#include "tst_customBrand.moc"
