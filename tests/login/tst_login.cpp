#include "login/login.h"

#include "SuiteFixture.h"
#include "controls/FormFonts.h"
#include "data/Catalogue.h"
#include "platform/Application.h"
#include "platform/MessageHost.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

using platform::MessageKind;
using platform::ScriptedMessageHost;

namespace {

// Runs ExecuteLogin and acts on the dialog from inside its modal loop. The
// script must leave the dialog open or closed; a dialog still open after it
// is cancelled so that a failing check cannot hang the test.
bool runLogin(const std::function<void(TfrmLogin *)> &script)
{
    QTimer::singleShot(0, [script] {
        auto *dlg = qobject_cast<TfrmLogin *>(QApplication::activeModalWidget());
        if (!dlg) {
            QWARN("no login dialog");
            return;
        }
        script(dlg);
        if (dlg->isVisible())
            dlg->done(TfrmLogin::mrCancel);
    });
    return ExecuteLogin(QStringLiteral("Login to Tallyport"));
}

void type(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, text);
}

// The control that has the focus within the dialog (the offscreen platform
// may not make the dialog the active window).
QString focusName(TfrmLogin *dlg)
{
    QWidget *w = dlg->focusWidget();
    return w ? w->objectName() : QString();
}

void addUser(int id, const QString &name, const QString &password, std::optional<int> permission)
{
    SuiteFixture::withTable(QString::fromLatin1(data::catalogue::kUsers), [&](data::Table &t) {
        t.append();
        t.fieldByName(QStringLiteral("UserID")).setAsInteger(id);
        t.fieldByName(QStringLiteral("UserName")).setAsString(name);
        t.fieldByName(QStringLiteral("Password")).setAsString(password);
        t.post();
    });
    if (!permission)
        return;
    SuiteFixture::withTable(QString::fromLatin1(data::catalogue::kPermissions), [&](data::Table &t) {
        t.append();
        t.fieldByName(QStringLiteral("UserID")).setAsInteger(id);
        t.fieldByName(QStringLiteral("Permission")).setAsInteger(307);
        t.fieldByName(QStringLiteral("Value")).setAsInteger(*permission);
        t.post();
    });
}

bool loginTablesOpen()
{
    data::Database *db = data::Session::defaultSession().findDatabase(QStringLiteral("ZEL_DATA"));
    if (!db)
        return false;
    for (data::DataSet *ds : db->openTables()) {
        auto *t = dynamic_cast<data::Table *>(ds);
        if (!t)
            continue;
        if (t->tableName().compare(QString::fromLatin1(data::catalogue::kUsers), Qt::CaseInsensitive) == 0
            || t->tableName().compare(QString::fromLatin1(data::catalogue::kPermissions), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void lowerCase_data();
    void lowerCase();
    void mulDiv_data();
    void mulDiv();
    void gradientBands();

    void formLayout();
    void gradientIsPainted();

    void attempt_data();
    void attempt();
    void enterInNameOnlyMovesOn();
    void retryAfterRefusal();
    void cancelAndCloseBox_data();
    void cancelAndCloseBox();
    void escapeDoesNothing();
    void engineFailureKeepsDialogOpen_data();
    void engineFailureKeepsDialogOpen();
    void formFontFallback();

private:
    SuiteFixture m_suite;
};

void TestLogin::initTestCase()
{
    LoadFormFonts();
    platform::Application::setTitle(QStringLiteral("Tallyport"));
    ScriptedMessageHost host;   // the connection's own boxes, if any
    QVERIFY(m_suite.setUp());
    QVERIFY2(host.boxes().isEmpty(), qPrintable(host.texts().join('\n')));
    addUser(901, QStringLiteral("Ärger"), QStringLiteral("pw"), 1);
    addUser(902, QStringLiteral("mixed"), QStringLiteral("Secret"), 1);
}

void TestLogin::lowerCase_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("lowered");
    QTest::addRow("capitals") << "ADMIN" << "admin";
    QTest::addRow("mixed with digits") << "Office7_X" << "office7_x";
    QTest::addRow("accented capitals stay") << QString::fromUtf8("ÄRGER Élan") << QString::fromUtf8("Ärger Élan");
    QTest::addRow("empty") << "" << "";
    QTest::addRow("edges of A-Z") << "@AZ[`az{" << "@az[`az{";
}

void TestLogin::lowerCase()
{
    QFETCH(QString, typed);
    QFETCH(QString, lowered);
    QCOMPARE(LowerCaseAZ(typed), lowered);
}

void TestLogin::mulDiv_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("result");
    QTest::addRow("exact") << 4 << 6 << 3 << 8;
    QTest::addRow("half rounds up") << 1 << 128 << 256 << 1;
    QTest::addRow("below half rounds down") << 1 << 127 << 256 << 0;
    QTest::addRow("negative half away from zero") << 1 << -128 << 256 << -1;
    QTest::addRow("negative below half") << 1 << -127 << 256 << 0;
    QTest::addRow("negative divisor") << 3 << 1 << -2 << -2;
    QTest::addRow("64-bit product") << 2000000000 << 3 << 4 << 1500000000;
    QTest::addRow("odd divisor") << 255 << -187 << 1023 << -47;   // -46.61...
    QTest::addRow("zero divisor") << 5 << 5 << 0 << -1;
}

void TestLogin::mulDiv()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    QFETCH(int, result);
    QCOMPARE(MulDiv(a, b, c), result);
}

void TestLogin::gradientBands()
{
    const QColor start(10, 200, 30);
    const QColor end(250, 0, 30);
    const int H = 150;
    const GradientBand first = LoginGradientBand(0, start, end, H);
    QCOMPARE(first.color, start);
    QCOMPARE(first.top, 0);
    QCOMPARE(first.bottom, MulDiv(1, H, 256));
    // Band 255 reaches the outer height; its colour is only a quarter of the way.
    const GradientBand last = LoginGradientBand(255, start, end, H);
    QCOMPARE(last.bottom, H);
    QCOMPARE(last.color, QColor(10 + MulDiv(255, 240, 1023), 200 + MulDiv(255, -200, 1023), 30));
    QCOMPARE(last.color, QColor(70, 150, 30));
    QVERIFY(LoginGradientBand(256, start, end, H).top >= H);
    // Bands meet without gaps.
    for (int i = 0; i < 255; ++i)
        QCOMPARE(LoginGradientBand(i, start, end, H).bottom, LoginGradientBand(i + 1, start, end, H).top);
}

void TestLogin::formLayout()
{
    TfrmLogin dlg;
    QCOMPARE(dlg.size(), QSize(250, 113));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    QVERIFY(!(dlg.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(dlg.windowFlags() & Qt::WindowMaximizeButtonHint));

    struct Expect {
        QWidget *w;
        QRect geometry;
        QString text;
    };
    const Expect expected[] = {
        {dlg.Label1, QRect(8, 14, 64, 13), QStringLiteral("User Name:")},
        {dlg.Label2, QRect(10, 43, 57, 13), QStringLiteral("Password:")},
        {dlg.btnOk, QRect(78, 74, 75, 25), QStringLiteral("&OK")},
        {dlg.btnCancel, QRect(160, 74, 75, 25), QStringLiteral("&Cancel")},
        {dlg.edtPassword, QRect(78, 37, 157, 24), QString()},
        {dlg.edtName, QRect(78, 8, 157, 24), QString()},
    };
    for (const Expect &e : expected) {
        QCOMPARE(e.w->geometry(), e.geometry);
        if (auto *label = qobject_cast<QLabel *>(e.w))
            QCOMPARE(label->text(), e.text);
        else if (auto *button = qobject_cast<QPushButton *>(e.w))
            QCOMPARE(button->text(), e.text);
        else
            QVERIFY(qobject_cast<QLineEdit *>(e.w)->text().isEmpty());
    }
    // Tab order: name, password, OK, Cancel.
    QCOMPARE(dlg.edtName->nextInFocusChain(), dlg.edtPassword);
    QCOMPARE(dlg.edtPassword->nextInFocusChain(), dlg.btnOk);
    QCOMPARE(dlg.btnOk->nextInFocusChain(), dlg.btnCancel);
    // Neither button is a default button.
    for (QPushButton *b : {dlg.btnOk, dlg.btnCancel}) {
        QVERIFY(!b->isDefault());
        QVERIFY(!b->autoDefault());
    }
    // Fonts in pixels: bold Tahoma 11 for the labels, Arial 13 for the edits.
    for (QLabel *l : {dlg.Label1, dlg.Label2}) {
        QCOMPARE(l->font().pixelSize(), 11);
        QVERIFY(l->font().bold());
        QCOMPARE(l->font().family(), QStringLiteral("Tahoma"));
        QVERIFY(!l->autoFillBackground());
    }
    for (QLineEdit *e : {dlg.edtName, dlg.edtPassword}) {
        QCOMPARE(e->font().pixelSize(), 13);
        QCOMPARE(e->font().family(), QStringLiteral("Arial"));
    }
    QCOMPARE(dlg.font().pixelSize(), 11);
    // The password shows a star for every character.
    QCOMPARE(dlg.edtPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(dlg.edtPassword->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                 dlg.edtPassword),
             int('*'));
    // Every control can be named by assistive technology; labels name their edits.
    QCOMPARE(dlg.Label1->buddy(), dlg.edtName);
    QCOMPARE(dlg.Label2->buddy(), dlg.edtPassword);
    for (QWidget *w : {static_cast<QWidget *>(dlg.edtName), static_cast<QWidget *>(dlg.edtPassword),
                       static_cast<QWidget *>(dlg.btnOk), static_cast<QWidget *>(dlg.btnCancel)})
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    QCOMPARE(dlg.edtName->accessibleName(), QStringLiteral("User Name"));
    QCOMPARE(dlg.edtPassword->accessibleName(), QStringLiteral("Password"));
}

void TestLogin::gradientIsPainted()
{
    TfrmLogin dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QImage image = dlg.grab().toImage();
    const int H = dlg.frameGeometry().height();
    const QColor start = TfrmLogin::DesktopColor();
    const QColor end = TfrmLogin::WindowTextColor();
    const qreal dpr = image.devicePixelRatio();
    for (int y : {0, 30, 60, 100, 112}) {
        int band = 0;
        while (LoginGradientBand(band, start, end, H).bottom <= y)
            ++band;
        QCOMPARE(image.pixelColor(QPoint(2, int(y * dpr))).rgb(),
                 LoginGradientBand(band, start, end, H).color.rgb());
    }
}

void TestLogin::attempt_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("submitWithEnter");
    QTest::addColumn<QString>("refusal");     // empty: logged in
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("passwordAfter");
    QTest::addColumn<QString>("userName");    // CurrentUserName afterwards

    QTest::addRow("granted") << "admin" << "admin" << false << "" << "" << "" << "admin";
    QTest::addRow("granted, capitals typed, Enter") << "OFFICE" << "Office" << true << "" << "" << ""
                                                    << "office";
    QTest::addRow("accented capital kept") << QString::fromUtf8("ÄRGER") << "PW" << false << "" << ""
                                           << "" << QString::fromUtf8("Ärger");
    QTest::addRow("unknown user") << "nobody" << "x" << false << "Invalid Username!" << "edtName" << ""
                                  << "nobody";
    QTest::addRow("empty name") << "" << "" << true << "Invalid Username!" << "edtName" << "" << "";
    QTest::addRow("wrong password") << "Admin" << "wrong" << false << "Incorrect Password!"
                                    << "edtPassword" << "wrong" << "admin";
    QTest::addRow("stored capitals never match") << "mixed" << "Secret" << true << "Incorrect Password!"
                                                 << "edtPassword" << "Secret" << "mixed";
    const QString denied = QStringLiteral("User doesn't have required permissions. Login cancelled");
    QTest::addRow("no permission record") << "visitor" << "visitor" << false << denied << "edtName" << ""
                                          << "visitor";
    QTest::addRow("permission value 0") << "treasurer" << "treasurer" << false << denied << "edtName"
                                        << "" << "treasurer";
    QTest::addRow("permission value 2") << "pastor" << "PASTOR" << true << denied << "edtName" << ""
                                        << "pastor";
}

void TestLogin::attempt()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(bool, submitWithEnter);
    QFETCH(QString, refusal);
    QFETCH(QString, focus);
    QFETCH(QString, passwordAfter);
    QFETCH(QString, userName);

    ScriptedMessageHost host;
    bool stayedOpen = false;
    QString focusAfter, nameAfter, passwordLeft, caption;
    const bool ok = runLogin([&](TfrmLogin *dlg) {
        caption = dlg->windowTitle();
        type(dlg->edtName, name);
        type(dlg->edtPassword, password);
        if (submitWithEnter)
            QTest::keyClick(dlg->edtPassword, Qt::Key_Return);
        else
            QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
        stayedOpen = dlg->isVisible();
        focusAfter = focusName(dlg);
        nameAfter = dlg->edtName->text();
        passwordLeft = dlg->edtPassword->text();
    });
    QCOMPARE(caption, QStringLiteral("Login to Tallyport"));
    QCOMPARE(CurrentUserName, userName);
    QVERIFY(!loginTablesOpen());
    if (refusal.isEmpty()) {
        QVERIFY(ok);
        QVERIFY(host.boxes().isEmpty());
        return;
    }
    QVERIFY(!ok);
    QVERIFY(stayedOpen);
    QCOMPARE(host.boxes().size(), 1);
    QCOMPARE(host.boxes().at(0).title, QStringLiteral("Error!"));
    QCOMPARE(host.boxes().at(0).text, refusal);
    QCOMPARE(host.boxes().at(0).kind, MessageKind::Plain);
    QCOMPARE(host.boxes().at(0).buttons, platform::MessageButtons(platform::MessageButton::Ok));
    QCOMPARE(focusAfter, focus);
    QCOMPARE(nameAfter, name);
    QCOMPARE(passwordLeft, passwordAfter);
}

void TestLogin::enterInNameOnlyMovesOn()
{
    ScriptedMessageHost host;
    bool stillOpen = false;
    QString focusAfter;
    runLogin([&](TfrmLogin *dlg) {
        type(dlg->edtName, QStringLiteral("admin"));
        QTest::keyClick(dlg->edtName, Qt::Key_Return);
        focusAfter = focusName(dlg);
        stillOpen = dlg->isVisible();
    });
    QVERIFY(stillOpen);
    QCOMPARE(focusAfter, QStringLiteral("edtPassword"));
    QVERIFY(host.boxes().isEmpty());
}

void TestLogin::retryAfterRefusal()
{
    ScriptedMessageHost host;
    const bool ok = runLogin([&](TfrmLogin *dlg) {
        type(dlg->edtName, QStringLiteral("admin"));
        type(dlg->edtPassword, QStringLiteral("nope"));
        QTest::keyClick(dlg->edtPassword, Qt::Key_Return);
        type(dlg->edtPassword, QStringLiteral("admin"));
        QTest::keyClick(dlg->edtPassword, Qt::Key_Return);
    });
    QVERIFY(ok);
    QCOMPARE(host.texts(), QStringList{QStringLiteral("Incorrect Password!")});
}

void TestLogin::cancelAndCloseBox_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::addRow("Cancel button") << false;
    QTest::addRow("close box") << true;
}

void TestLogin::cancelAndCloseBox()
{
    QFETCH(bool, closeBox);
    ScriptedMessageHost host;
    int result = -1;
    const bool ok = runLogin([&](TfrmLogin *dlg) {
        type(dlg->edtName, QStringLiteral("admin"));
        type(dlg->edtPassword, QStringLiteral("admin"));
        if (closeBox)
            dlg->close();
        else
            QTest::mouseClick(dlg->btnCancel, Qt::LeftButton);
        result = dlg->result();
    });
    QVERIFY(!ok);
    if (!closeBox)
        QCOMPARE(result, TfrmLogin::mrCancel);
    QVERIFY(host.boxes().isEmpty());
}

void TestLogin::escapeDoesNothing()
{
    bool stillOpen = false;
    runLogin([&](TfrmLogin *dlg) {
        QTest::keyClick(dlg->edtName, Qt::Key_Escape);
        stillOpen = dlg->isVisible();
    });
    QVERIFY(stillOpen);
}

void TestLogin::engineFailureKeepsDialogOpen_data()
{
    QTest::addColumn<bool>("missingTable");
    QTest::addRow("user table missing") << true;
    QTest::addRow("table passwords unknown") << false;
}

void TestLogin::engineFailureKeepsDialogOpen()
{
    QFETCH(bool, missingTable);
    ScriptedMessageHost host;
    const QString file = m_suite.dataFile(QString::fromLatin1(data::catalogue::kUsers));
    const QString aside = file + QStringLiteral(".aside");
    const QStringList passwords = data::Session::defaultSession().passwords();
    auto breakIt = [&] {
        if (missingTable)
            QVERIFY(QFile::rename(file, aside));
        else
            for (const QString &p : passwords)
                data::Session::defaultSession().removePassword(p);
    };
    auto mendIt = [&] {
        if (missingTable)
            QFile::rename(aside, file);
        else
            for (const QString &p : passwords)
                data::Session::defaultSession().addPassword(p);
    };
    bool stayedOpen = false;
    const bool ok = runLogin([&](TfrmLogin *dlg) {
        breakIt();
        type(dlg->edtName, QStringLiteral("Admin"));
        type(dlg->edtPassword, QStringLiteral("admin"));
        QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
        stayedOpen = dlg->isVisible();
        mendIt();
        // The next attempt opens the tables afresh.
        QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
    });
    mendIt();
    QVERIFY(stayedOpen);
    QVERIFY(ok);
    QCOMPARE(CurrentUserName, QStringLiteral("admin"));
    QCOMPARE(host.boxes().size(), 1);
    QCOMPARE(host.boxes().at(0).kind, MessageKind::Error);
    QCOMPARE(host.boxes().at(0).title, QStringLiteral("Tallyport"));
    QVERIFY(!host.boxes().at(0).text.isEmpty());
}

void TestLogin::formFontFallback()
{
    QTemporaryDir dir;
    QCOMPARE(LoadFormFonts({dir.filePath(QStringLiteral("tahoma.ttf"))}), QStringLiteral("DejaVu Sans"));
    QVERIFY(!FormFontsLoaded());
    QCOMPARE(QFont::substitute(QStringLiteral("Tahoma")).toLower(), QStringLiteral("dejavu sans"));
    if (!QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf")))
        QSKIP("fonts-wine is not installed");
    QCOMPARE(LoadFormFonts(), QStringLiteral("Tahoma"));
    QVERIFY(FormFontsLoaded());
    QCOMPARE(QFontInfo(PixelFont(QStringLiteral("Tahoma"), 11)).family(), QStringLiteral("Tahoma"));
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
