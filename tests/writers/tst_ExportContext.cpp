// The default UI hook services the event queue only when its interval has
// passed; ConfirmOverwrite sets or clears the cancel flag.

#include "platform/MessageHost.h"
#include "writers/ConfirmOverwrite.h"
#include "writers/ExportContext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestExportContext : public QObject {
    Q_OBJECT

private slots:
    void hookServicesQueueOnlyAfterInterval()
    {
        int delivered = 0;
        const auto post = [&] { QMetaObject::invokeMethod(this, [&] { ++delivered; }, Qt::QueuedConnection); };

        ThrottledEventHook slow(60 * 60 * 1000);
        post();
        slow();                 // never serviced before: services now
        QCOMPARE(delivered, 1);
        post();
        slow();                 // within the interval: the event waits
        slow();
        QCOMPARE(delivered, 1);

        ThrottledEventHook eager(0);
        eager();
        QCOMPARE(delivered, 2);
        post();
        eager();
        QCOMPARE(delivered, 3);

        // The clock is read only now and then, but an interval that has
        // passed is noticed within a few calls.
        ThrottledEventHook brief(1);
        brief();
        post();
        QTest::qSleep(5);
        for (int i = 0; i < 16; ++i)
            brief();
        QCOMPARE(delivered, 4);
    }

    void defaultContextIsThrottled()
    {
        CancelFlag flag;
        ExportContext context(flag);
        QVERIFY(context.beforeRecord);
        QVERIFY(context.confirmOverwrite);
        QVERIFY(!context.progress);
        // A click on Cancel queued before the export reaches the flag at the
        // first record.
        QTimer::singleShot(0, this, [&] { flag.set(); });
        context.beforeRecord();
        QVERIFY(flag.isSet());
    }

    void confirmOverwrite_data()
    {
        QTest::addColumn<QString>("existing");   // "file", "folder" or "none"
        QTest::addColumn<bool>("flagBefore");
        QTest::addColumn<int>("answer");         // MessageButton given when asked
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("flagAfter");
        const int yes = int(platform::MessageButton::Yes);
        const int no = int(platform::MessageButton::No);
        QTest::newRow("file, No") << QStringLiteral("file") << false << no << true << true;
        QTest::newRow("file, Yes clears the flag") << QStringLiteral("file") << true << yes << true << false;
        QTest::newRow("no file clears the flag") << QStringLiteral("none") << true << no << false << false;
        QTest::newRow("a folder is not asked about") << QStringLiteral("folder") << true << no << false << false;
    }
    void confirmOverwrite()
    {
        QFETCH(QString, existing);
        QFETCH(bool, flagBefore);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, flagAfter);

        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("Gifts.csv"));
        if (existing == u"file") {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (existing == u"folder") {
            QVERIFY(QDir().mkdir(name));
        }
        platform::ScriptedMessageHost boxes;
        boxes.addAnswer(platform::MessageButton(answer));
        CancelFlag flag;
        flag.setValue(flagBefore);

        QCOMPARE(ConfirmOverwrite(name, flag), flagAfter);
        QCOMPARE(flag.isSet(), flagAfter);
        QCOMPARE(boxes.texts(), asked ? QStringList{QStringLiteral("Overwrite existing file: ") + name}
                                      : QStringList{});
    }

};

QTEST_GUILESS_MAIN(TestExportContext)
#include "tst_ExportContext.moc"
