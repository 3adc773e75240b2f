#pragma once

#include "backup/ArchiveCatalog.h"
#include "backup/Restore.h"
#include "ftp/cFTP.h"
#include "ui/look/PasswordQuestion.h"

#include <QTemporaryDir>
#include <QWidget>
#include <atomic>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QComboBox;
class Settings;
class ArchiveFile;

// The restore window: an archive from the history, a zip file, or a file on the server
// (downloaded to a temporary file first), shown as a tree of entries with sizes and dates.
// Ticked entries are restored into the target folder; "Check archive" reads every entry back.
// Long work runs on a thread of its own with progress and Cancel.
class FRestore : public QWidget {
    Q_OBJECT

public:
    FRestore(Settings& settings, FtpFactory ftpFactory, ArchiveCatalog& catalog,
             QWidget* parent = nullptr);
    ~FRestore() override;

    // Shows the archive's entries; false, with a red-cross line, when it cannot be read.
    bool openArchive(const QString& path);
    // Downloads the server's file first, then opens it.
    bool openRemote(const QString& remotePath);
    // Selects that session's archive of that name and opens it; a red-cross line when the
    // history knows it no longer.
    bool showArchive(int sessionId, const QString& name);
    void setExistingQuestion(ExistingQuestion question) { m_question = std::move(question); }
    // Asked for the password of an encrypted archive the options' password does not open.
    void setPasswordQuestion(PasswordQuestion question) { m_askPassword = std::move(question); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void chooseFile();
    void chooseRemote();
    void chooseTarget();
    void fillArchives();
    bool openListed(QTreeWidgetItem* item);
    void restoreTicked();
    void checkOpenArchive();
    // Finds the password that opens the archive: the options' one, else asked until it fits.
    bool unlock(const ArchiveFile& archive, const QString& name);
    QStringList tickedNames() const;
    void setBusy(bool busy);
    cFTP* connectedFtp();
    // Runs work off the user-interface thread with the progress bar and Cancel; the work's
    // progress hook stores into m_done and m_total and reads m_cancel.
    template <typename Result> Result withProgress(const std::function<Result()>& work);

    Settings& m_settings;
    FtpFactory m_ftpFactory;
    ArchiveCatalog& m_catalog;
    std::unique_ptr<cFTP> m_ftp;
    QTemporaryDir m_downloads;
    QString m_archive;
    QString m_archiveName;
    ExistingQuestion m_question;
    PasswordQuestion m_askPassword;
    QString m_password;
    QComboBox* m_sessions;
    QTreeWidget* m_archives;
    QLabel* m_archiveLabel;
    QTreeWidget* m_tree;
    QLineEdit* m_target;
    QPushButton* m_restore;
    QPushButton* m_check;
    QPushButton* m_cancel;
    QProgressBar* m_progress;
    QTreeWidget* m_lv;
    std::unique_ptr<EventLog> m_log;
    bool m_busy = false;
    std::atomic<bool> m_cancelled = false;
    std::atomic<qint64> m_done = 0;
    std::atomic<qint64> m_total = 0;
};
