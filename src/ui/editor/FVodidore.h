#pragma once

#include "EditorControls.h"
#include "common/DateTime.h"
#include "common/Messages.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

class QListWidgetItem;
class SessionStore;
struct BackupSession;
struct ScheduleCaptions;

// The session editor: every session in schedule order on the left, the selected one's schedule
// and files on the right. The panel is a working copy; only "Save Changes" writes it. "Close"
// asks before dropping unsaved edits; whoever opens the editor makes a new one the next time.
class FVodidore : public QWidget {
    Q_OBJECT

public:
    // Starts a run of the session as it is stored; the editor hands over its id and nothing else.
    using RunNow = std::function<void(int sessionId)>;

    FVodidore(SessionStore& store, Clock clock, Messages& messages, RunNow runNow = {},
              QWidget* parent = nullptr);
    ~FVodidore() override;

    // Rebuilds the list, selects the row of `selId` (the last row when no row has it) and loads
    // it into the panel.
    void FillList(int selId = 0);
    // Deletes the selected session with its files and selects the row that takes its place.
    void DeleteSession();

    const EditorControls& controls() const { return m_ui; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connectControls();
    void loadRow(const QListWidgetItem* row);
    void showSession(const BackupSession& session);
    void showNextTime(const BackupSession& session);
    void fillRows(int selId);
    // Shows again what the scheduler changed meanwhile (a run, a stale pass): the rows and
    // "Next time:", never the boxes being edited.
    void refreshSchedule();
    std::optional<int> selectedId() const;
    ScheduleCaptions captions() const;

    void frequencyChanged();
    void enableForFrequency(int freq);
    void dayPreset(int option);
    // The day option whose days are ticked is the chosen one; none when no option matches.
    void showPresetOfDays();
    int checkedDays() const;
    QString startFolder() const;
    // What the panel holds, dates and times as the values they read as.
    QStringList panelState() const;
    bool hasUnsavedEdits() const;
    // Asks what becomes of unsaved edits before they would be dropped; false: keep the panel
    // as it is (Cancel, or a Save that did not go through).
    bool settleUnsavedEdits(const QString& question);
    void changeRowTo(int id);
    void showDateHelp(const QString& text);
    bool leaveDateBox();
    bool leaveTimeBox();

    void now();
    void add();
    void saveChanges();
    bool saveSession();
    void addFile();
    void addFolder();
    void deleteFile();
    void runNow();

    // Database failures end the operation and are shown, never passed into the event loop.
    void reportingErrors(const std::function<void()>& operation);

    SessionStore& m_store;
    Clock m_clock;
    Messages& m_messages;
    RunNow m_runNow;
    EditorControls m_ui;
    bool m_filling = false;
    QStringList m_shown;     // panelState() as loaded
    QStringList m_schedules; // what refreshSchedule compares with
};
