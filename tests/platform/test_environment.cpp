#include "platform/Environment.h"
#include "EnvGuard.h"

#include <QTest>

class TestEnvironment : public QObject {
    Q_OBJECT
private slots:
    void environmentValue_data()
    {
        QTest::addColumn<bool>("set");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("expected");
        QTest::addRow("unset") << false << QByteArray() << false << "";
        QTest::addRow("empty counts as unset") << true << QByteArray() << false << "";
        QTest::addRow("plain") << true << QByteArray("/home/office/.local/share") << true << "/home/office/.local/share";
        QTest::addRow("blanks kept") << true << QByteArray(" /x ") << true << " /x ";
        QTest::addRow("UTF-8") << true << QByteArray("/home/b\xC3\xA9""a") << true << QString::fromUtf8("/home/béa");
    }

    void environmentValue()
    {
        QFETCH(bool, set);
        QFETCH(QByteArray, raw);
        QFETCH(bool, found);
        QFETCH(QString, expected);
        EnvGuard env;
        if (set)
            env.set("APPDATA", raw);
        else
            env.unset("APPDATA");
        const auto value = platform::environmentValue("APPDATA");
        QCOMPARE(value.has_value(), found);
        if (found)
            QCOMPARE(*value, expected);
    }

    void noName()
    {
        QVERIFY(!platform::environmentValue(nullptr));
        QVERIFY(!platform::environmentValue(""));
    }
};

QTEST_GUILESS_MAIN(TestEnvironment)
#include "test_environment.moc"
