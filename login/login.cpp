#include "login/login.h"

#include "ui_login.h"

#include "controls/FormFonts.h"
#include "data/Catalogue.h"
#include "platform/Application.h"
#include "platform/MessageHost.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <cstdlib>

QString CurrentUserName;

void ClearCurrentUserName()
{
    CurrentUserName.clear();
}

QString LowerCaseAZ(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'Z')
            c = QChar(char16_t(u + (u'a' - u'A')));
    }
    return out;
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const qint64 product = qint64(a) * qint64(b);
    const bool negative = (product < 0) != (c < 0);
    const qint64 num = product < 0 ? -product : product;
    const qint64 den = c < 0 ? -qint64(c) : qint64(c);
    const qint64 q = (num + den / 2) / den;
    return int(negative ? -q : q);
}

GradientBand LoginGradientBand(int i, const QColor &start, const QColor &end, int outerHeight)
{
    const int dr = end.red() - start.red();
    const int dg = end.green() - start.green();
    const int db = end.blue() - start.blue();
    GradientBand band;
    band.color = QColor(start.red() + MulDiv(i, dr, 1023), start.green() + MulDiv(i, dg, 1023),
                        start.blue() + MulDiv(i, db, 1023));
    band.top = MulDiv(i, outerHeight, 256);
    band.bottom = MulDiv(i + 1, outerHeight, 256);
    return band;
}

namespace {
void showRefusal(const QString &text)
{
    platform::showMessage(platform::MessageKind::Plain, QStringLiteral("Error!"), text,
                          platform::MessageButton::Ok);
}

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

TfrmLogin::TfrmLogin(QWidget *parent)
    // Dialog border: fixed size, no minimise or maximise box.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TfrmLogin>())
{
    ui->setupUi(this);
    Label1 = ui->Label1;
    Label2 = ui->Label2;
    btnOk = ui->btnOk;
    btnCancel = ui->btnCancel;
    edtPassword = ui->edtPassword;
    edtName = ui->edtName;

    setFixedSize(250, 113);

    // The form file gives points; the suite's forms are laid out in pixels.
    setFont(PixelFont(QStringLiteral("Tahoma"), 11));
    Label1->setFont(PixelFont(QStringLiteral("Tahoma"), 11, true));
    Label2->setFont(PixelFont(QStringLiteral("Tahoma"), 11, true));
    edtName->setFont(PixelFont(QStringLiteral("Arial"), 13));
    edtPassword->setFont(PixelFont(QStringLiteral("Arial"), 13));

    // Labels in the caption-text colour, drawn over the gradient.
    for (QLabel *label : {Label1, Label2}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, palette().color(QPalette::HighlightedText));
        label->setPalette(p);
        label->setAutoFillBackground(false);
    }
    QPalette namePalette = edtName->palette();
    namePalette.setColor(QPalette::Text, palette().color(QPalette::WindowText));
    edtName->setPalette(namePalette);

    // Button-face colour beneath the painted gradient.
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::Button));
    setPalette(p);

    dtbUser.setDatabaseName(QStringLiteral("ZEL_DATA"));
    dtbUser.setTableName(QString::fromLatin1(data::catalogue::kUsers));
    dtbUser.setIndexName(QString::fromLatin1(data::catalogue::kByUserName));
    dtbPermissions.setDatabaseName(QStringLiteral("ZEL_DATA"));
    dtbPermissions.setTableName(QString::fromLatin1(data::catalogue::kPermissions));

    connect(btnOk, &QPushButton::clicked, this, [this] { platform::guarded([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this,
            [this] { platform::guarded([this] { btnCancelClick(); }); });
    edtName->installEventFilter(this);
    edtPassword->installEventFilter(this);

    // Centred on the screen.
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    edtName->setFocus();
}

TfrmLogin::~TfrmLogin() = default;

bool TfrmLogin::CheckPermission()
{
    const qint32 userId = dtbUser.fieldByName(QStringLiteral("UserID")).asInteger();
    if (!dtbPermissions.findKey({userId, kPermission}))
        return false;
    return dtbPermissions.fieldByName(QStringLiteral("Value")).asInteger() == 1;
}

void TfrmLogin::btnOkClick()
{
    CurrentUserName = LowerCaseAZ(edtName->text());
    const QString typedPassword = LowerCaseAZ(edtPassword->text());
    if (!dtbUser.active())
        dtbUser.open();
    if (!dtbPermissions.active())
        dtbPermissions.open();

    if (!dtbUser.findKey({CurrentUserName})) {
        showRefusal(QStringLiteral("Invalid Username!"));
        edtPassword->clear();
        edtName->setFocus();
        return;
    }
    // The stored password is compared as it stands: neither lowered nor decoded.
    if (dtbUser.fieldByName(QStringLiteral("Password")).asString() != typedPassword) {
        showRefusal(QStringLiteral("Incorrect Password!"));
        edtPassword->setFocus();
        return;
    }
    if (CheckPermission()) {
        done(mrOk);
        return;
    }
    showRefusal(QStringLiteral("User doesn't have required permissions. Login cancelled"));
    edtPassword->clear();
    edtName->setFocus();
}

void TfrmLogin::btnCancelClick()
{
    done(mrCancel);
}

void TfrmLogin::edtNameKeyPress(QChar &key)
{
    if (key == QChar(13))
        edtPassword->setFocus();
}

void TfrmLogin::edtPasswordKeyPress(QChar &key)
{
    if (key == QChar(13)) {
        btnOk->setFocus();
        btnOkClick();
    }
}

QColor TfrmLogin::DesktopColor()
{
    // No desktop colour in the palette: the selection colour is the nearest.
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

QColor TfrmLogin::WindowTextColor()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

void TfrmLogin::FormPaint()
{
    const QColor start = DesktopColor();
    const QColor end = WindowTextColor();
    const int outerHeight = frameGeometry().height();
    const int outerWidth = frameGeometry().width();
    QPainter painter(this);
    for (int i = 0; i < 1024; ++i) {
        const GradientBand band = LoginGradientBand(i, start, end, outerHeight);
        if (band.top >= height())
            break;   // the rest lies below the window
        painter.fillRect(QRect(0, band.top, outerWidth, band.bottom - band.top), band.color);
    }
}

void TfrmLogin::paintEvent(QPaintEvent *)
{
    platform::guarded([this] { FormPaint(); });
}

void TfrmLogin::keyPressEvent(QKeyEvent *event)
{
    // Neither button is the default or the cancel button: Enter and Escape
    // reaching the dialog itself do nothing.
    if (event->key() == Qt::Key_Escape || isEnter(event->key())) {
        // A focused button is the one Enter presses, as the system does.
        if (isEnter(event->key()))
            if (auto *button = qobject_cast<QPushButton *>(focusWidget()))
                button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TfrmLogin::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && isEnter(static_cast<QKeyEvent *>(event)->key())) {
        QChar key(13);
        if (watched == edtName)
            platform::guarded([&] { edtNameKeyPress(key); });
        else if (watched == edtPassword)
            platform::guarded([&] { edtPasswordKeyPress(key); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool ExecuteLogin(const QString &caption)
{
    auto dlg = std::make_unique<TfrmLogin>();
    if (!caption.isEmpty())
        dlg->setWindowTitle(caption);
    const bool loggedIn = dlg->exec() == TfrmLogin::mrOk;
    dlg->dtbUser.close();
    dlg->dtbPermissions.close();
    return loggedIn;
}
