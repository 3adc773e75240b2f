#include "common/DatePattern.h"

#include <QTest>

class TestDatePattern : public QObject {
    Q_OBJECT

private slots:
    void formats_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");

        // clang-format off
        // Saturday 5 December 2026 14:07:09 (chosen so that month, minute and day all differ).
        QTest::newRow("archive name in capitals") << "YYMMDDHHMM" << "2612051407";
        QTest::newRow("mm after a minute token is a month") << "hh:mm mm" << "14:07 12";
        QTest::newRow("month after day") << "d m yy" << "5 12 26";
        QTest::newRow("minute after separators") << "h - m" << "14 - 7";
        QTest::newRow("short date") << "mm/dd/yy" << "12/05/26";
        QTest::newRow("n is minutes") << "nn:ss" << "07:09";
        QTest::newRow("long month, short weekday") << "mmmm ddd" << "December Sat";
        QTest::newRow("three y are two and a copy") << "yyy" << "26y";
        QTest::newRow("week of year") << "ww" << "49";
        QTest::newRow("seconds") << "s ss" << "9 09";
        QTest::newRow("empty pattern: general date text") << "" << "12/05/2026 14:07:09";
        // clang-format on
    }

    void formats() {
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        const DateTime t = *DateTime::fromParts(2026, 12, 5, 14, 7, 9);
        QCOMPARE(formatDate(t, pattern, QLocale(QLocale::English)), expected);
    }
};

QTEST_GUILESS_MAIN(TestDatePattern)
#include "TestDatePattern.moc"
