#pragma once

#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <memory>

class QProgressDialog;
class QWidget;

// The progress of one transfer that runs on a thread of its own, fed by the FTP client's
// progress hook there. Once the transfer has run longer than the delay, a modal dialog shows
// the file, the bytes moved and a Cancel button.
class TransferProgressDialog {
public:
    TransferProgressDialog(QWidget* parent, QString action, int delayMs);
    ~TransferProgressDialog();
    TransferProgressDialog(const TransferProgressDialog&) = delete;
    TransferProgressDialog& operator=(const TransferProgressDialog&) = delete;

    // The client's hook, on the transfer's thread: keeps the figures; false once cancelled.
    bool update(qint64 done, qint64 total);
    // On the user-interface thread, while the transfer runs: shows the latest figures.
    void refresh();
    bool cancelled() const { return m_cancelled; }

private:
    void show();

    QWidget* m_parent;
    QString m_action;
    int m_delayMs;
    std::atomic<bool> m_cancelled = false;
    std::atomic<qint64> m_done = 0;
    std::atomic<qint64> m_total = 0;
    QElapsedTimer m_started;
    std::unique_ptr<QProgressDialog> m_dialog;
};
