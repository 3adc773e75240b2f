#include "BackupTestKit.h"
#include "FtpServer.h"
#include "TestDatabase.h"
#include "WatchedRunner.h"
#include "backup/StderrRunLog.h"
#include "schedule/RunQueue.h"
#include "schedule/SchedulerTick.h"
#include "store/SessionStore.h"
#include "ui/events/FEvent.h"
#include "ui/events/FEventWatch.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

class TestFEvent : public QObject {
    Q_OBJECT

    struct Recorder : Messages {
        void show(const QString& text) override { shown << text; }
        QStringList shown;
    };

    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    static DateTime at(const QString& stored) { return *DateTime::fromStoredText(stored); }
    QList<FEvent*> eventWindows() const {
        QList<FEvent*> out;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* e = qobject_cast<FEvent*>(w)) {
                out << e;
            }
        }
        return out;
    }

    FtpServer m_server;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
    QList<QUrl> m_opened; // what the window handed to the desktop to open
    DateTime m_now;       // for the scheduler; the runs themselves happen at RunTime

public slots:
    void open(const QUrl& url) { m_opened << url; }

private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorString())); }

    void init() {
        m_db = std::make_unique<TestDatabase>();
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<Settings>(path("Vodidore.ini"));
        m_settings->WriteOption("Store", path("store"));
        QVERIFY(writeFile(path("data/a.txt"), "a") && QDir().mkpath(path("store")) &&
                QDir().mkpath(path("data/My Documents")));
        switchUploadOn(*m_settings, m_server);
    }

    void cleanup() {
        qDeleteAll(eventWindows());
        m_db.reset();
    }

    void runnerShowsTheRun_data() {
        QTest::addColumn<bool>("hidden"); // the session's "Run Hidden"
        QTest::addColumn<bool>("fails");
        QTest::addColumn<bool>("shown");
        QTest::newRow("visible session") << false << false << true;
        QTest::newRow("run hidden") << true << false << false;
        QTest::newRow("run hidden but failed") << true << true << true;
    }

    void runnerShowsTheRun() {
        QFETCH(bool, hidden);
        QFETCH(bool, fails);
        QFETCH(bool, shown);
        addSession(*m_db, "Other", {"/other/file"});
        const QStringList files{path("data/a.txt"), path("data/My Documents")};
        const int id = addSession(*m_db, "Docs", files, hidden);
        m_settings->WriteOption("Ftp", fails ? QString() : m_server.host());
        SessionStore store(m_db->db());
        bool finished = false;
        const BackupSession session = *store.session(id);
        BackupRunner(store, sessionRun(*m_settings))
            .start(session, RunKind::Now, watchInEventWindow(session),
                   [&finished](const RunRecord&) { finished = true; });
        QTRY_VERIFY(finished);

        const QStringList texts =
            fails ? QStringList{"No Host Address Specified! (0x800407D7)",
                                "The archive was kept at " + path("store/" + ArchiveName)}
                  : QStringList{"Connection succesful", "File transfer succesfully",
                                "File " + path("store/" + ArchiveName) + " deleted"};
        const QList<FEvent*> windows = eventWindows();
        QCOMPARE(windows.size(), shown ? 1 : 0);
        if (!shown) {
            return;
        }
        FEvent* window = windows.first();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->SessionId(), id);
        QCOMPARE(window->findChild<QPlainTextEdit*>("txtEvent")->toPlainText(), "Docs");
        QCOMPARE(window->failureLogged(), fails);
        auto* lv = window->findChild<QTreeWidget*>("LV");
        QCOMPARE(lv->topLevelItemCount(), texts.size());
        const qint64 icon = eventLogIcon(fails ? IconFailure : IconSuccess).cacheKey();
        QVERIFY(eventLogIcon(IconSuccess).pixmap(16).toImage() !=
                eventLogIcon(IconFailure).pixmap(16).toImage());
        for (int i = 0; i < texts.size(); ++i) {
            QCOMPARE(lv->topLevelItem(i)->text(0), texts[i]);
            QCOMPARE(lv->topLevelItem(i)->icon(0).cacheKey(), icon);
        }
        // Log lines cannot be edited: not even editItem(), which ignores the edit triggers.
        QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
        lv->editItem(lv->topLevelItem(0));
        QCOMPARE(lv->findChildren<QLineEdit*>().size(), 0);

        auto* list = window->findChild<QListWidget*>("lstFiles");
        QCOMPARE(list->count(), 2);
        QDesktopServices::setUrlHandler("file", this, "open");
        const QPoint second = list->visualItemRect(list->item(1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(files[1])});
        m_opened.clear();

        // Shown windows live until the user closes them: with Esc from the log, or "Close".
        QPointer<FEvent> alive(window);
        lv->setFocus();
        if (fails) {
            QTest::keyClick(lv, Qt::Key_Escape);
        } else {
            QTest::mouseClick(window->findChild<QPushButton*>("cmdClose"), Qt::LeftButton);
        }
        QTRY_VERIFY(alive.isNull());
    }

    // With the scheduler and the run queue, without a display: a session due while another one
    // runs (a run ends only through the event loop) waits and runs after it, long past its minute;
    // Run Now waits its turn too. The lines go to standard error; no widget is made at all.
    void dueDuringARunRunsAfterIt() {
        TestDatabase& db = *m_db;
        const int a = db.addSession("A", "2004-08-02 10:00:00", "2004-08-13 10:00:00", 1, 0, 127);
        const int b = db.addSession("B", "2004-08-02 10:05:00", "2004-08-13 10:05:00", 1, 0, 127);
        db.exec("insert into files select id, '" + path("data/a.txt") + "' from Tasks");

        SessionStore store(db.db());
        const int widgetsBefore = QApplication::allWidgets().size();
        QStringList lines;
        WatchedRunner runner(BackupRunner(store, sessionRun(*m_settings)),
                             [&lines](const BackupSession& session) {
                                 return std::make_shared<StderrRunLog>(
                                     session.name, [] { return RunTime; },
                                     [&lines](const QString& line) { lines << line; });
                             });
        const Clock clock = [this] {
            return m_now;
        };
        Recorder messages;
        RunQueue queue(store, clock, messages, runner);
        SchedulerTick tick(store, clock, messages, queue);

        m_now = at("2004-08-13 10:00:10");
        tick.tick();
        QVERIFY(!queue.idle());
        queue.runNow(b);
        for (const char* later :
             {"2004-08-13 10:00:40", "2004-08-13 10:05:10", "2004-08-13 10:09:00"}) {
            m_now = at(later);
            tick.tick();
        }
        QTRY_VERIFY_WITH_TIMEOUT(queue.idle(), 60000);
        QCOMPARE(QApplication::allWidgets().size(), widgetsBefore);

        // Each run's three lines, each naming its session; a failed line keeps its text.
        lines.replaceInStrings(
            QRegularExpression("^2026-12-05 14:30:15 \\[ok\\] ([AB]): (Connection succesful|"
                               "File transfer succesfully|File .*/store/2612051430.zip deleted)$"),
            "\\1");
        QCOMPARE(lines, QStringList({"A", "A", "A", "B", "B", "B", "B", "B", "B"}));
        QCOMPARE(messages.shown, QStringList(3, "Vestrel Session Complete!"));
        // Run Now leaves the time alone; the scheduled runs moved both on from their minutes.
        QCOMPARE(store.session(a)->ntime, at("2004-08-14 10:00:00"));
        QCOMPARE(store.session(b)->ntime, at("2004-08-14 10:05:00"));
    }
};

QTEST_MAIN(TestFEvent)
#include "TestFEvent.moc"
