#include "extract/DirectoryList.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStyle>

namespace {
constexpr int kPathRole = Qt::UserRole + 1;
}

TDirectoryListBox::TDirectoryListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemActivated, this, &TDirectoryListBox::enterItem);
    setDirectory(QDir::currentPath());
}

bool TDirectoryListBox::setDirectory(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isDir())
        return false;
    const QString clean = QDir::cleanPath(info.absoluteFilePath());
    if (!QDir::setCurrent(clean))
        return false;
    const bool changed = clean != m_directory;
    m_directory = clean;
    fill();
    if (changed)
        emit directoryChanged(m_directory);
    return true;
}

void TDirectoryListBox::fill()
{
    clear();
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);

    // The path from the root down, each level indented one step further.
    QStringList chain;
    for (QDir dir(m_directory);; ) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    int depth = 0;
    for (const QString &p : chain) {
        const QString name = QDir(p).isRoot() ? p : QFileInfo(p).fileName();
        auto *item = new QListWidgetItem(openIcon, QString(depth * 2, QLatin1Char(' ')) + name, this);
        item->setData(kPathRole, p);
        ++depth;
    }
    setCurrentRow(count() - 1);

    const QStringList children = QDir(m_directory).entryList(
        QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &child : children) {
        auto *item = new QListWidgetItem(closedIcon, QString(depth * 2, QLatin1Char(' ')) + child, this);
        item->setData(kPathRole, QDir(m_directory).absoluteFilePath(child));
    }
}

void TDirectoryListBox::enterItem(QListWidgetItem *item)
{
    if (item)
        setDirectory(item->data(kPathRole).toString());
}

TDriveComboBox::TDriveComboBox(QWidget *parent) : QComboBox(parent)
{
    // The root first, then every other mounted, ready volume.
    QStringList roots{QDir::rootPath()};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
            roots << volume.rootPath();
    }
    for (const QString &root : roots)
        addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), root, root);
    connect(this, &QComboBox::activated, this, [this](int index) {
        emit driveChosen(itemData(index).toString());
    });
}

void TDriveComboBox::selectDriveOf(const QString &path)
{
    // The longest mount root that contains the path.
    int best = 0, bestLength = -1;
    const QString clean = QDir::cleanPath(path);
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        const bool inside = clean == root || root == QDir::rootPath()
                            || clean.startsWith(root + QLatin1Char('/'));
        if (inside && root.size() > bestLength) {
            best = i;
            bestLength = int(root.size());
        }
    }
    setCurrentIndex(best);
}

QString TDriveComboBox::drive() const
{
    return currentData().toString();
}
