#include "LocalLists.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QListWidget>
#include <QScrollBar>
#include <QStorageInfo>
#include <QTimer>
#include <QTreeView>

LocalLists::LocalLists(QWidget* parent)
    : QObject(parent)
    , m_drives(new QComboBox(parent))
    , m_folders(new QTreeView(parent))
    , m_files(new QListWidget(parent))
    , m_model(new QFileSystemModel(this)) {
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_model->setReadOnly(true);
    m_model->setRootPath(QDir::rootPath());
    m_folders->setModel(m_model);
    m_folders->setHeaderHidden(true);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_folders->hideColumn(column);
    m_files->setSelectionMode(QAbstractItemView::ExtendedSelection);

    fillDrives();
    connect(m_folders->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &LocalLists::folderChosen);
    connect(m_drives, &QComboBox::activated, this, &LocalLists::driveChosen);
    // The tree fills in the background, in several steps that each can move the chosen folder
    // down: it is brought into view again after each.
    for (QObject* part :
         {static_cast<QObject*>(m_folders), static_cast<QObject*>(m_folders->viewport()),
          static_cast<QObject*>(m_folders->verticalScrollBar())})
        part->installEventFilter(this);
    connect(m_model, &QFileSystemModel::directoryLoaded, this, &LocalLists::revealFolder);
    connect(m_model, &QFileSystemModel::rowsInserted, this, &LocalLists::revealFolder);
    connect(m_model, &QFileSystemModel::layoutChanged, this, &LocalLists::revealFolder);
    showFolder(QDir::currentPath());
}

QStringList LocalLists::selectedFiles() const {
    QStringList paths;
    const QDir folder(m_folder);
    for (int i = 0; i < m_files->count(); ++i) {
        if (m_files->item(i)->isSelected())
            paths << folder.filePath(m_files->item(i)->text());
    }
    return paths;
}

void LocalLists::refreshFiles() {
    m_files->clear();
    if (!m_folder.isEmpty())
        m_files->addItems(QDir(m_folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void LocalLists::fillDrives() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
            roots << volume.rootPath();
    }
    const QString current = QStorageInfo(QDir::currentPath()).rootPath();
    if (!current.isEmpty() && !roots.contains(current))
        roots << current;
    roots.sort();
    m_drives->addItems(roots);
    m_drives->setCurrentIndex(std::max(0, static_cast<int>(roots.indexOf(current))));
}

void LocalLists::driveChosen(int index) {
    showFolder(m_drives->itemText(index));
}

void LocalLists::showFolder(const QString& path) {
    const QModelIndex folder = m_model->index(path);
    m_folders->setCurrentIndex(folder);
    m_folders->expand(folder);
    m_folders->scrollTo(folder);
    m_revealing = true;
    folderChosen();
}

void LocalLists::revealFolder() {
    if (!m_revealing)
        return;
    // After the model's own sorting of what arrived, which it also puts off to the event loop.
    QTimer::singleShot(0, m_folders, [this] {
        if (m_revealing)
            m_folders->scrollTo(m_folders->currentIndex());
    });
}

bool LocalLists::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
        revealFolder();
        break;
    // Once the user moves around in the tree, it stays where the user puts it.
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        m_revealing = false;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void LocalLists::folderChosen() {
    const QString folder = m_model->filePath(m_folders->currentIndex());
    if (folder == m_folder && !folder.isEmpty())
        return;
    m_folder = folder;
    refreshFiles();
}
