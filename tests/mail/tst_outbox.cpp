// The outbox's files: one per message, read back in the order they were
// written and byte for byte, kept across a restart, damaged ones set aside
// without stopping the rest. (Expiry and a full disk: tst_outboxcycle.)

#include "mail/Outbox.h"

#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestOutbox : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    QDateTime m_now = QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);

    QString folder() const { return m_folder->filePath(QStringLiteral("outbox")); }
    Outbox outbox() { return Outbox(folder(), [this] { return m_now; }); }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

private Q_SLOTS:
    void init() { m_folder = std::make_unique<QTemporaryDir>(); }

    void messagesComeBackInOrderByteForByte()
    {
        // Line ends of every kind, a dot line, an empty line (the header's
        // end, were it taken for one) and bytes above 127.
        const QString body = QString::fromLatin1("caf\xe9 \r\n.\r\n\n\nlast\rline\xff");
        Outbox box = outbox();
        const QString first = box.add(QStringLiteral("a@example.com"), QStringLiteral("seller1 Auction Update"), body).id;
        m_now = m_now.addSecs(1);
        box.add(QString::fromLatin1("b\xe9@example.com"), QStringLiteral("Zorvane Auction Update"), QStringLiteral("second"));
        QVERIFY(box.remove(box.add(QStringLiteral("c@example.com"), {}, {}).id));
        const QString last = box.add(QStringLiteral("a@example.com"), QStringLiteral("seller2 Auction Update"), {}).id;
        QVERIFY2(last.startsWith(QStringLiteral("000000004-")), "the removed message's name is not used again");

        // As a program started again finds them.
        const QList<Outbox::Message> waiting = outbox().messages();
        QCOMPARE(waiting.size(), 3);
        QCOMPARE(outbox().count(), 3);
        QCOMPARE(waiting.at(0).id, first);
        QCOMPARE(waiting.at(0).recipient, QStringLiteral("a@example.com"));
        QCOMPARE(waiting.at(0).subject, QStringLiteral("seller1 Auction Update"));
        QCOMPARE(waiting.at(0).body, body);
        QCOMPARE(waiting.at(0).created, QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC));
        QCOMPARE(waiting.at(0).attempts, 0);
        QCOMPARE(waiting.at(1).recipient, QString::fromLatin1("b\xe9@example.com"));
        QCOMPARE(waiting.at(2).id, last);
        QVERIFY(first.endsWith(QStringLiteral("-20240501T100000Z.txt")));
        QVERIFY2(TestFiles::read(folder() + u'/' + first).endsWith("\n\ncaf\xe9 \r\n.\r\n\n\nlast\rline\xff"),
                 "the body is stored as the bytes that go on the wire");
    }

    void failuresAreCountedOnlyWhileTheMessageIsThere()
    {
        Outbox box = outbox();
        Outbox::Message message = box.add(QStringLiteral("a@example.com"), QStringLiteral("s"), QStringLiteral("body"));
        QVERIFY(box.recordFailure(message, QStringLiteral("421 busy\r\n421 try later")));
        QVERIFY(box.recordFailure(message, QStringLiteral("Could not connect")));
        const Outbox::Message read = box.messages().at(0);
        QCOMPARE(read.attempts, 2);
        QCOMPARE(read.lastError, QStringLiteral("Could not connect"));
        QCOMPARE(read.body, QStringLiteral("body"));

        // Discarded meanwhile: a failure does not bring it back.
        QVERIFY(box.remove(message.id));
        QVERIFY(!box.recordFailure(message, QStringLiteral("late")));
        QVERIFY(files().isEmpty());
    }

    void damagedFilesAreSetAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not ours") << QByteArray("Subject: hello\n\nbody");
        QTest::newRow("header without end") << QByteArray("Zorvane-Outbox: 1\nRecipient: a@example.com\n");
        QTest::newRow("no recipient") << QByteArray("Zorvane-Outbox: 1\nCreated: 2024-05-01T10:00:00.000Z\n\nbody");
        QTest::newRow("no time") << QByteArray("Zorvane-Outbox: 1\nRecipient: a@example.com\nCreated: soon\n\nbody");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe\n\n\x01", 6);
    }

    void damagedFilesAreSetAside()
    {
        QFETCH(QByteArray, bytes);
        Outbox box = outbox();
        box.add(QStringLiteral("a@example.com"), QStringLiteral("before"), {});
        const QString damaged = QStringLiteral("000000007-20240501T100000Z.txt");
        TestFiles::write(folder() + u'/' + damaged, bytes);
        box.add(QStringLiteral("a@example.com"), QStringLiteral("after"), {});

        const QList<Outbox::Message> waiting = box.messages();
        QCOMPARE(waiting.size(), 2);
        QCOMPARE(waiting.at(1).subject, QStringLiteral("after"));
        QVERIFY(!waiting.at(1).id.startsWith(QStringLiteral("000000007-"))); // never a name that is there
        QCOMPARE(TestFiles::read(folder() + u'/' + damaged + QStringLiteral(".damaged")), bytes);
        QCOMPARE(box.count(), 2);
    }
};

QTEST_GUILESS_MAIN(TestOutbox)
#include "tst_outbox.moc"
