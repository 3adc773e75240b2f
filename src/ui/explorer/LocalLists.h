#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QComboBox;
class QFileSystemModel;
class QListWidget;
class QTreeView;
class QWidget;

// The local side of the explorer: the mounted volumes (Drive1), the folder tree (Dir1) and the
// files of the chosen folder (File1). A change of drive shows that drive's root folder; a
// change of folder lists its files. All three start at the process's current folder.
class LocalLists : public QObject {
    Q_OBJECT

public:
    explicit LocalLists(QWidget* parent);

    QComboBox* drives() const { return m_drives; }
    QTreeView* folders() const { return m_folders; }
    QListWidget* files() const { return m_files; }

    QString currentFolder() const { return m_folder; }
    // The full paths of the selected files, in list order.
    QStringList selectedFiles() const;
    // Lists the current folder's files again.
    void refreshFiles();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillDrives();
    void driveChosen(int index);
    void showFolder(const QString& path);
    void folderChosen();
    void revealFolder();

    QComboBox* m_drives;
    QTreeView* m_folders;
    QListWidget* m_files;
    QFileSystemModel* m_model;
    QString m_folder;
    bool m_revealing = false;
};
