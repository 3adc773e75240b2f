#include "backup/EventLog.h"

#include <QTest>

class TestEventLog : public QObject {
    Q_OBJECT

private slots:
    void logErrorWritesTheCurrentErrorAndClearsIt_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("line");
        // clang-format off
        QTest::newRow("no leading zeros") << 53 << "Bad file name or number" << "Bad file name or number (0x35)";
        // "\r\n" becomes a space, then doubled spaces are halved in one pass; "\n" alone stays.
        QTest::newRow("line breaks and spaces") << 1 << "a\r\n b   c    d\ne" << "a b  c  d\ne (0x1)";
        // clang-format on
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
