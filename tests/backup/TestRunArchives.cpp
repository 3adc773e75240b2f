#include "BackupTestKit.h"
#include "FtpServer.h"
#include "TestDatabase.h"
#include "backup/BackupRunner.h"
#include "backup/HistoryWriter.h"
#include "store/RunHistory.h"
#include "store/SessionStore.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The archives of a session over many runs: what is packed, what is deleted, what is sent later.
class TestRunArchives : public QObject {
    Q_OBJECT

    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    QStringList onServer() const { return QDir(m_server.pathOf("pub")).entryList(QDir::Files); }

    FtpServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorString())); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void skip_data() {
        QTest::addColumn<QString>("patterns");
        QTest::addColumn<QStringList>("left"); // entries not in the archive
        QTest::addColumn<int>("skipped");
        QTest::newRow("name pattern, not a longer name")
            << "*.tmp" << QStringList{"data/a.tmp", "data/m/b.tmp"} << 2;
        QTest::newRow("folder pattern: the folder and all it holds")
            << "node_modules/" << QStringList{"data/m/node_modules/", "data/m/node_modules/x/y.js"}
            << 1;
        QTest::newRow("none match") << "*.bak" << QStringList() << 0;
    }
    void skip() {
        QFETCH(QString, patterns);
        QFETCH(QStringList, left);
        QFETCH(int, skipped);
        QStringList files{"a.tmp", "a.tmpl", "m/b.tmp", "m/node_modules/x/y.js", "n/node_modules"};
        for (const QString& file : files) {
            QVERIFY(writeFile(path("data/" + file), "x"));
        }
        Settings settings(path("Vodidore.ini"));
        settings.WriteOption("Store", path("."));
        EventLogLines log;
        RunSession session;
        session.skip = patterns;
        QVERIFY(!sessionRun(settings).LPack({path("data")}, log, {}, session).failed());
        const QStringList names = readArchive(path(ArchiveName)).names;
        for (const QString& name : files.replaceInStrings(QRegularExpression("^"), "data/") +
                                       QStringList{"data/m/node_modules/"}) {
            QCOMPARE(names.contains(name), !left.contains(name));
        }
        QCOMPARE(log.lines().size(), size_t(1));
        QCOMPARE(log.lines()[0].text,
                 QString("Skipped %1 files and folders that match the Skip patterns").arg(skipped));
    }

    void history_data() {
        // Runs of sessions A and B, all in one minute, with a file "2612051430 (9).zip" the
        // program did not make in the store and on the server. Steps: "A", "B" run; "A-" runs
        // with a refused log-on; "A!" is to fail; "A/x" uploads into /pub/x/; "gone:N" deletes run
        // N's local archive; "dir:N" puts a folder in place of run N's remote one; "block" /
        // "unblock" put a folder where uploads of "2612051430.zip" travel.
        QTest::addColumn<int>("keep");
        QTest::addColumn<bool>("upload");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("store"); // "N" for "2612051430", F the foreign file
        QTest::addColumn<QStringList>("server");
        QTest::addColumn<QStringList>("lastLines"); // "+"/"x", then the text ("*": any)
        const QString sent = "+Connection succesful|+File transfer succesfully|"
                             "+File @/store/N.zip deleted";
        const auto lines = [](const QString& text) {
            return text.split('|', Qt::SkipEmptyParts);
        };
        QTest::newRow("store keeps the last 2; another session's and a foreign file stay")
            << 2 << false << "B;A;A;A" << QStringList{"N (3).zip", "N (4).zip", "F", "N.zip"}
            << QStringList{"F"} << lines("+Deleted the old archive @/store/N (2).zip");
        QTest::newRow("server keeps the last 2, each deleted once")
            << 2 << true << "B;A;A;A;A" << QStringList{"F"}
            << QStringList{"N (2).zip", "N (4).zip", "F", "N.zip"}
            << lines(sent + "|+Deleted the old archive /pub/N (3).zip from the server");
        QTest::newRow("keep 0 keeps all")
            << 0 << true << "A;A;A" << QStringList{"F"}
            << QStringList{"N (2).zip", "N (3).zip", "F", "N.zip"} << lines(sent);
        QTest::newRow("a failed upload is not kept on the server")
            << 2 << true << "A;A-;gone:2;A" << QStringList{"F"}
            << QStringList{"N (2).zip", "F", "N.zip"} << lines(sent);
        QTest::newRow("stranded archive sent first, then counted")
            << 2 << true << "A;A-;A" << QStringList{"F"}
            << QStringList{"N (2).zip", "N (3).zip", "F"}
            << lines("+Connection succesful|+File transfer succesfully|+Sent @/store/N.zip, which "
                     "an earlier run could not send, as /pub/N (2).zip|+File @/store/N.zip deleted|"
                     "+File transfer succesfully|+File @/store/N (2).zip deleted|"
                     "+Deleted the old archive /pub/N.zip from the server");
        QTest::newRow("stranded archive sent once")
            << 0 << true << "A;A-;A;A" << QStringList{"F"}
            << QStringList{"N (2).zip", "N (3).zip", "N (4).zip", "F", "N.zip"} << lines(sent);
        QTest::newRow("stranded archive failing again stays, then goes")
            << 0 << true << "A-;block;A!;unblock;A" << QStringList{"F"}
            << QStringList{"N (2).zip", "N (3).zip", "F", "N.zip"}
            << lines("+Connection succesful|+File transfer succesfully|+Sent @/store/N.zip, which "
                     "an earlier run could not send, as /pub/N.zip|+File @/store/N.zip deleted|"
                     "+File transfer succesfully|+File @/store/N (2).zip deleted");
        QTest::newRow("refused remote delete: a red cross, the run goes on")
            << 1 << true << "A/x;dir:1;A" << QStringList{"F"} << QStringList{"F", "N.zip"}
            << lines(sent + "|xCould not delete the old archive /pub/x/N.zip from the server*");
        QTest::newRow("the run's own archive under an earlier run's name")
            << 1 << false << "A;gone:1;A" << QStringList{"F", "N.zip"} << QStringList{"F"}
            << QStringList();
        QTest::newRow("another session's archive under an earlier run's name")
            << 1 << false << "A;gone:1;B;A" << QStringList{"N (2).zip", "F", "N.zip"}
            << QStringList{"F"} << QStringList();
    }
    void history() {
        QFETCH(int, keep);
        QFETCH(bool, upload);
        QFETCH(QString, steps);
        QFETCH(QStringList, store);
        QFETCH(QStringList, server);
        QFETCH(QStringList, lastLines);
        for (const QString& name :
             QDir(m_server.pathOf("pub")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries)) {
            QVERIFY(QFile::remove(m_server.pathOf("pub/" + name)) ||
                    QDir(m_server.pathOf("pub/" + name)).removeRecursively());
        }
        const QString foreign = "2612051430 (9).zip";
        QVERIFY(writeFile(path("store/" + foreign), "mine") &&
                writeFile(m_server.pathOf("pub/" + foreign), "mine") &&
                writeFile(path("data/a.txt"), "a") && QDir().mkpath(m_server.pathOf("pub/x")));
        TestDatabase db;
        Settings settings(path("Vodidore.ini"));
        switchUploadOn(settings, m_server);
        settings.WriteOption("isFTP", upload ? "1" : "0");
        settings.WriteOption("Store", path("store"));
        SessionStore sessions(db.db());
        RunHistory history(db.db());
        BackupRunner runner(sessions, sessionRun(settings));
        runner.setHistory(&history);
        std::map<QString, BackupSession> byName;
        for (const QString name : {"A", "B"}) {
            byName[name] = *sessions.session(addSession(db, name, {path("data")}));
            byName[name].keep = keep;
        }
        std::vector<RunRecord> runs;
        const QString block = m_server.pathOf("pub/2612051430.zip.part");
        for (const QString& step : steps.split(';')) {
            const QString n = step.section(':', 1);
            if (step.startsWith("gone:")) {
                QVERIFY(QFile::remove(runs.at(n.toInt() - 1).destination));
            } else if (step.startsWith("dir:")) {
                const QString remote = runs.at(n.toInt() - 1).destination.section(':', 1);
                QVERIFY(QFile::remove(m_server.pathOf(remote.mid(1))));
                QVERIFY(writeFile(m_server.pathOf(remote.mid(1) + "/inside"), "x"));
            } else if (step == "block" || step == "unblock") {
                QVERIFY(step == "block" ? QDir().mkpath(block + "/x")
                                        : QDir(block).removeRecursively());
            } else {
                settings.WriteOption("Passw", step == "A-" ? "wrong" : m_server.password());
                settings.WriteOption("FTPPAth", step == "A/x" ? "/pub/x/" : "/pub/");
                HistoryWriter writer(history);
                runs.push_back(runner.run(byName[step.left(1)], RunKind::Now, writer));
                QCOMPARE(runs.back().outcome == RunOutcome::Ok,
                         !step.contains(QRegularExpression("[-!]$")));
            }
        }
        const auto named = [&foreign](QStringList names) {
            return names.replaceInStrings(foreign, "F").replaceInStrings("2612051430", "N");
        };
        QCOMPARE(named(listing(path("store"))), store);
        QCOMPARE(named(onServer()), server);
        QCOMPARE(runs.back().lines.size(), size_t(lastLines.size()));
        for (qsizetype i = 0; i < lastLines.size(); ++i) {
            const RunLine& line = runs.back().lines[size_t(i)];
            const QString text = lastLines[i].mid(1).replace("@", m_dir->path());
            const QRegularExpression whole(QRegularExpression::anchoredPattern(
                QRegularExpression::escape(text).replace("\\*", "[^\r\n]*")));
            QVERIFY2(whole.match(named({line.text})[0]).hasMatch(), qPrintable(line.text));
            QCOMPARE(line.ok, lastLines[i].startsWith('+'));
        }
    }
};

QTEST_GUILESS_MAIN(TestRunArchives)
#include "TestRunArchives.moc"
