#pragma once

#include "backup/EventLog.h"

#include <QIcon>

class QTreeWidget;

// The two 16 × 16 images of a log list: 1 a green check mark, 2 a red cross.
QIcon eventLogIcon(int icon);

// A log list shown in a one-column list view without a header: each line an item with its small
// icon. Items cannot be edited. Sets the list view up for that.
class ListViewLog : public EventLog {
public:
    explicit ListViewLog(QTreeWidget* list);

    void appendLine(const QString& text, int icon) override;
    void clear() override;

private:
    QTreeWidget* m_list;
};
