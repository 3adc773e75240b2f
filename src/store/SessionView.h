#pragma once

#include "SessionStore.h"

#include <vector>

// A snapshot of all sessions in schedule order, re-read on demand (after an Add or a Delete).
class SessionView {
public:
    explicit SessionView(const SessionStore& store);

    void requery();
    const std::vector<BackupSession>& rows() const { return m_rows; }

private:
    const SessionStore& m_store;
    std::vector<BackupSession> m_rows;
};
