#include "FHistory.h"

#include "common/Error.h"
#include "store/RunHistory.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { Time, Session, Outcome, Archive, Size, Destination, ColumnCount };

QString outcomeText(const RunRecord& run) {
    QString text = outcomeWord(run.outcome);
    if (run.kind == RunKind::CaughtUp) {
        text += QStringLiteral(" (caught up)");
    } else if (run.kind == RunKind::Restore) {
        text += QStringLiteral(" (restore)");
    }
    return text;
}

} // namespace

FHistory::FHistory(RunHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_history(history)
    , m_lvRuns(new QTreeWidget)
    , m_lvLines(new QTreeWidget)
    , m_cmdRestore(new QPushButton(QStringLiteral("&Restore…")))
    , m_cmdClose(new QPushButton(QStringLiteral("Close")))
    , m_lines(m_lvLines) {
    setObjectName(QStringLiteral("FHistory"));
    setWindowTitle(QStringLiteral("Vestrel History"));
    resize(820, 480);

    m_lvRuns->setObjectName(QStringLiteral("lvRuns"));
    m_lvRuns->setAccessibleName(QStringLiteral("Runs"));
    m_lvRuns->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("Session"),
                               QStringLiteral("Outcome"), QStringLiteral("Archive"),
                               QStringLiteral("Size"), QStringLiteral("Destination")});
    m_lvRuns->setRootIsDecorated(false);
    m_lvRuns->setUniformRowHeights(true);
    m_lvRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lvRuns->setIconSize(QSize(16, 16));
    m_lvRuns->header()->setStretchLastSection(true);
    connect(m_lvRuns, &QTreeWidget::currentItemChanged, this, &FHistory::showLines);

    m_lvLines->setObjectName(QStringLiteral("lvLines"));
    m_lvLines->setAccessibleName(QStringLiteral("Lines of the selected run"));
    m_lvLines->header()->setStretchLastSection(true);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(m_lvRuns);
    splitter->addWidget(m_lvLines);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    m_cmdRestore->setObjectName(QStringLiteral("cmdRestore"));
    m_cmdRestore->setAccessibleName(QStringLiteral("Restore from the selected run's archive"));
    connect(m_cmdRestore, &QPushButton::clicked, this, [this] {
        if (const RunRecord* run = selectedRun())
            emit restoreRequested(run->sessionId, run->archive);
    });
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdRestore);
    buttons->addWidget(m_cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    layout->addLayout(buttons);
    setTabOrder(m_lvRuns, m_lvLines);
    setTabOrder(m_lvLines, m_cmdRestore);
    setTabOrder(m_cmdRestore, m_cmdClose);

    reload();
}

void FHistory::reload() {
    const qint64 selected =
        m_lvRuns->currentItem()
            ? m_runs.at(m_lvRuns->indexOfTopLevelItem(m_lvRuns->currentItem())).id
            : 0;
    try {
        m_runs = m_history.newest();
    } catch (const VError& error) {
        m_runs.clear();
        writeToStandardError(QStringLiteral("vestrel: the history cannot be read: ") +
                             errorLineText(error.record()));
    }
    m_lvRuns->clear();
    QTreeWidgetItem* current = nullptr;
    for (const RunRecord& run : m_runs) {
        auto* item = new QTreeWidgetItem(m_lvRuns);
        item->setText(Time, run.start.toStoredText());
        item->setText(Session, run.session);
        item->setText(Outcome, outcomeText(run));
        item->setIcon(Outcome, eventLogIcon(isBad(run.outcome) ? IconFailure : IconSuccess));
        item->setText(Archive, run.archive);
        item->setText(Size,
                      run.archive.isEmpty() ? QString() : locale().formattedDataSize(run.bytes));
        item->setTextAlignment(Size, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(Destination, run.destination);
        if (run.id == selected || !current) {
            current = item;
        }
    }
    for (int c = 0; c < ColumnCount - 1; ++c) {
        m_lvRuns->resizeColumnToContents(c);
    }
    m_lvRuns->setCurrentItem(current);
    showLines();
}

const RunRecord* FHistory::selectedRun() const {
    const int row =
        m_lvRuns->currentItem() ? m_lvRuns->indexOfTopLevelItem(m_lvRuns->currentItem()) : -1;
    return row >= 0 && row < static_cast<int>(m_runs.size()) ? &m_runs[row] : nullptr;
}

void FHistory::showLines() {
    m_lines.clear();
    const RunRecord* selected = selectedRun();
    // A restore's archive came from another run: that run is the one to restore from.
    m_cmdRestore->setEnabled(selected && !selected->archive.isEmpty() &&
                             selected->kind != RunKind::Restore);
    if (!selected) {
        return;
    }
    const RunRecord& run = *selected;
    if (run.outcome == RunOutcome::Missed) {
        m_lines.appendLine(
            QStringLiteral("Due at %1; Vestrel was not running").arg(run.start.toStoredText()),
            IconFailure);
    } else if (run.outcome == RunOutcome::Interrupted) {
        m_lines.appendLine(QStringLiteral("The run was cut off: Vestrel ended before it did"),
                           IconFailure);
    }
    for (const RunLine& line : run.lines) {
        m_lines.appendLine(line.text, line.ok ? IconSuccess : IconFailure);
    }
}

void FHistory::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
