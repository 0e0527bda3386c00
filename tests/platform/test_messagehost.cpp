#include "platform/MessageHost.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace platform;

Q_DECLARE_METATYPE(platform::MessageButtons)
Q_DECLARE_METATYPE(platform::MessageButton)
Q_DECLARE_METATYPE(platform::MessageKind)

namespace platform {
char *toString(MessageKind kind)
{
    return qstrdup(qPrintable(messageKindName(kind)));
}
char *toString(MessageButton button)
{
    return qstrdup(QByteArray::number(int(button)).constData());
}
char *toString(MessageButtons buttons)
{
    return qstrdup(QByteArray::number(buttons.toInt()).constData());
}
} // namespace platform

class TestMessageHost : public QObject {
    Q_OBJECT
private slots:
    void defaultAnswerIsFirstButton_data()
    {
        QTest::addColumn<MessageButtons>("buttons");
        QTest::addColumn<MessageButton>("answer");
        QTest::addRow("Ok") << MessageButtons(MessageButton::Ok) << MessageButton::Ok;
        QTest::addRow("Ok Cancel") << (MessageButton::Ok | MessageButton::Cancel) << MessageButton::Ok;
        QTest::addRow("Yes No") << (MessageButton::Yes | MessageButton::No) << MessageButton::Yes;
        QTest::addRow("No Cancel") << (MessageButton::No | MessageButton::Cancel) << MessageButton::No;
        QTest::addRow("none") << MessageButtons() << MessageButton::Ok;
    }

    void defaultAnswerIsFirstButton()
    {
        QFETCH(MessageButtons, buttons);
        QFETCH(MessageButton, answer);
        QCOMPARE(firstButton(buttons), answer);
        ScriptedMessageHost host;
        QCOMPARE(showMessage(MessageKind::Question, "T", "x", buttons), answer);
        QCOMPARE(host.boxes().size(), 1);
        QCOMPARE(host.boxes()[0].answer, answer);
    }

    void scriptedRecordsInOrderAndAnswersFromQueue()
    {
        ScriptedMessageHost host;
        QCOMPARE(&messageHost(), &host);
        host.addAnswer(MessageButton::No);
        host.addAnswer(MessageButton::Cancel);
        QCOMPARE(showMessage(MessageKind::Question, "Confirm", "Overwrite existing file: a.csv",
                             MessageButton::Yes | MessageButton::No),
                 MessageButton::No);
        QCOMPARE(showMessage(MessageKind::Warning, "W", "second", MessageButton::Ok | MessageButton::Cancel),
                 MessageButton::Cancel);
        QCOMPARE(host.pendingAnswers(), 0);
        QCOMPARE(showMessage(MessageKind::Information, "Tallyport", "Extract Complete"), MessageButton::Ok);

        const auto &boxes = host.boxes();
        QCOMPARE(boxes.size(), 3);
        QCOMPARE(boxes[0].kind, MessageKind::Question);
        QCOMPARE(boxes[0].title, QString("Confirm"));
        QCOMPARE(boxes[0].buttons, MessageButton::Yes | MessageButton::No);
        QCOMPARE(boxes[1].kind, MessageKind::Warning);
        QCOMPARE(boxes[2].buttons, MessageButtons(MessageButton::Ok));
        QCOMPARE(host.texts(), QStringList({"Overwrite existing file: a.csv", "second", "Extract Complete"}));
        host.clear();
        QVERIFY(host.boxes().isEmpty());
    }

    void scriptedHostsNestAndUninstall()
    {
        MessageHost *real = &messageHost();
        {
            ScriptedMessageHost outer;
            {
                ScriptedMessageHost inner;
                showMessage(MessageKind::Error, "Tallyport", "inner");
                QCOMPARE(inner.boxes().size(), 1);
            }
            QCOMPARE(&messageHost(), &outer);
            showMessage(MessageKind::Error, "Tallyport", "outer");
            QCOMPARE(outer.texts(), QStringList{"outer"});
        }
        QCOMPARE(&messageHost(), real);
        ScriptedMessageHost host;
        setMessageHost(nullptr);
        QCOMPARE(&messageHost(), real);
    }

    void realHostShowsStandardBox_data()
    {
        QTest::addColumn<MessageKind>("kind");
        QTest::addColumn<MessageButtons>("buttons");
        QTest::addColumn<int>("click");   // QMessageBox::StandardButton, or 0 to press Escape
        QTest::addColumn<int>("icon");
        QTest::addColumn<MessageButton>("answer");
        QTest::addRow("error, OK") << MessageKind::Error << MessageButtons(MessageButton::Ok) << int(QMessageBox::Ok)
                                   << int(QMessageBox::Critical) << MessageButton::Ok;
        QTest::addRow("question, No") << MessageKind::Question << (MessageButton::Yes | MessageButton::No)
                                      << int(QMessageBox::No) << int(QMessageBox::Question) << MessageButton::No;
        QTest::addRow("question, Escape") << MessageKind::Question << (MessageButton::Yes | MessageButton::No) << 0
                                          << int(QMessageBox::Question) << MessageButton::No;
        QTest::addRow("information, Escape") << MessageKind::Information << MessageButtons(MessageButton::Ok) << 0
                                             << int(QMessageBox::Information) << MessageButton::Ok;
        QTest::addRow("plain, OK") << MessageKind::Plain << MessageButtons(MessageButton::Ok) << int(QMessageBox::Ok)
                                   << int(QMessageBox::NoIcon) << MessageButton::Ok;
        QTest::addRow("warning, Cancel") << MessageKind::Warning << (MessageButton::Ok | MessageButton::Cancel)
                                         << int(QMessageBox::Cancel) << int(QMessageBox::Warning)
                                         << MessageButton::Cancel;
    }

    void realHostShowsStandardBox()
    {
        QFETCH(MessageKind, kind);
        QFETCH(MessageButtons, buttons);
        QFETCH(int, click);
        QFETCH(int, icon);
        QFETCH(MessageButton, answer);
        QString seenTitle, seenText;
        int seenIcon = -1;
        int buttonCount = -1;
        // Answer the box once it is up; poll so a slow start cannot hang the test.
        QTimer poll;
        poll.setInterval(10);
        int tries = 0;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) {
                if (++tries > 500)
                    QCoreApplication::exit(1);
                return;
            }
            poll.stop();
            seenTitle = box->windowTitle();
            seenText = box->text();
            seenIcon = int(box->icon());
            buttonCount = int(box->buttons().size());
            if (click)
                box->button(QMessageBox::StandardButton(click))->click();
            else
                QTest::keyClick(box, Qt::Key_Escape);
        });
        poll.start();
        QCOMPARE(WidgetMessageHost().show(kind, "Tallyport", "Some text.", buttons), answer);
        QCOMPARE(seenTitle, QString("Tallyport"));
        QCOMPARE(seenText, QString("Some text."));
        QCOMPARE(seenIcon, icon);
        QCOMPARE(buttonCount, int(qPopulationCount(quint32(buttons.toInt()))));
    }
};

QTEST_MAIN(TestMessageHost)
#include "test_messagehost.moc"
