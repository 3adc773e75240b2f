#include "TransferProgressDialog.h"

#include <QLocale>
#include <QProgressDialog>

namespace {
constexpr int Steps = 1000;
} // namespace

TransferProgressDialog::TransferProgressDialog(QWidget* parent, QString action, int delayMs)
    : m_parent(parent)
    , m_action(std::move(action))
    , m_delayMs(delayMs) {
    m_started.start();
}

TransferProgressDialog::~TransferProgressDialog() = default;

bool TransferProgressDialog::update(qint64 done, qint64 total) {
    m_done = done;
    m_total = total;
    return !m_cancelled;
}

void TransferProgressDialog::refresh() {
    if (!m_dialog && m_started.elapsed() >= m_delayMs)
        show();
    if (!m_dialog)
        return;
    const qint64 done = m_done;
    const qint64 total = m_total;
    const QLocale locale;
    QString figures = locale.toString(done);
    if (total > 0) {
        figures += QStringLiteral(" of ") + locale.toString(total);
        m_dialog->setRange(0, Steps);
        m_dialog->setValue(static_cast<int>(std::min<qint64>(done, total) * Steps / total));
    } else {
        // The server did not say how large the file is.
        m_dialog->setRange(0, 0);
    }
    m_dialog->setLabelText(m_action + QLatin1Char('\n') + figures + QStringLiteral(" bytes"));
    m_cancelled = m_dialog->wasCanceled();
}

void TransferProgressDialog::show() {
    m_dialog = std::make_unique<QProgressDialog>(m_parent);
    m_dialog->setObjectName(QStringLiteral("TransferProgress"));
    m_dialog->setWindowTitle(m_parent ? m_parent->windowTitle() : QString());
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(0);
    m_dialog->setMinimumWidth(360);
    m_dialog->setAccessibleName(m_action);
    m_dialog->show();
}
