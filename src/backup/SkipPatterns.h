#pragma once

#include <QRegularExpression>
#include <QString>
#include <vector>

// The "Skip" patterns of a session, one a line, read the way .gitignore lines are: "*", "?" and
// "[...]" match within one name; a pattern without "/" matches a file or folder of that name at
// any depth ("*.tmp" skips "a.tmp" but not "a.tmpl"); one ending in "/" matches folders only,
// with all they hold ("node_modules/"); one with "/" elsewhere matches the path below the
// session's folder ("build/*.o", "/top-only"). Blank lines are ignored.
class SkipPatterns {
public:
    // Raises nothing; a pattern that cannot be read is named by problem().
    explicit SkipPatterns(const QString& lines = {});

    // The first pattern that cannot be read, with why; empty when all can.
    const QString& problem() const { return m_problem; }
    bool isEmpty() const { return m_patterns.empty(); }

    // `relative` is the path below the packed folder, "/"-separated, without a leading "/".
    bool skips(const QString& relative, bool isFolder) const;

private:
    struct Pattern {
        QRegularExpression expression;
        bool foldersOnly = false;
        bool wholePath = false;
    };
    std::vector<Pattern> m_patterns;
    QString m_problem;
};
