#include "platform/Clock.h"

#include <QTest>

class TestClock : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { platform::setTodayOverride(std::nullopt); }

    void todayFollowsTheOverride()
    {
        const QDate before = QDate::currentDate();
        const QDate real = platform::today();
        QVERIFY(real == before || real == QDate::currentDate());   // around midnight

        platform::setTodayOverride(QDate(2024, 2, 29));
        QCOMPARE(platform::today(), QDate(2024, 2, 29));
        platform::setTodayOverride(std::nullopt);
        QVERIFY(platform::today() >= real);
        QVERIFY(platform::today() <= QDate::currentDate());
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "test_clock.moc"
