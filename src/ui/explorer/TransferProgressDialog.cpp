#include "TransferProgressDialog.h"

#include <QCoreApplication>
#include <QLocale>
#include <QProgressDialog>

namespace {

// Often enough to paint smoothly, seldom enough not to slow a fast transfer down.
constexpr qint64 EventIntervalMs = 10;
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
    if (m_cancelled)
        return false;
    const bool showing = !m_dialog && m_started.elapsed() >= m_delayMs;
    if (showing)
        show();
    if (m_dialog)
        showFigures(done, total);
    if (showing || !m_lastEvents.isValid() || m_lastEvents.elapsed() >= EventIntervalMs) {
        m_lastEvents.start();
        // Before the dialog shows, clicks and keys wait for the transfer's end; once it shows,
        // its modality keeps them from every other window.
        QCoreApplication::processEvents(m_dialog ? QEventLoop::AllEvents
                                                 : QEventLoop::ExcludeUserInputEvents);
    }
    m_cancelled = m_dialog && m_dialog->wasCanceled();
    return !m_cancelled;
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

void TransferProgressDialog::showFigures(qint64 done, qint64 total) {
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
}
