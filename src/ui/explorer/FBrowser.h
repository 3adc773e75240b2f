#pragma once

#include "ftp/cFTP.h"

#include <QWidget>
#include <functional>
#include <memory>

class EventLog;
class LocalLists;
class QListWidget;
class QPushButton;
class QTreeWidget;
class Settings;

// The FTP explorer: local drive, folder and file lists on the left, the entries of the current
// remote folder (LFTP) on the right, buttons to copy both ways, delete and go to the root, and
// the log of every action (LV). It logs on each time it becomes the program's active window and
// off when it closes.
class FBrowser : public QWidget {
    Q_OBJECT

public:
    FBrowser(Settings& settings, FtpFactory ftpFactory, QWidget* parent = nullptr);
    ~FBrowser() override;

    // Lists the current remote folder in LFTP: plain folders first, then everything else.
    void FillLFTP();
    // How long a transfer runs before its progress dialog shows.
    void setProgressDelay(int milliseconds) { m_progressDelayMs = milliseconds; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void activated();
    void copyToFtp();
    void copyToLocal();
    void deleteOnFtp();
    void dirUp();
    void enterFolders();
    // Runs a transfer with its progress dialog; false when it failed or was cancelled.
    bool transfer(const QString& action, const std::function<bool(cFTP&)>& operation,
                  bool& cancelled);
    // Runs one user action; an error it raises becomes a failure line that ends it.
    void act(const std::function<void()>& action);
    void logRecordedError();
    cFTP& ftp();
    QStringList selectedRemoteNames() const;
    QPushButton* pictureButton(const char* name, const QString& tip, const QIcon& image,
                               const QRect& place);

    Settings& m_settings;
    FtpFactory m_ftpFactory;
    std::unique_ptr<cFTP> m_ftp;
    LocalLists* m_local;
    QListWidget* m_lftp;
    QTreeWidget* m_lv;
    std::unique_ptr<EventLog> m_log;
    bool m_busy = false;
    int m_progressDelayMs = 1000;
};
