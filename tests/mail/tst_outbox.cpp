// The outbox's files: one per message, read back in the order they were
// written and byte for byte, kept across a restart, damaged ones set aside
// without stopping the rest. (Expiry, and an outbox that cannot be written:
// tests/monitor/tst_checkcycle.)

#include "mail/Outbox.h"

#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestOutbox : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QDateTime m_now = QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);

    QString path(const QString &name) const { return m_folder.filePath(QStringLiteral("outbox/") + name); }
    Outbox outbox() { return Outbox(path({}), [this] { return m_now; }); }

private Q_SLOTS:
    void messagesComeBackInOrderByteForByte()
    {
        // Line ends of every kind, a dot line, an empty line (the header's
        // end, were it taken for one) and bytes above 127.
        const QString body = QString::fromLatin1("caf\xe9 \r\n.\r\n\n\nlast\rline\xff");
        Outbox box = outbox();
        Outbox::Message first = box.add(QStringLiteral("a@example.com"), QStringLiteral("seller1\r\nAuction Update"), body);
        m_now = m_now.addSecs(1);
        Outbox::Message second = box.add(QString::fromLatin1("b\xe9@example.com"), {}, {});
        QVERIFY(box.recordFailure(second, QStringLiteral("421 busy\r\n421 later")));
        QVERIFY(box.remove(box.add(QStringLiteral("c@example.com"), {}, {}).id));
        // Files that cannot be messages are set aside without stopping the rest.
        const QList<QByteArray> damaged{{}, "Subject: hello\n\nbody", "Zorvane-Outbox: 1\nRecipient: a@example.com\n",
                                        "Zorvane-Outbox: 1\nCreated: 2024-05-01T10:00:00.000Z\n\nbody",
                                        "Zorvane-Outbox: 1\nRecipient: a@example.com\nCreated: soon\n\nbody", QByteArray("\x00\xff\n\n\x01", 5)};
        for (int i = 0; i < damaged.size(); ++i)
            TestFiles::write(path(QStringLiteral("00000001%1-20240501T100000Z.txt").arg(i)), damaged[i]);
        TestFiles::write(path(QStringLiteral("000000019-20240501T100000Z.txt.new")), "cut short");
        // As a program started again finds them: no name given twice, the
        // temporary file of a write cut short gone.
        Outbox again = outbox();
        QVERIFY(again.add(QStringLiteral("d@example.com"), {}, {}).id.startsWith(QStringLiteral("000000020-")));
        const QList<Outbox::Message> waiting = again.messages();
        const auto fields = [](const Outbox::Message &m) {
            return QStringList{m.id, m.recipient, m.subject, m.body, m.created.toString(Qt::ISODate), QString::number(m.attempts), m.lastError};
        };
        QCOMPARE(fields(waiting.value(0)), (QStringList{first.id, QStringLiteral("a@example.com"), QStringLiteral("seller1 Auction Update"), body, QStringLiteral("2024-05-01T10:00:00Z"), QStringLiteral("0"), {}}));
        QCOMPARE(fields(waiting.value(1)), (QStringList{second.id, QString::fromLatin1("b\xe9@example.com"), {}, {}, QStringLiteral("2024-05-01T10:00:01Z"), QStringLiteral("1"), QStringLiteral("421 busy 421 later")}));
        QCOMPARE(waiting.size(), 3);
        QCOMPARE(again.count(), waiting.size());
        for (int i = 0; i < damaged.size(); ++i)
            QCOMPARE(TestFiles::read(path(QStringLiteral("00000001%1-20240501T100000Z.txt.damaged").arg(i))), damaged[i]);
        QCOMPARE(QDir(path({})).entryList(QDir::Files).size(), 3 + damaged.size());
        // The body is stored as the bytes that go on the wire.
        QVERIFY(TestFiles::read(path(first.id)).endsWith("\n\ncaf\xe9 \r\n.\r\n\n\nlast\rline\xff"));
        // Discarded meanwhile: a failure does not bring it back.
        QVERIFY(again.remove(first.id));
        QVERIFY(!again.recordFailure(first, QStringLiteral("late")) && !again.contains(first.id));
    }
};

QTEST_GUILESS_MAIN(TestOutbox)
#include "tst_outbox.moc"
