#include "backup/EventLog.h"

#include <QTest>

class TestEventLog : public QObject {
    Q_OBJECT

private slots:
    void errorLineText_data();
    void errorLineText();
    void logErrorAppendsAndClears();
    void logErrorWithNothingRecorded();
};

void TestEventLog::errorLineText_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("line");

    QTest::newRow("negative number as two's complement")
        << -2147219497 << "No Host Address Specified!"
        << "No Host Address Specified! (0x800407D7)";
    QTest::newRow("positive number without leading zeros") << 53 << "Bad file name or number"
                                                           << "Bad file name or number (0x35)";
    QTest::newRow("upper-case digits") << 0xABC << "x"
                                       << "x (0xABC)";
    QTest::newRow("nothing recorded") << 0 << ""
                                      << " (0x0)";
    QTest::newRow("server reply joined on one line")
        << -2147219503
        << "Cannot Connect to h using User and Password Parameters\r\n530 Login "
           "incorrect.\r\n"
        << "Cannot Connect to h using User and Password Parameters 530 Login incorrect. "
           "(0x800407D1)";
    QTest::newRow("line break before a space leaves one space") << 1 << "a\r\n b"
                                                                << "a b (0x1)";
    QTest::newRow("three spaces become two, one pass") << 1 << "a   b"
                                                       << "a  b (0x1)";
    QTest::newRow("four spaces become two") << 1 << "a    b"
                                            << "a  b (0x1)";
    QTest::newRow("bare line feed is kept") << 1 << "a\nb"
                                            << "a\nb (0x1)";
}

void TestEventLog::errorLineText() {
    QFETCH(int, number);
    QFETCH(QString, description);
    QFETCH(QString, line);
    QCOMPARE(errorLogText({number, QStringLiteral("src"), description}), line);
}

void TestEventLog::logErrorAppendsAndClears() {
    EventLogLines log;
    LogLine(log, QStringLiteral("Connection succesful"), IconSuccess);
    recordCurrentError(-2147219497, QStringLiteral("No Host Address Specified!"));
    LogError(log, IconFailure);

    const std::vector<EventLogLines::Line> expected{
        {QStringLiteral("Connection succesful"), IconSuccess},
        {QStringLiteral("No Host Address Specified! (0x800407D7)"), IconFailure}};
    QCOMPARE(log.lines(), expected);
    QCOMPARE(CurrentError().number, 0);
    QVERIFY(CurrentError().description.isEmpty());
    QVERIFY(CurrentError().source.isEmpty());
}

void TestEventLog::logErrorWithNothingRecorded() {
    clearCurrentError();
    EventLogLines log;
    LogError(log, IconFailure);
    QCOMPARE(log.lines().size(), size_t(1));
    QCOMPARE(log.lines()[0].text, QStringLiteral(" (0x0)"));
}

QTEST_GUILESS_MAIN(TestEventLog)
#include "TestEventLog.moc"
