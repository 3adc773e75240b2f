#include "HistoryWriter.h"

#include "common/Error.h"
#include "store/RunHistory.h"

namespace {
void report(const VError& error) {
    writeToStandardError(localNow().toStoredText() + QStringLiteral(" run history not written: ") +
                         errorLineText(error.record()));
}
} // namespace

HistoryWriter::HistoryWriter(RunHistory& history)
    : m_history(history) {
}

void HistoryWriter::runStarted(const RunRecord& run) {
    try {
        m_id = m_history.begin(run);
    } catch (const VError& error) {
        report(error);
    }
}

void HistoryWriter::appendLine(const QString& text, int icon) {
    m_lines.push_back({text, icon != IconFailure});
}

void HistoryWriter::clear() {
    m_lines.clear();
}

void HistoryWriter::runEnded(const RunRecord& run) {
    if (m_id == 0) {
        return;
    }
    RunRecord ended = run;
    ended.id = m_id;
    ended.lines = m_lines;
    try {
        m_history.finish(ended);
    } catch (const VError& error) {
        report(error);
    }
}
