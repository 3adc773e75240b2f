#pragma once

#include "TrustQuestion.h"
#include "ftp/cFTP.h"

#include <QSet>
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
// remote folder (LFTP, with sizes and dates) on the right, buttons to copy both ways, delete and
// go up, and the log of every action (LV). It logs on each time it becomes the program's active
// window and off when it closes. The folder the server puts the user in at log-on is its top:
// remote paths are built from there, so it works on servers that lock users into their home
// and on those that do not. Transfers run on a thread of their own.
class FBrowser : public QWidget {
    Q_OBJECT

public:
    FBrowser(Settings& settings, FtpFactory ftpFactory, QWidget* parent = nullptr);
    ~FBrowser() override;

    // Lists the current remote folder in LFTP: plain folders first, then everything else.
    void FillLFTP();
    // How long a transfer runs before its progress dialog shows.
    void setProgressDelay(int milliseconds) { m_progressDelayMs = milliseconds; }
    void setTrustQuestion(TrustQuestion question) { m_trustQuestion = std::move(question); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void activated();
    // After a log-on refused an unknown host key or an untrusted certificate: shows its
    // fingerprint and asks once; on Yes keeps it and logs on again. True when that succeeded.
    bool trustAndRetry(cFTP& client, const QString& host, const QString& user,
                       const QString& password);
    void copyToFtp();
    void copyToLocal();
    void deleteOnFtp();
    void dirUp();
    void enterFolders();
    // Where the options' "Path in FTP" leads, when that folder exists.
    void openPathInFtp();
    QString currentFolder();
    // Runs a transfer with its progress dialog and logs how it ended; false when it was
    // cancelled, which ends the transfers still to come.
    bool transfer(const QString& action, const std::function<bool(cFTP&)>& operation);
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
    QTreeWidget* m_lftp;
    QString m_top;
    QTreeWidget* m_lv;
    std::unique_ptr<EventLog> m_log;
    bool m_busy = false;
    bool m_asking = false;
    TrustQuestion m_trustQuestion;
    // Fingerprints the user declined while the window is open: not asked again.
    QSet<QString> m_declined;
    int m_progressDelayMs = 1000;
};
