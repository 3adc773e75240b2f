#include "backup/EventLog.h"

#include <QTest>

class TestEventLog : public QObject {
    Q_OBJECT

private slots:
    void logErrorWritesTheCurrentErrorAndClearsIt_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("line");
        QTest::newRow("negative number as two's complement")
            << -2147219497 << "No Host Address Specified!"
            << "No Host Address Specified! (0x800407D7)";
        QTest::newRow("no leading zeros") << 53 << "Bad file name or number"
                                          << "Bad file name or number (0x35)";
        QTest::newRow("server reply joined on one line")
            << -2147219503 << "Cannot Connect\r\n530 Login incorrect.\r\n"
            << "Cannot Connect 530 Login incorrect. (0x800407D1)";
        QTest::newRow("line break before a space leaves one space") << 1 << "a\r\n b"
                                                                    << "a b (0x1)";
        QTest::newRow("three spaces become two, one pass") << 1 << "a   b"
                                                           << "a  b (0x1)";
        QTest::newRow("four spaces become two") << 1 << "a    b"
                                                << "a  b (0x1)";
        QTest::newRow("bare line feed is kept") << 1 << "a\nb"
                                                << "a\nb (0x1)";
    }

    void logErrorWritesTheCurrentErrorAndClearsIt() {
        QFETCH(int, number);
        QFETCH(QString, description);
        QFETCH(QString, line);
        EventLogLines log;
        recordCurrentError(number, description);
        LogError(log, IconFailure);
        LogError(log, IconSuccess); // nothing recorded any more
        const std::vector<EventLogLines::Line> expected{{line, IconFailure},
                                                        {QStringLiteral(" (0x0)"), IconSuccess}};
        QCOMPARE(log.lines(), expected);
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "TestEventLog.moc"
