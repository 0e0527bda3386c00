#include "extract/rptExtracts.h"
#include "extract/DirectoryList.h"
#include "ui_rptExtracts.h"

#include "controls/FormFonts.h"
#include "platform/Application.h"
#include "platform/Error.h"
#include "platform/Registry.h"


TfrmExtract::TfrmExtract(QWidget *parent)
    // Sizeable, with a system menu and no minimise or maximise box.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TfrmExtract>())
{
    ui->setupUi(this);
    // Tahoma, 11 pixels high, as the suite's forms are laid out.
    setFont(PixelFont(QStringLiteral("Tahoma"), 11));
    DriveComboBox1 = ui->DriveComboBox1;
    dlbDirectory = ui->dlbDirectory;
    Label1 = ui->Label1;
    ebFileName = ui->ebFileName;
    Label2 = ui->Label2;
    cbFileType = ui->cbFileType;
    btnSave = ui->btnSave;
    btnCancel = ui->btnCancel;

    Label1->setText(dlbDirectory->directory());
    DriveComboBox1->selectDriveOf(dlbDirectory->directory());
    connect(dlbDirectory, &TDirectoryListBox::directoryChanged, this, [this](const QString &path) {
        Label1->setText(path);
        DriveComboBox1->selectDriveOf(path);
    });
    connect(DriveComboBox1, &TDriveComboBox::driveChosen, this,
            [this](const QString &root) {
                // A volume that cannot be entered leaves both lists where they were.
                if (!dlbDirectory->setDirectory(root))
                    DriveComboBox1->selectDriveOf(dlbDirectory->directory());
            });
    connect(btnSave, &QPushButton::clicked, this,
            [this] { platform::runGuarded([this] { btnSaveClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

TfrmExtract::~TfrmExtract() = default;

void TfrmExtract::FormCreate()
{
    resize(263, 219);
}

void TfrmExtract::btnSaveClick()
{
    QString name = ebFileName->text();
    const QString forbidden = QString::fromUtf16(kForbiddenFileNameChars);
    bool found = false;
    for (QChar c : forbidden)
        found = found || name.contains(c);
    if (!found) {
        accept();
        return;
    }
    QStringList listed;
    for (QChar c : forbidden) {
        name.remove(c);
        listed << QString(c);
    }
    ebFileName->setText(name);
    throw platform::Error(QStringLiteral("A filename cannot contain any of the following characters:\r")
                          + listed.join(QLatin1Char(' ')));
}

QString GetDefaultFolder()
{
    // A value that cannot be read counts as a missing one.
    for (const char *name : {"Personal", "Desktop"}) {
        try {
            const QString folder = platform::Registry::shellFolder(QString::fromLatin1(name));
            if (!folder.isEmpty())
                return folder;
        } catch (const platform::Error &) {
        }
    }
    return {};
}

QString ExtractFileExtension(int fileType)
{
    switch (fileType) {
    case 0: return QStringLiteral(".csv");
    case 1: return QStringLiteral(".txt");
    case 2: return QStringLiteral(".htm");
    case 3: return QStringLiteral(".xls");
    default: return {};
    }
}

QString ComposeExtractFileName(const QString &folder, const QString &typedName, int fileType)
{
    QString path = folder;
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QString base = path + QLatin1Char('/') + typedName;
    return typedName.contains(QLatin1Char('.')) ? base : base + ExtractFileExtension(fileType);
}
