#include "config/CCustomBrand.h"
#include "base/ProgramFolder.h"
#include "base/AppError.h"
#include "RecordingMessageBoxes.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString Crlf = QStringLiteral("\r\n");

QString problemText(const QString &description)
{
    return QStringLiteral("There appears to be a problem with a file ") + Crlf
        + QStringLiteral("file included in the setup of this ") + Crlf
        + QStringLiteral("application.  Please try re-installing ") + Crlf
        + QStringLiteral("the software.  ") + Crlf + Crlf + description;
}

const QByteArray FiveTags = "<CompanyName>Acme Auctions</CompanyName>"
                            "<CompanyURL>http://www.acme.example</CompanyURL>"
                            "<SupportEmail>help@acme.example</SupportEmail>"
                            "<SubscribeEmail>join@acme.example</SubscribeEmail>"
                            "<ErrorReportEmail>bugs@acme.example</ErrorReportEmail>";

QStringList brandValues()
{
    return {Brand::CompanyName, Brand::CompanyURL, Brand::SupportEmail, Brand::SubscribeEmail,
            Brand::ErrorReportEmail};
}

const QStringList AcmeValues{QStringLiteral("Acme Auctions"), QStringLiteral("http://www.acme.example"),
                             QStringLiteral("help@acme.example"), QStringLiteral("join@acme.example"),
                             QStringLiteral("bugs@acme.example")};

const QStringList Defaults{QStringLiteral("Pellridge"), QStringLiteral("http://www.pellridge.com"),
                           QStringLiteral("support@pellridge.com"), QStringLiteral("subscribe@pellridge.com"),
                           QStringLiteral("errors@pellridge.com")};

} // namespace

class TestCustomBrand : public QObject
{
    Q_OBJECT

    QTemporaryDir *m_folder = nullptr;

    QString brandFile() const { return m_folder->path() + QStringLiteral("/AppData"); }
    void writeBrandFile(const QByteArray &bytes) { TestFiles::write(brandFile(), bytes); }

private Q_SLOTS:
    void valuesAreEmptyBeforeInitialize()
    {
        // Runs first: nothing has initialised the values in this process yet.
        QCOMPARE(brandValues(), QStringList(5));
    }

    void init()
    {
        m_folder = new QTemporaryDir;
        QVERIFY(m_folder->isValid());
        ProgramFolder::setPath(m_folder->path());
    }

    void cleanup()
    {
        ProgramFolder::setPath({});
        delete m_folder;
        m_folder = nullptr;
    }

    void noFileGivesDefaultsSilently()
    {
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QVERIFY(!brand.BrandFileFound());
        QCOMPARE(brandValues(), Defaults);
        QVERIFY(boxes.requests().isEmpty());
    }

    void unreadableAppDataCountsAsNoFile_data()
    {
        QTest::addColumn<bool>("pipe");
        QTest::newRow("directory") << false;
        QTest::newRow("named pipe") << true; // reading it would wait for a writer
    }

    void unreadableAppDataCountsAsNoFile()
    {
        QFETCH(bool, pipe);
        if (pipe)
            QCOMPARE(::mkfifo(QFile::encodeName(brandFile()).constData(), 0600), 0);
        else
            QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("AppData")));
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QVERIFY(!brand.BrandFileFound());
        QCOMPARE(brandValues(), Defaults);
        QVERIFY(boxes.requests().isEmpty());
    }

    void fileLayoutsGiveTheSameValues_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("one line") << FiveTags;
        QTest::newRow("one line, CR LF at end") << FiveTags + "\r\n";
        QByteArray crlf = FiveTags;
        crlf.replace("><", ">\r\n<");
        QTest::newRow("several lines CR LF") << crlf;
        QByteArray lf = FiveTags;
        lf.replace("><", ">\n<");
        QTest::newRow("several lines LF") << lf;
        QByteArray cr = FiveTags;
        cr.replace("><", ">\r<");
        QTest::newRow("several lines CR") << cr;
        QTest::newRow("other text around, any order")
            << QByteArray("<Brand>\r\n<ErrorReportEmail>bugs@acme.example</ErrorReportEmail>\r\n"
                          "junk <SubscribeEmail>join@acme.example</SubscribeEmail>"
                          "<SupportEmail>help@acme.example</SupportEmail>\r\n"
                          "<CompanyURL>http://www.acme.example</CompanyURL><Other>x</Other>\r\n"
                          "<CompanyName>Acme Auctions</CompanyName>\r\n</Brand>\r\n");
        QTest::newRow("values broken over two lines")
            << QByteArray("<CompanyName>Acme \r\nAuctions</CompanyName>"
                          "<CompanyURL>http://www.ac\r\nme.example</CompanyURL>"
                          "<SupportEmail>help@acme.example</Support\nEmail>"
                          "<SubscribeEmail>join@acme.example</SubscribeEmail>"
                          "<ErrorReportEmail>bugs@acme.example</ErrorReportEmail>");
    }

    void fileLayoutsGiveTheSameValues()
    {
        QFETCH(QByteArray, contents);
        writeBrandFile(contents);
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QVERIFY(brand.BrandFileFound());
        QCOMPARE(brandValues(), AcmeValues);
        QVERIFY(boxes.requests().isEmpty());
        QVERIFY(!brand.BrandText().contains(u'\r'));
        QVERIFY(!brand.BrandText().contains(u'\n'));
    }

    void valuesKeepTheirBytesAndBlanks()
    {
        // 8-bit text, one character per byte; nothing trimmed or unescaped.
        writeBrandFile("<CompanyName> Caf\xe9 &amp; Co </CompanyName>");
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QCOMPARE(Brand::CompanyName, QStringLiteral(" Caf\u00e9 &amp; Co "));
    }

    void emptyElementIsEmptyWithoutMessage()
    {
        QByteArray contents = FiveTags;
        contents.replace("help@acme.example", "");
        writeBrandFile(contents);
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QCOMPARE(Brand::SupportEmail, QString());
        QCOMPARE(Brand::CompanyName, QStringLiteral("Acme Auctions"));
        QVERIFY(boxes.requests().isEmpty());
    }

    void missingTagShowsMessageOnceAndStaysEmpty()
    {
        QByteArray contents = FiveTags;
        contents.replace("<SubscribeEmail>join@acme.example</SubscribeEmail>", "");
        writeBrandFile(contents);
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QCOMPARE(boxes.requests().size(), 1);
        const MessageRequest &request = boxes.requests().first();
        QCOMPARE(request.title, QStringLiteral("Zorvane"));
        QCOMPARE(request.buttons, MessageButtons::Ok);
        QCOMPARE(request.text, problemText(QStringLiteral("Invalid procedure call or argument")));
        QCOMPARE(Brand::SubscribeEmail, QString()); // no fallback to the default
        QCOMPARE(Brand::ErrorReportEmail, QStringLiteral("bugs@acme.example")); // went on after OK
    }

    void emptyFileShowsFiveMessages()
    {
        writeBrandFile({});
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QVERIFY(brand.BrandFileFound());
        QCOMPARE(brandValues(), QStringList(5));
        QCOMPARE(boxes.requests().size(), 5);
    }

    void lowerCaseTagsAreNotFound()
    {
        writeBrandFile(FiveTags.toLower());
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QCOMPARE(brandValues(), QStringList(5));
        QCOMPARE(boxes.requests().size(), 5);
    }

    // The extraction counts one character after the key and two before the
    // repeated key: whatever those characters are.
    void extractionPositions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("messages");
        QTest::newRow("plain") << QStringLiteral("<K>v</K>") << QStringLiteral("v") << 0;
        QTest::newRow("at start, no brackets") << QStringLiteral("K=value..K") << QStringLiteral("value") << 0;
        QTest::newRow("empty") << QStringLiteral("<K></K>") << QString() << 0;
        QTest::newRow("first of several") << QStringLiteral("<K>a</K><K>b</K>") << QStringLiteral("a") << 0;
        QTest::newRow("key inside value ends it") << QStringLiteral("<K>aKb</K>") << QString() << 1;
        QTest::newRow("key once") << QStringLiteral("<K>abc") << QString() << 1;
        QTest::newRow("key absent") << QStringLiteral("abc") << QString() << 1;
        QTest::newRow("closing tag too close") << QStringLiteral("<K>K") << QString() << 1;
        QTest::newRow("empty text") << QString() << QString() << 1;
    }

    void extractionPositions()
    {
        QFETCH(QString, text);
        QFETCH(QString, value);
        QFETCH(int, messages);
        RecordingMessageBoxes boxes;
        QCOMPARE(CCustomBrand::GetBrandValue(text, QStringLiteral("K")), value);
        QCOMPARE(boxes.requests().size(), messages);
    }

    void positionsAbove32767Overflow()
    {
        // The first tag sits in the first 32,767 characters and is read; the
        // last one starts beyond and fails like a missing tag, with the
        // overflow as description.
        QByteArray contents = "<CompanyName>Acme Auctions</CompanyName>"
                              "<CompanyURL>http://www.acme.example</CompanyURL>"
                              "<SupportEmail>help@acme.example</SupportEmail>"
                              "<SubscribeEmail>join@acme.example</SubscribeEmail>";
        contents += QByteArray(33000, 'x');
        contents += "<ErrorReportEmail>bugs@acme.example</ErrorReportEmail>";
        writeBrandFile(contents);
        RecordingMessageBoxes boxes;
        CCustomBrand brand;
        brand.Initialize();
        QCOMPARE(Brand::CompanyName, QStringLiteral("Acme Auctions"));
        QCOMPARE(Brand::SubscribeEmail, QStringLiteral("join@acme.example"));
        QCOMPARE(Brand::ErrorReportEmail, QString());
        QCOMPARE(boxes.requests().size(), 1);
        QCOMPARE(boxes.requests().first().text, problemText(QStringLiteral("Overflow")));
    }

    void otherFailuresArePassedOn()
    {
        // A failure outside the tag extraction (here: the message box itself
        // failing) leaves Initialize as the program's own error.
        writeBrandFile("no tags at all");
        const auto previous = MessageBoxes::setHandler([](const MessageRequest &) -> MessageAnswer {
            throw AppError::platform(ErrorNumber::PermissionDenied);
        });
        CCustomBrand brand;
        try {
            brand.Initialize();
            MessageBoxes::setHandler(previous);
            QFAIL("nothing raised");
        } catch (const AppError &error) {
            MessageBoxes::setHandler(previous);
            QCOMPARE(error.number(), ErrorNumber::Component);
            QCOMPARE(error.source(), QString());
            QCOMPARE(error.description(), QStringLiteral("CCustomBrand.Initialize 70 Permission denied"));
        }
    }

    void closingTagBeyondLimitOverflows()
    {
        const QString key = QStringLiteral("Key");
        // Opening tag near the start, closing tag past 32,767.
        const QString text = u'<' + key + u'>' + QString(32800, u'v') + QStringLiteral("</") + key + u'>';
        RecordingMessageBoxes boxes;
        QCOMPARE(CCustomBrand::GetBrandValue(text, key), QString());
        QCOMPARE(boxes.requests().size(), 1);
        QCOMPARE(boxes.requests().first().text, problemText(QStringLiteral("Overflow")));

        // Right at the limit still works: the closing key starts at 32,767.
        const int valueLength = 32767 - 8; // "<Key>" is 5 characters, "</" 2, then "K"
        const QString atLimit = u'<' + key + u'>' + QString(valueLength, u'v') + QStringLiteral("</") + key + u'>';
        QCOMPARE(atLimit.indexOf(QStringLiteral("</Key>")) + 3, 32767);
        QCOMPARE(CCustomBrand::GetBrandValue(atLimit, key).size(), valueLength);
        QCOMPARE(boxes.requests().size(), 1);
    }
};

QTEST_MAIN(TestCustomBrand)
#include "tst_customBrand.moc"
