#pragma once

#include <QElapsedTimer>
#include <QString>
#include <memory>

class QProgressDialog;
class QWidget;

// The progress of one transfer that runs on the user-interface thread, fed by the FTP client's
// progress hook. Once the transfer has run longer than the delay, a modal dialog shows the file,
// the bytes moved and a Cancel button; until the transfer ends the program's windows keep
// painting, but no window other than that dialog takes input.
class TransferProgressDialog {
public:
    TransferProgressDialog(QWidget* parent, QString action, int delayMs);
    ~TransferProgressDialog();
    TransferProgressDialog(const TransferProgressDialog&) = delete;
    TransferProgressDialog& operator=(const TransferProgressDialog&) = delete;

    // The client's hook: false once the user has cancelled.
    bool update(qint64 done, qint64 total);
    bool cancelled() const { return m_cancelled; }

private:
    void show();
    void showFigures(qint64 done, qint64 total);

    QWidget* m_parent;
    QString m_action;
    int m_delayMs;
    bool m_cancelled = false;
    QElapsedTimer m_started;
    QElapsedTimer m_lastEvents;
    std::unique_ptr<QProgressDialog> m_dialog;
};
