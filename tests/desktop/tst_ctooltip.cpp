#include "desktop/CToolTip.h"

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QVBoxLayout>

namespace {

// What Qt sends when the mouse rests over a widget.
void requestToolTip(QWidget *widget, QPoint local = QPoint(5, 5))
{
    QHelpEvent event(QEvent::ToolTip, local, widget->mapToGlobal(local));
    QApplication::sendEvent(widget, &event);
}

QLabel *titleOf(QWidget *tip)
{
    return tip->findChild<QLabel *>(QStringLiteral("lblTitle"));
}

QLabel *textOf(QWidget *tip)
{
    return tip->findChild<QLabel *>(QStringLiteral("lblText"));
}

// A small window with two controls, as the main window has them.
struct Window
{
    Window()
    {
        auto *layout = new QVBoxLayout(&widget);
        list = new QListWidget;
        list->addItems({QStringLiteral("seller1"), QStringLiteral("seller2")});
        edit = new QLineEdit;
        layout->addWidget(list);
        layout->addWidget(edit);
        widget.resize(300, 240);
        widget.move(100, 100);
        widget.show();
    }
    QWidget widget;
    QListWidget *list;
    QLineEdit *edit;
};

} // namespace

class TestCToolTip : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaults()
    {
        CToolTip tip;
        QCOMPARE(tip.Title(), QString());
        QCOMPARE(tip.ForeColor(), 0x80000017u);
        QCOMPARE(tip.BackColor(), 0x80000018u);
        QCOMPARE(tip.HwndParentControl(), nullptr);
        QCOMPARE(tip.Centered(), false);
        QCOMPARE(tip.Style(), 0);
        QCOMPARE(tip.Text(), QString());
        QCOMPARE(tip.MultiLine(), true);
        QCOMPARE(tip.SystemToolTipForeColor(), 0x80000017u);
        QCOMPARE(tip.SystemToolTipBackColor(), 0x80000018u);
        QCOMPARE(tip.tipWindow(), nullptr);
    }

    void createWithoutControlRemovesAnEarlierTip()
    {
        Window window;
        CToolTip tip;
        QVERIFY(tip.Create()); // nothing to attach to: still a success
        QCOMPARE(tip.tipWindow(), nullptr);

        tip.setHwndParentControl(window.list);
        tip.setText(QStringLiteral("Sellers"));
        QVERIFY(tip.Create());
        QPointer<QWidget> first = tip.tipWindow();
        QVERIFY(first);

        tip.setHwndParentControl(nullptr);
        QVERIFY(tip.Create());
        QVERIFY(!first);
        QCOMPARE(tip.tipWindow(), nullptr);
        requestToolTip(window.list); // the list no longer answers with our tip
        QVERIFY(window.widget.findChildren<QLabel *>(QStringLiteral("lblText")).isEmpty());
    }

    void secondCreateReplacesTheFirst()
    {
        Window window;
        CToolTip tip;
        tip.setHwndParentControl(window.list);
        tip.setText(QStringLiteral("one"));
        QVERIFY(tip.Create());
        QPointer<QWidget> first = tip.tipWindow();

        tip.setHwndParentControl(window.edit);
        tip.setText(QStringLiteral("two"));
        QVERIFY(tip.Create());
        QVERIFY(!first);
        QCOMPARE(window.widget.findChildren<QWidget *>(QStringLiteral("toolTipWindow")).size(), 1);

        // Only the new control shows the tip now.
        requestToolTip(window.list);
        QVERIFY(!tip.tipWindow()->isVisible());
        requestToolTip(window.edit);
        QVERIFY(tip.tipWindow()->isVisible());
        QCOMPARE(textOf(tip.tipWindow())->text(), QStringLiteral("two"));

        // Re-creating on the same control keeps one filter and one window.
        QVERIFY(tip.Create());
        QVERIFY(tip.Create());
        QCOMPARE(window.widget.findChildren<QWidget *>(QStringLiteral("toolTipWindow")).size(), 1);
    }

    void shownTipHoldsTitleAndLines()
    {
        Window window;
        CToolTip tip;
        tip.setHwndParentControl(window.list);
        tip.setTitle(QStringLiteral("Sellers to check"));
        tip.setText(QStringLiteral("These eBay sellers' accounts will \r\nbe checked & <b>notified</b>\r\n\r\nend"));
        tip.setStyle(1);
        QVERIFY(tip.Create());

        QWidget *shown = tip.tipWindow();
        QVERIFY(!shown->isVisible());
        requestToolTip(window.list);
        QVERIFY(shown->isVisible());
        QVERIFY(shown->isWindow());
        QVERIFY(shown->windowFlags().testFlag(Qt::ToolTip));

        QLabel *title = titleOf(shown);
        QLabel *text = textOf(shown);
        QVERIFY(title->isVisible());
        QCOMPARE(title->text(), QStringLiteral("Sellers to check"));
        QVERIFY(title->font().bold());
        QVERIFY(!text->font().bold());
        QCOMPARE(text->text(), QStringLiteral("These eBay sellers' accounts will \nbe checked & <b>notified</b>\n\nend"));
        // Markup and ampersands are shown as written.
        QCOMPARE(text->textFormat(), Qt::PlainText);
        QCOMPARE(title->textFormat(), Qt::PlainText);
        QVERIFY(!text->wordWrap());
        QVERIFY(text->height() > 3 * text->fontMetrics().height()); // four lines

        // The tip stands below the pointer.
        const QPoint pointer = window.list->mapToGlobal(QPoint(5, 5));
        QVERIFY(shown->geometry().top() > pointer.y());

        saveShot(shown, QStringLiteral("tooltip-balloon.png"));

        QTest::mouseClick(window.list->viewport(), Qt::LeftButton);
        QVERIFY(!shown->isVisible());
    }

    void singleLineAndNoTitle()
    {
        Window window;
        CToolTip tip;
        tip.setHwndParentControl(window.edit);
        tip.setText(QStringLiteral("Zorvane alert messages will be \r\nsent from this address."));
        tip.setMultiLine(false);
        tip.setStyle(7); // acts as standard
        QVERIFY(tip.Create());
        requestToolTip(window.edit);
        QVERIFY(tip.tipWindow()->isVisible());
        QVERIFY(!titleOf(tip.tipWindow())->isVisible());
        QCOMPARE(textOf(tip.tipWindow())->text(),
                 QStringLiteral("Zorvane alert messages will be  sent from this address."));
        QVERIFY(tip.tipWindow()->mask().isEmpty()); // square corners
        saveShot(tip.tipWindow(), QStringLiteral("tooltip-standard.png"));
    }

    void balloonHasRoundedCorners()
    {
        Window window;
        CToolTip tip;
        tip.setHwndParentControl(window.edit);
        tip.setText(QStringLiteral("round"));
        tip.setStyle(1);
        QVERIFY(tip.Create());
        requestToolTip(window.edit);
        const QRegion mask = tip.tipWindow()->mask();
        QVERIFY(!mask.isEmpty());
        QVERIFY(!mask.contains(QPoint(0, 0)));
        QVERIFY(mask.contains(tip.tipWindow()->rect().center()));
    }

    void anyPartOfTheControlShowsTheTip()
    {
        Window window;
        CToolTip tip;
        tip.setHwndParentControl(window.list);
        tip.setText(QStringLiteral("list"));
        QVERIFY(tip.Create());
        // Qt asks for tips over an inactive window only when told to.
        QVERIFY(window.widget.testAttribute(Qt::WA_AlwaysShowToolTips));
        // The list's viewport is a child: its request travels up to the list.
        requestToolTip(window.list->viewport(), QPoint(20, 40));
        QVERIFY(tip.tipWindow()->isVisible());

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(window.list, &leave);
        QVERIFY(!tip.tipWindow()->isVisible());

        // A tip of its own on an item wins over the control's.
        window.list->item(0)->setToolTip(QStringLiteral("own"));
        const QPoint onItem = window.list->visualItemRect(window.list->item(0)).center();
        requestToolTip(window.list->viewport(), onItem);
        QVERIFY(!tip.tipWindow()->isVisible());
    }

    void centeredTipStandsBelowTheControl()
    {
        Window window;
        CToolTip tip;
        tip.setHwndParentControl(window.list);
        tip.setText(QStringLiteral("centred"));
        tip.setCentered(true);
        QVERIFY(tip.Create());
        requestToolTip(window.list, QPoint(3, 3));
        const QRect shown = tip.tipWindow()->geometry();
        const QPoint bottomCentre = window.list->mapToGlobal(QPoint(window.list->width() / 2, window.list->height()));
        QCOMPARE(shown.top(), bottomCentre.y());
        QVERIFY(qAbs(shown.center().x() - bottomCentre.x()) <= 1);
    }

    void colours_data()
    {
        QTest::addColumn<quint32>("fore");
        QTest::addColumn<quint32>("back");
        QTest::addColumn<QColor>("expectedFore");
        QTest::addColumn<QColor>("expectedBack");

        const QPalette palette = QApplication::palette();
        QTest::newRow("system codes") << 0x80000017u << 0x80000018u
                                      << palette.color(QPalette::ToolTipText)
                                      << palette.color(QPalette::ToolTipBase);
        QTest::newRow("red low byte") << 0x000000FFu << 0x00FF0000u << QColor(255, 0, 0) << QColor(0, 0, 255);
        QTest::newRow("mixed") << 0x00123456u << 0x00E1FFFFu << QColor(0x56, 0x34, 0x12)
                               << QColor(0xFF, 0xFF, 0xE1);
        QTest::newRow("codes swapped") << 0x80000018u << 0x80000017u
                                       << palette.color(QPalette::ToolTipText)
                                       << palette.color(QPalette::ToolTipBase);
    }

    void colours()
    {
        QFETCH(quint32, fore);
        QFETCH(quint32, back);
        QFETCH(QColor, expectedFore);
        QFETCH(QColor, expectedBack);

        Window window;
        CToolTip tip;
        tip.setHwndParentControl(window.edit);
        tip.setTitle(QStringLiteral("Colours"));
        tip.setText(QStringLiteral("text"));
        tip.setForeColor(fore);
        tip.setBackColor(back);
        QVERIFY(tip.Create());
        requestToolTip(window.edit);
        QVERIFY(tip.tipWindow()->isVisible());
        QWidget *shown = tip.tipWindow();
        QCOMPARE(textOf(shown)->palette().color(QPalette::WindowText), expectedFore);
        QCOMPARE(titleOf(shown)->palette().color(QPalette::WindowText), expectedFore);
        QCOMPARE(shown->palette().color(QPalette::Window), expectedBack);

        // What is painted carries the colours too.
        const QImage image = shown->grab().toImage();
        QCOMPARE(image.pixelColor(image.width() - 3, image.height() - 3), expectedBack);
    }

    void changesAfterCreateWaitForTheNextCreate()
    {
        Window window;
        CToolTip tip;
        tip.setHwndParentControl(window.list);
        tip.setTitle(QStringLiteral("Before"));
        tip.setText(QStringLiteral("old text"));
        tip.setBackColor(0x000000FFu);
        QVERIFY(tip.Create());

        tip.setTitle(QStringLiteral("After"));
        tip.setText(QStringLiteral("new text"));
        tip.setBackColor(0x0000FF00u);
        tip.setCentered(true);
        tip.setHwndParentControl(window.edit);
        QCOMPARE(tip.Title(), QStringLiteral("After")); // the properties themselves change

        requestToolTip(window.edit);
        QVERIFY(!tip.tipWindow()->isVisible());
        requestToolTip(window.list, QPoint(4, 4));
        QWidget *shown = tip.tipWindow();
        QCOMPARE(titleOf(shown)->text(), QStringLiteral("Before"));
        QCOMPARE(textOf(shown)->text(), QStringLiteral("old text"));
        QCOMPARE(shown->palette().color(QPalette::Window), QColor(255, 0, 0));
        QCOMPARE(shown->geometry().top(), window.list->mapToGlobal(QPoint(4, 4)).y() + 18);

        QVERIFY(tip.Create());
        requestToolTip(window.edit);
        QVERIFY(tip.tipWindow()->isVisible());
        QCOMPARE(titleOf(tip.tipWindow())->text(), QStringLiteral("After"));
        QCOMPARE(tip.tipWindow()->palette().color(QPalette::Window), QColor(0, 255, 0));
    }

    void controlDestroyedFirstIsSafe()
    {
        auto window = std::make_unique<Window>();
        CToolTip tip;
        tip.setHwndParentControl(window->list);
        tip.setText(QStringLiteral("gone soon"));
        QVERIFY(tip.Create());
        requestToolTip(window->list); // showing while its control goes
        QPointer<QWidget> shown = tip.tipWindow();

        window.reset();
        QVERIFY(!shown);
        QCOMPARE(tip.HwndParentControl(), nullptr);
        QCOMPARE(tip.tipWindow(), nullptr);
        QCOMPARE(tip.tipControl(), nullptr);

        // The application goes on normally, and the object still works.
        QWidget other;
        other.show();
        QTest::mouseClick(&other, Qt::LeftButton);
        QVERIFY(tip.Create()); // no control any more
        tip.setHwndParentControl(&other);
        QVERIFY(tip.Create());
        requestToolTip(&other);
        QVERIFY(tip.tipWindow()->isVisible());
    }

    void destroyingTheObjectRemovesItsTip()
    {
        Window window;
        QPointer<QWidget> shown;
        {
            CToolTip tip;
            tip.setHwndParentControl(window.list);
            tip.setText(QStringLiteral("short-lived"));
            QVERIFY(tip.Create());
            requestToolTip(window.list);
            shown = tip.tipWindow();
            QVERIFY(shown->isVisible());
        }
        QVERIFY(!shown);
        requestToolTip(window.list); // no filter left behind
        QTest::mouseClick(window.list->viewport(), Qt::LeftButton); // nor an application filter
    }

private:
    static void saveShot(QWidget *widget, const QString &name)
    {
        const QString folder = qEnvironmentVariable("ZORVANE_SHOT_DIR");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        QVERIFY(widget->grab().save(QDir(folder).filePath(name)));
    }
};

QTEST_MAIN(TestCToolTip)
#include "tst_ctooltip.moc"
