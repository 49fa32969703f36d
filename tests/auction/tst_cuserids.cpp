#include "auction/CUserIDs.h"
#include "base/AppError.h"

#include "RaisedError.h"

#include <QTest>

#include <optional>

namespace {

QStringList idsOf(const CUserIDs &list)
{
    QStringList ids;
    for (const CUserID &entry : list)
        ids << entry.UserID();
    return ids;
}

const QString DuplicateKeyText =
    QStringLiteral("457 This key is already associated with an element of this collection");

} // namespace

class TestCUserIDs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newEntryStartsWithFirstScanAndEmptyLists()
    {
        CUserIDs list;
        CUserID *entry = list.Add(QStringLiteral("seller1"));
        QVERIFY(entry);
        QCOMPARE(entry->UserID(), QStringLiteral("seller1"));
        QVERIFY(entry->FirstScan());
        QCOMPARE(entry->Items().Count(), 0);
        QCOMPARE(entry->OldItems().Count(), 0);
        entry->Items().Add(QStringLiteral("1"));
        entry->setFirstScan(false);
        QCOMPARE(list.find(QStringLiteral("SELLER1"))->Items().Count(), 1);
        QVERIFY(!list.find(QStringLiteral("seller1"))->FirstScan());
    }

    void exactRepeatAddsNothingQuietly()
    {
        CUserIDs list;
        QVERIFY(list.Add(QStringLiteral("seller1")));
        QCOMPARE(list.Add(QStringLiteral("seller1")), nullptr);
        QCOMPARE(list.Count(), 1);
    }

    void letterCaseVariantRaisesDuplicateKey()
    {
        CUserIDs list;
        list.Add(QStringLiteral("seller1"));
        const auto error = raisedBy([&] { list.Add(QStringLiteral("Seller1")); });
        QVERIFY(error);
        QCOMPARE(error->number(), ErrorNumber::Component);
        QCOMPARE(error->description(), QStringLiteral("CUserIDs.Add ") + DuplicateKeyText);
        QCOMPARE(idsOf(list), QStringList{QStringLiteral("seller1")});
    }

    void idsAreTakenAsGiven()
    {
        CUserIDs list;
        QVERIFY(list.Add(QString()));
        QVERIFY(list.Add(QStringLiteral(" a ")));
        QVERIFY(list.Add(QStringLiteral("a")));
        QCOMPARE(idsOf(list), (QStringList{QString(), QStringLiteral(" a "), QStringLiteral("a")}));
    }

    void idsWithLineBreaksAreRefused()
    {
        // They would come back from the list file as two entries.
        CUserIDs list;
        const auto error = raisedBy([&] { list.LoadFromSpaceDelimitedString(QStringLiteral("a\nb c")); });
        QVERIFY(error);
        QCOMPARE(error->description(), QStringLiteral("CUserIDs.LoadFromSpaceDelimitedString -2147221504 "
                                                      "CUserIDs.Add 5 Invalid procedure call or argument"));
        QVERIFY(raisedBy([&] { list.Add(QStringLiteral("x\ry")); }));
        QCOMPARE(list.Count(), 0);
    }

    void removeIgnoresCaseAndKeepsOrder()
    {
        CUserIDs list;
        list.Add(QStringLiteral("a"));
        list.Add(QStringLiteral("seller1"));
        list.Add(QStringLiteral("b"));
        list.Remove(QStringLiteral("SELLER1"));
        QCOMPARE(idsOf(list), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(list.find(QStringLiteral("seller1")), nullptr);
        // The key is free again, in any letter case.
        QVERIFY(list.Add(QStringLiteral("Seller1")));
        QCOMPARE(idsOf(list), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("Seller1")}));
    }

    void removeOfAnAbsentIdRaisesInvalidArgument()
    {
        CUserIDs list;
        list.Add(QStringLiteral("a"));
        const auto error = raisedBy([&] { list.Remove(QStringLiteral("b")); });
        QVERIFY(error);
        QCOMPARE(error->number(), ErrorNumber::Component);
        QCOMPARE(error->description(), QStringLiteral("CUserIDs.Remove 5 Invalid procedure call or argument"));
        QCOMPARE(list.Count(), 1);
    }

    void createIdStringEndsInABlank()
    {
        CUserIDs list;
        QCOMPARE(list.CreateIDString(), QString());
        list.Add(QStringLiteral("a"));
        list.Add(QStringLiteral("b"));
        QCOMPARE(list.CreateIDString(), QStringLiteral("a b "));
    }

    void spaceDelimitedStrings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("runs of blanks") << QStringLiteral("  a  b ") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("one id") << QStringLiteral(" solo ") << QStringList{QStringLiteral("solo")};
        QTest::newRow("empty") << QString() << QStringList{};
        QTest::newRow("blanks only") << QStringLiteral("    ") << QStringList{};
        QTest::newRow("tabs are not blanks") << QStringLiteral("a\tb c") << QStringList{QStringLiteral("a\tb"), QStringLiteral("c")};
        QTest::newRow("repeat") << QStringLiteral("a b a") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    }

    void spaceDelimitedStrings()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, ids);
        CUserIDs list;
        list.LoadFromSpaceDelimitedString(text);
        QCOMPARE(idsOf(list), ids);
    }

    void spaceDelimitedStringLimits()
    {
        CUserIDs list;
        // 32,767 characters are handled; one more overflows.
        QString longest = QString(32765, u'x') + QStringLiteral(" y");
        list.LoadFromSpaceDelimitedString(QStringLiteral("  ") + longest + QStringLiteral("  "));
        QCOMPARE(list.Count(), 2);
        const auto overflow = raisedBy([&] { list.LoadFromSpaceDelimitedString(longest + QStringLiteral("z")); });
        QVERIFY(overflow);
        QCOMPARE(overflow->description(), QStringLiteral("CUserIDs.LoadFromSpaceDelimitedString 6 Overflow"));
        QCOMPARE(list.Count(), 2);

        const auto duplicate = raisedBy([&] { list.LoadFromSpaceDelimitedString(QStringLiteral("new Y")); });
        QVERIFY(duplicate);
        QCOMPARE(duplicate->description(),
                 QStringLiteral("CUserIDs.LoadFromSpaceDelimitedString -2147221504 CUserIDs.Add ") + DuplicateKeyText);
        // The ID before the refused one stays.
        QVERIFY(list.find(QStringLiteral("new")));
    }

    void bidderPage()
    {
        const QString link = QStringLiteral("<a href=\"x?MfcISAPICommand=Email&amp;requested=");
        const QString page = QStringLiteral("<a href=\"x?Email&amp;requested=early&amp;\">ignored</a> 40% ")
                             + link + QStringLiteral("==bob99~~&amp;y=1\">bob99</a> ") + link
                             + QStringLiteral("==carol~~&amp;y=1\">carol</a>");
        CUserIDs list;
        list.LoadFromBidderPage(page);
        QCOMPARE(idsOf(list), (QStringList{QStringLiteral("bob99"), QStringLiteral("carol")}));

        CUserIDs none;
        none.LoadFromBidderPage(QStringLiteral("Email&amp;requested=xxbob~~&amp;"));
        QCOMPARE(none.Count(), 0);

        const auto error = raisedBy([&] { none.LoadFromBidderPage(QStringLiteral("40% Email&amp;requested=xxbob")); });
        QVERIFY(error);
        QCOMPARE(error->description(), QStringLiteral("CUserIDs.LoadFromBidderPage 5 Invalid procedure call or argument"));
    }

    void ticketPage()
    {
        CUserIDs list;
        list.LoadFromTicketPage(QStringLiteral("<input name=\"event\" value=\"Show 1\">"
                                               "<input name=\"event\" value=\"\">"
                                               "<input name=\"event\" value=\"Show 2\">"
                                               "<input name=\"event\" value=\"Show 1\">"));
        QCOMPARE(idsOf(list), (QStringList{QStringLiteral("Show 1"), QString(), QStringLiteral("Show 2")}));

        CUserIDs broken;
        const auto error = raisedBy([&] { broken.LoadFromTicketPage(QStringLiteral("\"event\" value=\"open")); });
        QVERIFY(error);
        QCOMPARE(error->description(), QStringLiteral("CUserIDs.LoadFromTicketPage 5 Invalid procedure call or argument"));
        QCOMPARE(broken.Count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCUserIDs)
#include "tst_cuserids.moc"
