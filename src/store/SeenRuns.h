#pragma once

#include <QString>
#include <optional>

// The newest run the user has seen in the history window, kept in a small file of the data
// folder, so that a failure keeps its mark in the tray across restarts until it is looked at.
class SeenRuns {
public:
    explicit SeenRuns(QString path);

    // Nothing when no history window was ever opened (or the file cannot be read).
    std::optional<qint64> newestSeen() const;
    // False when the file cannot be written; the mark then only lasts this session.
    bool markSeen(qint64 newestId) const;

private:
    QString m_path;
};
