#pragma once

#include "backup/SessionRunner.h"
#include "common/DateTime.h"
#include "common/Messages.h"

#include <QStringList>
#include <functional>

inline DateTime at(const QString& storedText) {
    const auto value = DateTime::fromStoredText(storedText);
    if (!value) {
        qFatal("bad date in test: %s", qPrintable(storedText));
    }
    return *value;
}

// A clock that only moves when the test moves it.
struct ManualClock {
    DateTime now;
    Clock clock() {
        return [this] {
            return now;
        };
    }
};

// Records what happens, in order, in one list shared by the message seam and the runner, so
// that a test sees runs and messages interleaved as the user would.
struct Journal {
    QStringList events;
};

// Answers every message at once; `onShow` runs while the message is "open", as a modal box
// lets timer ticks through.
struct ScriptedMessages : Messages {
    explicit ScriptedMessages(Journal& journal)
        : journal(journal) {}
    void show(const QString& text) override {
        journal.events << QStringLiteral("message ") + text;
        if (onShow) {
            onShow(text);
        }
    }
    Journal& journal;
    std::function<void(const QString&)> onShow;
};

struct RecordingRunner : SessionRunner {
    explicit RecordingRunner(Journal& journal)
        : journal(journal) {}
    void runSession(const BackupSession& session) override {
        journal.events << QStringLiteral("run ") + session.name;
        if (onRun) {
            onRun(session);
        }
    }
    Journal& journal;
    std::function<void(const BackupSession&)> onRun;
};
