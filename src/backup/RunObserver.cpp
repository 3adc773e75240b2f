#include "RunObserver.h"

void RunWatchers::runStarted(const RunRecord& run) {
    for (const auto& o : m_observers) {
        o->runStarted(run);
    }
}

void RunWatchers::pathsRead(const QStringList& paths) {
    for (const auto& o : m_observers) {
        o->pathsRead(paths);
    }
}

void RunWatchers::appendLine(const QString& text, int icon) {
    for (const auto& o : m_observers) {
        o->appendLine(text, icon);
    }
}

void RunWatchers::clear() {
    for (const auto& o : m_observers) {
        o->clear();
    }
}

void RunWatchers::progress(const RunProgress& progress) {
    for (const auto& o : m_observers) {
        o->progress(progress);
    }
}

void RunWatchers::runEnded(const RunRecord& run) {
    for (const auto& o : m_observers) {
        o->runEnded(run);
    }
}
