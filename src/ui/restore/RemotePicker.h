#pragma once

#include <QDialog>

class cFTP;
class QTreeWidget;

// Lists the server's folders through a logged-on client, from the folder the log-on put the
// user in; a double-click enters a folder, "Up" goes to its parent, and OK (or a double-click
// on a file) picks the selected file.
class RemotePicker : public QDialog {
    Q_OBJECT

public:
    RemotePicker(cFTP& ftp, QWidget* parent = nullptr);
    // The absolute path of the picked file on the server.
    QString picked() const { return m_picked; }

private:
    void list(const QString& folder);
    void open();

    cFTP& m_ftp;
    QTreeWidget* m_entries;
    QString m_folder;
    QString m_picked;
};

// "folder/name" with one "/" between.
QString joinRemotePath(const QString& folder, const QString& name);
