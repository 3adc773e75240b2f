#include "QuestionAnswers.h"
#include "TestDatabase.h"
#include "schedule/AsText.h"
#include "schedule/SchedulerTick.h"
#include "store/SessionStore.h"
#include "ui/editor/FVodidore.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

namespace {

struct ShownMessages : Messages {
    void show(const QString& text) override { shown << text; }
    QStringList shown;
};

// Runs each session at once, noting its id.
struct NotedRuns : SessionRunner {
    void runSession(const BackupSession& session, RunKind, Finished finished) override {
        ids << session.id;
        finished(RunOutcome::Ok);
    }
    QList<int> ids;
};

// Answers the next file or folder dialog with `path`, or cancels it when `path` is empty; notes
// the folder it opened at.
void answerNextDialog(const QString& path, QString* openedAt = nullptr) {
    QTimer::singleShot(0, [path, openedAt] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (openedAt) {
            *openedAt = dialog->directory().absolutePath();
        }
        // selectFile() clears what is selected but leaves the name box alone while it has the
        // focus: type into it too.
        dialog->selectFile(path);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path);
        QMetaObject::invokeMethod(dialog, path.isEmpty() ? "reject" : "accept");
    });
}

} // namespace

class TestFVodidore : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<SessionStore> m_store;
    std::unique_ptr<FVodidore> m_window;
    ShownMessages m_messages;
    QList<int> m_runs;
    DateTime m_now;

    // Whatever the editor shows, each control the user can reach is named for assistive tools.
    void open(int selId = 0) {
        m_window = std::make_unique<FVodidore>(
            *m_store, [this] { return m_now; }, m_messages, [this](int id) { m_runs << id; });
        m_window->FillList(selId);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        for (QWidget* w : m_window->findChildren<QWidget*>()) {
            if (w->focusPolicy() != Qt::NoFocus && w->isVisibleTo(m_window.get())) {
                const QString name =
                    QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
                QVERIFY2(!name.isEmpty(), qPrintable(w->objectName()));
            }
        }
    }
    template <typename T> static T fetched(const char* column) {
        return *static_cast<T*>(QTest::qData(column, qMetaTypeId<T>()));
    }
    template <typename W = QWidget> W* control(const QString& name) const {
        return m_window->findChild<W*>(name);
    }
    QString text(const QString& name) const { return control<QLineEdit>(name)->text(); }
    void click(const QString& name) const { QTest::mouseClick(control(name), Qt::LeftButton); }
    QListWidget* list() const { return control<QListWidget>("LV"); }
    QString selectedRow() const {
        const auto rows = list()->selectedItems();
        return rows.isEmpty() ? QString() : rows.first()->text();
    }
    QString selectedName() const {
        const auto rows = list()->selectedItems();
        return rows.isEmpty() ? QString()
                              : m_store->session(rows[0]->data(Qt::UserRole).toInt())->name;
    }
    QString rowText(int id) const { return AsText(*m_store->session(id)); }
    QString column(int id, const QString& name) const {
        return m_db->scalar(QString("select %1 from Tasks where id=%2").arg(name).arg(id));
    }
    QString wholeDatabase() const {
        return m_db->scalar("select group_concat(t, '|') from (select quote(id)||quote(Name)||"
                            "quote(date)||quote(ntime)||Freq||Week||Days as t from Tasks "
                            "union all select quote(id)||Name from files)");
    }
    int daily(const QString& name, int days = 0, const QString& ntime = "2026-12-06 08:00:00") {
        return m_db->addSession(name, "2026-12-01 08:00:00", ntime, 1, 0, days);
    }

private slots:
    void init() {
        m_db = std::make_unique<TestDatabase>();
        m_store = std::make_unique<SessionStore>(m_db->db());
        m_messages.shown.clear();
        m_runs.clear();
        m_now = *DateTime::fromStoredText("2026-12-05 14:30:45");
    }
    void cleanup() {
        m_window.reset();
        m_store.reset();
        m_db.reset();
    }

    void listsInScheduleOrderAndSelects_data() {
        QTest::addColumn<int>("given"); // the index of the session whose id FillList gets
        QTest::addColumn<int>("id");    // else this id
        QTest::addColumn<int>("row");
        QTest::newRow("unsaved first") << 0 << 0 << 0;
        QTest::newRow("names at equal times without regard to case") << 2 << 0 << 2;
        QTest::newRow("no id: the last") << -1 << 0 << 3;
        QTest::newRow("id of no session: the last") << -1 << 9999 << 3;
    }
    void listsInScheduleOrderAndSelects() {
        QFETCH(int, given);
        QFETCH(int, id);
        const QString at = "2026-12-06 10:00:00";
        const QList<int> ids = {
            m_db->addSession("Mail and calendar", "2026-11-30 09:30:00", QString(), 1, 0, 62),
            m_db->addSession("Photos", "2026-12-01 21:00:00", "2026-12-05 21:00:00", 2, 2),
            m_db->addSession("accounts", "2026-12-06 10:00:00", at, 3),
            m_db->addSession("Documents", "2026-12-06 10:00:00", at, 0)};
        open(given >= 0 ? ids[given] : id);
        for (int i = 0; i < ids.size(); ++i) {
            QCOMPARE(list()->item(i)->text(), rowText(ids[i]));
        }
        QFETCH(int, row);
        QCOMPARE(list()->selectedItems(), QList<QListWidgetItem*>({list()->item(row)}));
        QCOMPARE(text("txtMess"), m_store->session(ids[row])->name);
    }

    void loadsStoredSession_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<int>("freq");
        QTest::addColumn<int>("week");
        QTest::addColumn<int>("days");
        QTest::addColumn<QString>("shown"); // date box and time box
        QTest::addColumn<QString>("next");
        const QString at = "2026-12-05 14:30:45", shown = "12/05/26 14:30:00";
        const QString next = "Next time: 05 Dec 2026 - 14:30 (Saturday)";
        QTest::newRow("seconds cut") << at << 0 << 0 << 0 << shown << next;
        QTest::newRow("workdays") << "2026-12-02 07:05:00" << 1 << 0 << 62 << "12/02/26 07:05:00"
                                  << "Next time: 07 Dec 2026 - 07:05 (Monday)";
        QTest::newRow("no days") << at << 1 << 0 << 0 << shown
                                 << "Next time: 30 Dec 1899 - 00:00 (Saturday)";
        QTest::newRow("all days") << at << 1 << 0 << 127 << shown << next;
        QTest::newRow("Mo, We, Fr")
            << at << 1 << 0 << 42 << shown << "Next time: 07 Dec 2026 - 14:30 (Monday)";
        QTest::newRow("no week") << at << 2 << -1 << 0 << shown << next;
        QTest::newRow("monthly") << at << 3 << 0 << 0 << shown
                                 << "Next time: 05 Jan 2027 - 14:30 (Tuesday)";
    }
    void loadsStoredSession() {
        QFETCH(QString, date);
        QFETCH(int, freq);
        QFETCH(int, days);
        QFETCH(int, week);
        const int id = m_db->addSession("shown", date, QString(), freq, week, days);
        m_db->exec(QString("insert into files values (%1, '/b/second'), (%1, '/a/first')").arg(id));
        open(id);
        QTEST(text("txtDate") + " " + text("txtTime"), "shown");
        QTEST(control<QLabel>("lblNext")->text(), "next");
        QCOMPARE(control<QComboBox>("cmbFreq")->currentIndex(), freq);
        QCOMPARE(control<QComboBox>("cmbWeeks")->currentIndex(), week);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(control<QAbstractButton>(QString("chkDays_%1").arg(i))->isChecked(),
                     bool(days & (1 << i)));
        }
        QCOMPARE(control<QListWidget>("lstFiles")->item(0)->text(), "/b/second");
        // A day option shows chosen only while exactly its days are ticked.
        QCOMPARE(control<QAbstractButton>("optDays_0")->isChecked(), days == 127);
        QCOMPARE(control<QAbstractButton>("optDays_1")->isChecked(), days == 62);
        // Only what the frequency uses can be edited.
        QCOMPARE(control("cmbWeeks")->isEnabled(), freq == 2);
        QCOMPARE(control("chkDays_0")->isEnabled() && control("optDays_2")->isEnabled(), freq == 1);
    }

    void savesPanel_data() {
        // Steps: "name" clicks a control, "name=text" types into a box.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("stored"); // date and Days; empty: nothing written
        const QString at = "2026-12-01 08:00:00 ";
        QTest::newRow("workdays, Saturday") << QStringList{"optDays_1", "chkDays_6"} << at + "126";
        QTest::newRow("weekends") << QStringList{"optDays_2"} << at + "65";
        QTest::newRow("all, not Sunday") << QStringList{"optDays_0", "chkDays_0"} << at + "126";
        QTest::newRow("boxes empty: this minute")
            << QStringList{"txtDate=", "txtTime="} << "2026-12-05 14:30:00 0";
        QTest::newRow("typed") << QStringList{"txtDate=12/24/26", "txtTime=7:05"}
                               << "2026-12-24 07:05:00 0";
        QTest::newRow("a time in each box") << QStringList{"txtDate=14:30:00"} << "";
    }
    void savesPanel() {
        QFETCH(QStringList, steps);
        QFETCH(QString, stored);
        const int id = m_db->addSession("panel", "2026-12-01 08:00:00", QString(), 1, 0, 0);
        open();
        const QString before = wholeDatabase();
        for (const QString& step : steps) {
            step.contains('=')
                ? control<QLineEdit>(step.section('=', 0, 0))->setText(step.section('=', 1))
                : click(step);
        }
        control("lstFiles")->setFocus();
        click("cmdApply");
        QCOMPARE(stored.isEmpty() ? wholeDatabase() : column(id, "date||' '||Days"),
                 stored.isEmpty() ? before : stored);
        QCOMPARE(control("txtDate")->hasFocus(), stored.isEmpty());
    }

    // Keep and Skip are saved with the rest; a pattern that cannot be read is named, and nothing
    // is written.
    void savesKeepAndSkip_data() {
        QTest::addColumn<QString>("skip");
        QTest::addColumn<QString>("message");
        QTest::newRow("patterns") << "*.tmp\nnode_modules/"
                                  << "";
        QTest::newRow("unclosed bracket")
            << "ok\n[ab"
            << "Skip: \"[ab\" is not a pattern: a \"[\" is never closed";
    }
    void savesKeepAndSkip() {
        QFETCH(QString, skip);
        QFETCH(QString, message);
        const int id = m_db->addSession("panel", "2026-12-01 08:00:00", QString(), 1, 0, 0);
        open();
        const QString before = wholeDatabase();
        control<QSpinBox>("spnKeep")->setValue(3);
        control<QPlainTextEdit>("txtSkip")->setPlainText(skip);
        click("cmdApply");
        QCOMPARE(m_messages.shown.join(""), message);
        QCOMPARE(message.isEmpty() ? column(id, "Keep||'|'||Skip") : wholeDatabase(),
                 message.isEmpty() ? "3|" + skip : before);
    }

    void addTakesUntitledSessionAgain() {
        const int kept = daily("kept", 127);
        open();
        click("cmdAdd");
        const int added = m_db->scalar("select max(id) from Tasks").toInt();
        QCOMPARE(selectedRow(), rowText(added));
        control<QComboBox>("cmbFreq")->setCurrentIndex(3);
        click("cmdApply"); // with the empty title
        m_now = m_now.addDays(1);
        list()->setCurrentItem(list()->findItems(rowText(kept), Qt::MatchExactly)[0]);
        click("cmdAdd");
        QCOMPARE(m_db->scalar("select count(*) from Tasks"), "2");
        QCOMPARE(column(added, "date||' '||Freq"), "2026-12-06 14:31:00 0");
        QCOMPARE(selectedRow(), rowText(added));
    }

    void leavingDateOrTimeBox_data() {
        // The box, what is typed, how the focus leaves (Tab or a click on "Save Changes"), and
        // what the box then shows; nothing shown: the box keeps the focus and the text.
        QTest::addColumn<QStringList>("c");
        QTest::newRow("seconds dropped, click")
            << QStringList{"txtTime", "7:05:59", "click", "07:05:00"};
        QTest::newRow("short date") << QStringList{"txtDate", "2/3/04", "tab", "02/03/2004"};
        QTest::newRow("bad time") << QStringList{"txtTime", "25:00", "tab", ""};
        QTest::newRow("bad time, click") << QStringList{"txtTime", "7:5", "click", ""};
        QTest::newRow("bad date, click") << QStringList{"txtDate", "2/30/2026", "click", ""};
        QTest::newRow("one-digit year") << QStringList{"txtDate", "2/3/4", "tab", "02/03/2004"};
        QTest::newRow("ISO, saved") << QStringList{"txtDate", "2026-12-24", "click", "12/24/26"};
        QTest::newRow("locale") << QStringList{"txtDate", "24.12.26", "tab", "12/24/2026", "de"};
    }
    void leavingDateOrTimeBox() {
        QFETCH(QStringList, c);
        const int id = m_db->addSession("unsaved", "2026-12-01 10:00:00", QString(), 1, 0, 2);
        QLocale::setDefault(QLocale(c.value(4, "C")));
        open();
        auto* edit = control<QLineEdit>(c[0]);
        edit->setFocus();
        edit->setText(c[1]);
        c[2] == "click" ? click("cmdApply") : QTest::keyClick(edit, Qt::Key_Tab);
        QCOMPARE(edit->text(), c[3].isEmpty() ? c[1] : c[3]);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(edit->hasFocus(), c[3].isEmpty());
        // What is not read is said under the box, not left to be guessed.
        QCOMPARE(control("lblDateHelp")->isVisible(), c[3].isEmpty());
        QCOMPARE(column(id, "ntime").isEmpty(), c[2] == "tab" || c[3].isEmpty());
    }

    // The files go in list order; a failing write leaves the session and its files as they were.
    void savesFilesInListOrderOrNothing() {
        const int id = daily("files");
        // A file, a folder and a file without a dot in its name.
        const QStringList paths = {m_db->path(), QFileInfo(m_db->path()).path(),
                                   QCoreApplication::applicationFilePath()};
        m_db->exec(QString("insert into files values (%1, '/old/a'), (%1, '/old/b')").arg(id));
        open();
        control<QListWidget>("lstFiles")->clear();
        const std::pair<QString, QString> steps[] = {
            {"cmdAddFile", paths[0]}, {"cmdAddFolder", paths[1]}, {"cmdAddFile", ""},
            {"cmdAddFolder", ""},     {"cmdAddFile", paths[2]},   {"cmdAddFile", paths[2]}};
        for (const auto& [button, answer] : steps) {
            answerNextDialog(answer);
            click(button);
        }
        control<QListWidget>("lstFiles")->setCurrentRow(3);
        click("cmdDelFile");
        click("cmdApply");
        QCOMPARE(m_store->sessionFiles(id), paths);

        m_db->exec("create trigger refuse before insert on files begin "
                   "select raise(abort, 'disk full'); end");
        const QString before = wholeDatabase();
        control<QLineEdit>("txtMess")->setText("after");
        click("cmdApply");
        QCOMPARE(wholeDatabase(), before);
        QVERIFY(m_messages.shown.join('|').contains("disk full"));
    }

    void deleteSelectsNeighbour_data() {
        // Sessions, the row deleted, by the Delete key or else the list's context menu, and the
        // row selected then (-1: the list is empty and the panel shows what it showed).
        QTest::addColumn<QList<int>>("c");
        QTest::newRow("last of three") << QList<int>{3, 2, true, 1};
        QTest::newRow("middle of three") << QList<int>{3, 1, true, 2};
        QTest::newRow("only one") << QList<int>{1, 0, false, -1};
    }
    void deleteSelectsNeighbour() {
        QFETCH(QList<int>, c);
        const int sessions = c[0], deleted = c[1], selected = c[3];
        QList<int> ids;
        for (int i = 0; i < sessions; ++i) {
            ids << daily(QString("s%1").arg(i), 1 << i);
            m_db->exec(QString("insert into files values (%1, '/f')").arg(ids.last()));
        }
        open(ids[deleted]);
        list()->setFocus();
        QuestionAnswers answers({QMessageBox::Yes});
        c[2] ? QTest::keyClick(list(), Qt::Key_Delete) : list()->actions().first()->trigger();
        QCOMPARE(answers.asked,
                 {QString("Delete the session \"s%1\" and its file list?").arg(deleted)});
        QCOMPARE(m_db->scalar("select (select count(*) from Tasks)||(select count(*) from files)"),
                 QString("%1%1").arg(sessions - 1));
        QCOMPARE(list()->count(), sessions - 1);
        QCOMPARE(text("txtMess"), QString("s%1").arg(selected < 0 ? deleted : selected));
        QCOMPARE(selectedRow(), selected < 0 ? QString() : rowText(ids[selected]));
    }

    // Edits are never dropped nor a session deleted without a question; the answer decides.
    void asksBeforeLosingAnything_data() {
        QTest::addColumn<QString>("action"); // on "first", its title edited unless "unedited"
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("after"); // stored title, window open, runs, row, panel title
        const QString save = "Save the changes to \"edited\"";
        const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
        const int keep = QMessageBox::Save, drop = QMessageBox::Discard;
        // clang-format off
        QTest::newRow("close, Cancel") << "close" << cancel << save + " before closing?" << "first 1 0 first edited";
        QTest::newRow("close, Save") << "close" << keep << save + " before closing?" << "edited 0 0 edited edited";
        QTest::newRow("row, Cancel") << "row" << cancel << save + "?" << "first 1 0 first edited";
        QTest::newRow("row, Save") << "row" << keep << save + "?" << "edited 1 0 second second";
        QTest::newRow("row, Discard") << "row" << drop << save + "?" << "first 1 0 second second";
        QTest::newRow("Run Now, Yes") << "cmdRunNow" << yes << save + " before running it? No runs it as it was last saved." << "edited 1 1 edited edited";
        QTest::newRow("delete, No") << "delete unedited" << no << "Delete the session \"first\" and its file list?" << "first 1 0 first first";
        // clang-format on
    }
    void asksBeforeLosingAnything() {
        QFETCH(QString, action);
        QFETCH(int, answer);
        const int first = daily("first", 2, "2026-12-07 08:00:00");
        daily("second", 4, "2026-12-08 08:00:00");
        open(first);
        control<QLineEdit>("txtMess")->setText(action.endsWith("unedited") ? "first" : "edited");
        QuestionAnswers answers({QMessageBox::StandardButton(answer)});
        action.startsWith("close")    ? void(m_window->close())
        : action == "row"             ? list()->setCurrentRow(1)
        : action.startsWith("delete") ? list()->actions().first()->trigger()
                                      : click(action);
        QTRY_COMPARE(answers.asked.size(), 1);
        QTest::qWait(20);
        QTEST(answers.asked.value(0), "asked");
        QTEST(QStringList({column(first, "Name"), QString::number(m_window->isVisible()),
                           QString::number(m_runs.size()), selectedName(), text("txtMess")})
                  .join(' '),
              "after");
    }

    // A one-time session is saved only for a time to come; a repeating one may start earlier.
    void savesOnlyTimesToCome_data() {
        QTest::addColumn<int>("freq");
        QTest::addColumn<QString>("time"); // typed into the time box; the date is today
        QTest::addColumn<QString>("next"); // empty: refused, nothing written
        // clang-format off
        QTest::newRow("one time, earlier today") << 0 << "9:00" << "";
        QTest::newRow("one time, this minute") << 0 << "14:30" << "";
        QTest::newRow("one time, next minute") << 0 << "14:31" << "Next time: 05 Dec 2026 - 14:31 (Saturday)";
        QTest::newRow("monthly, earlier today") << 3 << "9:00" << "Next time: 05 Jan 2027 - 09:00 (Tuesday)";
        // clang-format on
    }
    void savesOnlyTimesToCome() {
        QFETCH(QString, next);
        open(daily("later", 127));
        control<QComboBox>("cmbFreq")->setCurrentIndex(fetched<int>("freq"));
        control<QLineEdit>("txtDate")->setText("12/05/2026");
        control<QLineEdit>("txtTime")->setText(fetched<QString>("time"));
        const QString before = wholeDatabase();
        click("cmdApply");
        QCOMPARE(m_messages.shown.join(""),
                 next.isEmpty() ? "This time has passed. Choose a later date or time." : "");
        QCOMPARE(wholeDatabase() == before ? "" : control<QLabel>("lblNext")->text(), next);
    }

    // The scheduler meets the editor: an added session waits for its Save, even one taken again
    // with a past next run time, and "Next time:" follows a run or a stale pass of the shown one.
    void schedulerAndEditor_data() {
        QTest::addColumn<QString>("name"); // empty: added again; else due at 14:31 today
        QTest::addColumn<int>("late");     // seconds after "now" the tick comes
        QTest::addColumn<int>("runs");
        QTest::addColumn<QString>("next");
        // clang-format off
        QTest::newRow("added again") << "" << 5 << 0 << "Next time: 05 Dec 2026 - 14:31 (Saturday)";
        QTest::newRow("run") << "shown" << 20 << 1 << "Next time: 06 Dec 2026 - 14:31 (Sunday)";
        QTest::newRow("stale pass") << "shown" << 3600 << 0 << "Next time: 06 Dec 2026 - 14:31 (Sunday)";
        // clang-format on
    }
    void schedulerAndEditor() {
        QFETCH(QString, name);
        open(name.isEmpty()
                 ? daily("", 127, "2026-12-02 08:00:00")
                 : m_db->addSession(name, "2026-12-01 14:31:00", "2026-12-05 14:31:00", 1, 0, 127));
        NotedRuns runs;
        RunQueue queue(
            *m_store, [this] { return m_now; }, m_messages, runs);
        SchedulerTick tick(
            *m_store, [this] { return m_now; }, m_messages, queue);
        name.isEmpty() ? click("cmdAdd") : control<QLineEdit>("txtMess")->setText("edited");
        QVERIFY(control("txtMess")->hasFocus() || !name.isEmpty());
        m_now = m_now.addSeconds(fetched<int>("late"));
        tick.tick();
        QTEST(int(runs.ids.size()), "runs");
        QTRY_COMPARE(control<QLabel>("lblNext")->text(), fetched<QString>("next"));
    }

    // The file and folder pickers open at the folder of the selected path, else at home.
    void pickersOpenNearTheFiles_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("selected"); // a path under the test's folder, or none
        // clang-format off
        QTest::newRow("file, none: home") << "cmdAddFile" << "";
        QTest::newRow("folder, a folder") << "cmdAddFolder" << ".";
        QTest::newRow("file, a file") << "cmdAddFile" << "tasks.db";
        // clang-format on
    }
    void pickersOpenNearTheFiles() {
        QFETCH(QString, selected);
        const QString dir = QFileInfo(m_db->path()).absolutePath();
        const int id = daily("files");
        m_db->exec(QString("insert into files select %1, '%2/%3' where '%3' <> ''")
                       .arg(id)
                       .arg(dir, selected));
        open(id);
        control<QListWidget>("lstFiles")->setCurrentRow(0);
        QString at;
        answerNextDialog("", &at);
        click(fetched<QString>("button"));
        QCOMPARE(at, selected.isEmpty() ? QDir::homePath() : dir);
    }

    // Run Now hands over the session as stored; nothing when no row is selected or the selected
    // session was deleted meanwhile.
    void runNowHandsOverTheStoredSession() {
        const int id = daily("run me", 127);
        open(id);
        control<QLineEdit>("txtMess")->setText("edited, not saved");
        const QString before = wholeDatabase();
        QuestionAnswers answers({QMessageBox::No});
        click("cmdRunNow");
        QCOMPARE(answers.asked.size(), 1);
        QCOMPARE(wholeDatabase() + text("txtMess"), before + "edited, not saved");
        list()->clearSelection();
        click("cmdRunNow");
        list()->setCurrentRow(0);
        m_db->exec(QString("delete from Tasks where id=%1").arg(id));
        click("cmdRunNow");
        QCOMPARE(m_runs, QList<int>{id});
    }
};

QTEST_MAIN(TestFVodidore)
#include "TestFVodidore.moc"
