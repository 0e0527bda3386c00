#pragma once

// The "Save Extract File As" dialog and the helpers of the save step.

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui { class TfrmExtract; }
class TDirectoryListBox;
class TDriveComboBox;
class QComboBox;
class QLineEdit;
class QLabel;
class QPushButton;

class TfrmExtract : public QDialog {
    Q_OBJECT
public:
    explicit TfrmExtract(QWidget *parent = nullptr);
    ~TfrmExtract() override;

    void FormCreate();
    // Accepts the dialog, or removes the forbidden characters from the name
    // and raises the message that lists them (the dialog stays open).
    void btnSaveClick();

    TDriveComboBox *DriveComboBox1;
    TDirectoryListBox *dlbDirectory;
    QLabel *Label1;
    QLineEdit *ebFileName;
    QLabel *Label2;
    QComboBox *cbFileType;
    QPushButton *btnSave;
    QPushButton *btnCancel;

private:
    std::unique_ptr<Ui::TfrmExtract> ui;
};

// The characters a file name may not hold, in the order they are reported.
inline constexpr char16_t kForbiddenFileNameChars[] = u"\\/:*?\"<>|";

// The folder the dialog opens in: the user's "Personal" shell folder, else
// "Desktop", else empty (the process's current directory).
QString GetDefaultFolder();

// The extension a file type adds when the typed name has no full stop.
QString ExtractFileExtension(int fileType);

// Folder, one separator, the typed name, and the type's extension when the
// name has no full stop. A root folder gives a single separator.
QString ComposeExtractFileName(const QString &folder, const QString &typedName, int fileType);
