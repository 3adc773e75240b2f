#include "backup/SkipPatterns.h"

#include <QTest>

class TestSkipPatterns : public QObject {
    Q_OBJECT

private slots:
    void skips_data() {
        QTest::addColumn<QString>("patterns");
        QTest::addColumn<QString>("path"); // below the packed folder; "/" at the end: a folder
        QTest::addColumn<bool>("skipped");
        QTest::newRow("name at any depth") << "*.tmp"
                                           << "sub/deep/a.tmp" << true;
        QTest::newRow("not a part of a name") << "*.tmp"
                                              << "a.tmpl" << false;
        QTest::newRow("folder pattern, folder") << "x\n node_modules/ "
                                                << "web/node_modules/" << true;
        QTest::newRow("folder pattern, file") << "node_modules/"
                                              << "node_modules" << false;
        QTest::newRow("hidden folder") << ".cache/"
                                       << ".cache/" << true;
        QTest::newRow("path pattern") << "build/*.o"
                                      << "build/a.o" << true;
        QTest::newRow("path pattern, deeper") << "build/*.o"
                                              << "src/build/a.o" << false;
        QTest::newRow("star stays in one name") << "build/*"
                                                << "build/sub/a.o" << false;
        QTest::newRow("top only") << "/top"
                                  << "sub/top/" << false;
        QTest::newRow("set") << "[!a]bc"
                             << "xbc" << true;
        QTest::newRow("set, excluded") << "[!a]bc"
                                       << "abc" << false;
        QTest::newRow("dots are plain") << "a.b"
                                        << "axb" << false;
    }
    void skips() {
        QFETCH(QString, patterns);
        QFETCH(QString, path);
        QFETCH(bool, skipped);
        const SkipPatterns skip(patterns);
        QVERIFY2(skip.problem().isEmpty(), qPrintable(skip.problem()));
        QCOMPARE(skip.skips(path.endsWith('/') ? path.chopped(1) : path, path.endsWith('/')),
                 skipped);
    }

    void refusesWhatIsNoPattern() {
        QCOMPARE(SkipPatterns("ok\n[ab").problem(),
                 "\"[ab\" is not a pattern: a \"[\" is never closed");
        QVERIFY(!SkipPatterns(" / ").problem().isEmpty());
        QVERIFY(SkipPatterns("\n  \n").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSkipPatterns)
#include "TestSkipPatterns.moc"
