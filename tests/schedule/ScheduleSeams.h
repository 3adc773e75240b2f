#pragma once

#include "common/DateTime.h"
#include "common/Messages.h"
#include "schedule/SessionRunner.h"

#include <QStringList>
#include <deque>
#include <functional>

// A date-time from its stored text; a bad one in a test ends the test.
inline DateTime at(const QString& storedText) {
    return DateTime::fromStoredText(storedText).value();
}

// Messages and runs in order in one list. `onShow` runs while a message is open, as a modal box
// lets timer ticks through; with `holdRuns` a run goes on until finishRun(), as in the background.
struct Journal : Messages, SessionRunner {
    void show(const QString& text) override {
        events << "message " + text;
        if (onShow)
            onShow(text);
    }
    // A run that catches up says so: "run A (caught up)".
    void runSession(const BackupSession& session, RunKind kind, Finished finished) override {
        events << "run " + session.name + (kind == RunKind::CaughtUp ? " (caught up)" : "");
        if (holdRuns)
            running.push_back(std::move(finished));
        else
            finished(outcome);
    }
    void finishRun() {
        Finished finished = std::move(running.front());
        running.pop_front();
        finished(outcome);
    }
    QStringList events;
    std::function<void(const QString&)> onShow;
    bool holdRuns = false;
    RunOutcome outcome = RunOutcome::Ok;
    std::deque<Finished> running;
};
