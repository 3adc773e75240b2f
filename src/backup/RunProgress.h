#pragma once

#include <QString>
#include <functional>

// How far a run has come: the file being packed and bytes packed of all, then the archive
// being sent and bytes sent.
struct RunProgress {
    enum class Stage { Packing, Sending };
    Stage stage = Stage::Packing;
    QString item;
    qint64 done = 0;
    qint64 total = 0;
};

using RunProgressSink = std::function<void(const RunProgress&)>;
