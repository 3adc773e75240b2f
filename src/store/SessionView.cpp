#include "SessionView.h"

SessionView::SessionView(const SessionStore& store)
    : m_store(store) {
    requery();
}

void SessionView::requery() {
    m_rows = m_store.allSessions();
}
