#pragma once

// Stand-ins for the drive list and the directory list of the save dialog.
// The directory list shows the current path's folders from the root down,
// then the sub-folders of the current folder; moving it to a folder makes that
// folder the process's current directory.

#include <QComboBox>
#include <QListWidget>

class TDirectoryListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TDirectoryListBox(QWidget *parent = nullptr);

    QString directory() const { return m_directory; }
    // Moves the list to `path` and makes it the current directory. A folder
    // that cannot be entered leaves the list where it was and returns false.
    bool setDirectory(const QString &path);

signals:
    void directoryChanged(const QString &path);

private:
    void fill();
    void enterItem(QListWidgetItem *item);
    QString m_directory;
};

class TDriveComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBox(QWidget *parent = nullptr);

    // The mounted volume that holds `path` becomes the current item.
    void selectDriveOf(const QString &path);
    QString drive() const;

signals:
    void driveChosen(const QString &root);
};
