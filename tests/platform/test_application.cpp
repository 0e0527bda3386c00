#include "platform/Application.h"
#include "platform/Error.h"
#include "platform/MessageHost.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <stdexcept>

using namespace platform;

namespace {

// An object whose handler of user events runs a given action.
class Thrower : public QObject {
public:
    std::function<void()> action;
    int handled = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        ++handled;
        action();
        return true;
    }
};

} // namespace

class TestApplication : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(qobject_cast<Application *>(QCoreApplication::instance()));
        Application::setTitle("Tallyport");
        QCOMPARE(Application::title(), QString("Tallyport"));
        QCOMPARE(QGuiApplication::applicationDisplayName(), QString("Tallyport"));
    }

    void failureEscapingAHandlerIsShown_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::addRow("platform error") << 0 << "Unable to find ZEL directories.";
        QTest::addRow("registry error") << 1 << "Invalid data type for 'Common AppData'";
        QTest::addRow("standard exception") << 2 << "database is locked";
        QTest::addRow("anything else") << 3 << "An unexpected error occurred.";
    }

    void failureEscapingAHandlerIsShown()
    {
        QFETCH(int, kind);
        QFETCH(QString, message);
        ScriptedMessageHost host;
        Thrower target;
        target.action = [&] {
            switch (kind) {
            case 0: throw Error(message);
            case 1: throw RegistryError(message);
            case 2: throw std::runtime_error(message.toStdString());
            default: throw 42;
            }
        };
        // Sent directly and posted through the event loop.
        QEvent direct(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&target, &direct));
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(target.handled, 2);
        QCOMPARE(host.boxes().size(), 2);
        for (const auto &box : host.boxes()) {
            QCOMPARE(box.kind, MessageKind::Error);
            QCOMPARE(box.title, QString("Tallyport"));
            QCOMPARE(box.text, message);
            QCOMPARE(box.buttons, MessageButtons(MessageButton::Ok));
        }
    }

    void loopGoesOnAfterAFailure()
    {
        ScriptedMessageHost host;
        QPushButton button("Export");
        int clicks = 0;
        connect(&button, &QPushButton::clicked, this, [&] {
            if (++clicks == 1)
                throw Error("Extract failed.");
        });
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks, 2);
        QCOMPARE(host.texts(), QStringList{"Extract failed."});

        // A running event loop survives the failure and reaches its exit.
        QEventLoop loop;
        Thrower target;
        target.action = [] { throw std::logic_error("in the loop"); };
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, [&] { loop.exit(1); });
        QCOMPARE(loop.exec(), 0);
        QCOMPARE(host.texts(), QStringList({"Extract failed.", "in the loop"}));
    }

    void guardedRuns()
    {
        ScriptedMessageHost host;
        int steps = 0;
        QVERIFY(guarded([&] { ++steps; }));
        QVERIFY(runGuarded([&] { ++steps; }));
        QVERIFY(host.boxes().isEmpty());

        QVERIFY(!guarded([&] {
            ++steps;
            throw Error("Unable to find ZEL directories.");
            ++steps;   // never reached: the rest of the handler is skipped
        }));
        QVERIFY(!runGuarded([] { throw std::runtime_error("cannot open table"); }));
        QCOMPARE(steps, 3);
        QCOMPARE(host.texts(), QStringList({"Unable to find ZEL directories.", "cannot open table"}));
        QCOMPARE(host.boxes()[0].title, QString("Tallyport"));
    }

    void handleExceptionKeepsTheMessage()
    {
        ScriptedMessageHost host;
        const RegistryError error("Registry file x.reg, line 3: unterminated string");
        handleException(error);
        showException(nullptr);   // nothing to show
        QCOMPARE(host.texts(), QStringList{"Registry file x.reg, line 3: unterminated string"});
        QCOMPARE(exceptionMessage(std::make_exception_ptr(std::runtime_error("x"))), QString("x"));
    }

    void titleFollowsSetTitle()
    {
        ScriptedMessageHost host;
        Application::setTitle("Other");
        showException(std::make_exception_ptr(Error("e")));
        Application::setTitle("Tallyport");
        QCOMPARE(host.boxes()[0].title, QString("Other"));
    }
};

int main(int argc, char **argv)
{
    Application app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_application.moc"
