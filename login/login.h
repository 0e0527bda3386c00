#pragma once

// Unit login: the login gate. The user must give a suite user name and
// password and hold permission 307 before the main window is created.

#include "data/Table.h"

#include <QColor>
#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class TfrmLogin;
}
class QLabel;
class QLineEdit;
class QPushButton;

// The name typed at the last press of OK, in lower case. Cleared at shutdown
// by ClearCurrentUserName.
extern QString CurrentUserName;
void ClearCurrentUserName();

// Runs the login dialog once. True when the user logged in; false after
// Cancel or the close box. A non-empty caption replaces the dialog's own.
bool ExecuteLogin(const QString &caption);

// Lower case as the suite stores names: only A to Z become a to z; every
// other character, accented capitals included, stays as typed.
QString LowerCaseAZ(const QString &text);

// a * b / c on a 64-bit product, rounded to the nearest integer with halves
// away from zero; -1 when c is 0 (the Windows MulDiv).
int MulDiv(int a, int b, int c);

// One band of the login dialog's background. Bands 0 to 1023 run from the
// start colour towards the end colour; their edges are spaced by a 256th of
// the height, so only the first quarter of them falls within the window.
struct GradientBand {
    int top = 0;
    int bottom = 0;
    QColor color;
};
GradientBand LoginGradientBand(int i, const QColor &start, const QColor &end, int outerHeight);

class TfrmLogin : public QDialog {
    Q_OBJECT
public:
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;
    static constexpr int kPermission = 307;

    explicit TfrmLogin(QWidget *parent = nullptr);
    ~TfrmLogin() override;

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;
    QLineEdit *edtPassword = nullptr;
    QLineEdit *edtName = nullptr;
    data::Table dtbUser;          // awusrmst through byUserName
    data::Table dtbPermissions;   // awusrpfl, primary index

    bool CheckPermission();

    // Handlers. The key handlers take the typed character (13 for Enter).
    void btnOkClick();
    void btnCancelClick();
    void edtNameKeyPress(QChar &key);
    void edtPasswordKeyPress(QChar &key);
    void FormPaint();

    // Colours of the gradient, read afresh on every paint: the desktop
    // colour and the window-text colour of the system palette.
    static QColor DesktopColor();
    static QColor WindowTextColor();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<Ui::TfrmLogin> ui;
};
