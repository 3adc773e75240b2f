#include "RunRecord.h"

#include <array>

namespace {
constexpr std::array KindWords{"scheduled", "now", "caught_up", "command", "restore"};
constexpr std::array OutcomeWords{"running", "ok", "failed", "nothing", "missed", "interrupted"};

template <typename Enum, std::size_t N>
Enum fromWord(const std::array<const char*, N>& words, const QString& word, Enum fallback) {
    for (std::size_t i = 0; i < N; ++i) {
        if (word == QLatin1String(words[i])) {
            return static_cast<Enum>(i);
        }
    }
    return fallback;
}
} // namespace

QString kindWord(RunKind kind) {
    return QLatin1String(KindWords.at(static_cast<std::size_t>(kind)));
}

QString outcomeWord(RunOutcome outcome) {
    return QLatin1String(OutcomeWords.at(static_cast<std::size_t>(outcome)));
}

RunKind kindFromWord(const QString& word) {
    return fromWord(KindWords, word, RunKind::Scheduled);
}

RunOutcome outcomeFromWord(const QString& word) {
    // A word this version does not know is no success.
    return fromWord(OutcomeWords, word, RunOutcome::Failed);
}

bool isBad(RunOutcome outcome) {
    return outcome != RunOutcome::Ok && outcome != RunOutcome::Running;
}

QString archiveStateWord(ArchiveState state) {
    switch (state) {
    case ArchiveState::Waiting:
        return QStringLiteral("waiting");
    case ArchiveState::SentLater:
        return QStringLiteral("sent_later");
    case ArchiveState::Deleted:
        return QStringLiteral("deleted");
    case ArchiveState::AsLeft:
        break;
    }
    return {};
}

ArchiveState archiveStateFromWord(const QString& word) {
    for (const ArchiveState state :
         {ArchiveState::Waiting, ArchiveState::SentLater, ArchiveState::Deleted}) {
        if (word == archiveStateWord(state)) {
            return state;
        }
    }
    return ArchiveState::AsLeft;
}
