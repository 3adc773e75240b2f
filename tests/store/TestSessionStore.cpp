#include "TestDatabase.h"
#include "TestFiles.h"
#include "common/Error.h"
#include "store/DbConnection.h"
#include "store/SessionStore.h"

#include <QTemporaryDir>
#include <QTest>

class TestSessionStore : public QObject {
    Q_OBJECT

private slots:
    void emptyAndUnreadableValuesAreEmpty() {
        TestDatabase t;
        t.exec("insert into Tasks (id, Name, date, ntime, Freq, Week, Days) "
               "values (7, NULL, 'soon', NULL, NULL, NULL, NULL)");
        const auto s = SessionStore(t.db()).session(7);
        QVERIFY(s);
        QCOMPARE(s->name, QString(""));
        QVERIFY(!s->date && !s->ntime && !s->freq && !s->week && !s->days);
    }

    void updateWritesOnlyThatRow() {
        TestDatabase t;
        const int a = t.addSession("a", "2026-01-01 10:00:00", QString(), 2, 3, 0);
        t.addSession("b", "2026-01-01 11:00:00", QString(), 1, 0, 62);
        SessionStore store(t.db());

        const auto read = *store.session(a);
        auto s = read;
        s.ntime = DateTime::fromParts(2026, 1, 6, 10, 0, 0);
        s.week = 2;
        QVERIFY(store.updateSchedule(read, s));
        // A row changed since it was read (a Save while a message was open) keeps the change.
        QVERIFY(!store.updateSchedule(read, s));
        QCOMPARE(t.scalar("select group_concat(ifnull(ntime, '-') || '/' || Week || '/' || Days, "
                          "' ') from Tasks"),
                 QString("2026-01-06 10:00:00/2/0 -/0/62"));

        // Keep and Skip come with the upgrade of a database made from the first schema.
        s.name = "renamed\r\nline";
        s.autopack = true;
        s.days.reset();
        s.keep = 3;
        s.skip = "*.tmp\nnode_modules/";
        store.updateSession(s);
        const auto back = *store.session(a);
        QCOMPARE(back.name, s.name);
        QVERIFY(back.autopack && !back.days);
        QCOMPARE(std::pair(back.keep, back.skip), std::pair(s.keep, s.skip));
    }

    // A failing insert leaves the old files. The editor's save and delete are the editor test's.
    void filesAreReplacedAsAWhole() {
        TestDatabase t;
        const int id = t.addSession("a", "2026-01-01 10:00:00", QString(), 0);
        SessionStore store(t.db());
        store.replaceSessionFiles(id, {"/c", "/d"});
        t.exec("create trigger refuse before insert on files when new.Name = '/bad' "
               "begin select raise(abort, 'refused'); end");
        QVERIFY_THROWS_EXCEPTION(VError, store.replaceSessionFiles(id, {"/x", "/y", "/bad"}));
        QCOMPARE(store.sessionFiles(id), QStringList({"/c", "/d"}));
        store.replaceSessionFiles(id, {});
        QCOMPARE(store.sessionFiles(id), QStringList());
    }

    void addReusesAnUnsavedSession() {
        TestDatabase t;
        SessionStore store(t.db());
        QVERIFY(!store.firstUnnamedSession());
        const DateTime now = *DateTime::fromParts(2026, 12, 6, 20, 0, 0);
        const int id = store.insertSession(now);
        const auto s = *store.session(id);
        QCOMPARE(s.name, QString(""));
        QCOMPARE(s.date, std::optional<DateTime>(now));
        QCOMPARE(s.freq, std::optional<int>(0));
        QVERIFY(!s.ntime);
        QCOMPARE(store.firstUnnamedSession(), std::optional<int>(id));
    }

    // A missing file is the start-up test's to refuse.
    void openRefusesAForeignFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("vestrel.mdb");
        QVERIFY(writeFile(path, "this is not a database, only some text that is long enough"));
        QVERIFY_THROWS_EXCEPTION(VError, DbConnection::open(path));
    }
};

QTEST_GUILESS_MAIN(TestSessionStore)
#include "TestSessionStore.moc"
