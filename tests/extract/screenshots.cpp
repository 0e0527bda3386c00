// Renders the login dialog, the main window and the save dialog, against a tiny demo suite
// installation, to PNG files in the folder given on the command line.

#include "DemoSuite.h"
#include "connect/CustomConnect.h"
#include "controls/FormFonts.h"
#include "extract/DirectoryList.h"
#include "extract/Main.h"
#include "extract/rptExtracts.h"
#include "login/login.h"
#include "platform/Application.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

namespace {
bool save(QWidget &w, const QString &file)
{
    w.show();
    QApplication::processEvents();
    const bool ok = w.grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    return ok;
}
} // namespace

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshots <output folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    platform::Application::setTitle(QStringLiteral("Tallyport"));
    const QString family = LoadFormFonts();
    std::printf("form font: %s\n", qPrintable(family));

    QTemporaryDir dir;
    DemoSuite::Options options;
    const DemoSuite::Installation inst = DemoSuite::write(dir.filePath(QStringLiteral("suite")), options);
    inst.applyEnvironment();
    GetConnection();

    bool ok = true;
    {
        TfrmLogin login;
        login.setWindowTitle(QStringLiteral("Login to Tallyport"));
        login.edtName->setText(QStringLiteral("admin"));
        login.edtPassword->setText(QStringLiteral("admin"));
        ok &= save(login, QDir(out).filePath(QStringLiteral("login.png")));
    }
    {
        TfrmMain main;
        ok &= save(main, QDir(out).filePath(QStringLiteral("main.png")));
        // The progress controls as an export shows them.
        main.lblSimpleText->setText(QStringLiteral("Building File"));
        main.pb1->setMaximum(10);
        main.pb1->setValue(4);
        main.pb1->show();
        main.btnCancel->show();
        ok &= save(main, QDir(out).filePath(QStringLiteral("main-exporting.png")));
        main.lblSimpleText->clear();
        main.pb1->hide();
        main.btnCancel->hide();
        main.close();
    }
    {
        TfrmExtract extract;
        extract.dlbDirectory->setDirectory(GetDefaultFolder());
        extract.cbFileType->setCurrentIndex(extract.cbFileType->count() - 1);
        ok &= save(extract, QDir(out).filePath(QStringLiteral("save-extract.png")));
    }
    FreeConnection();
    return ok ? 0 : 1;
}
