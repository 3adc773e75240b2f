#include "common/DateText.h"
#include "common/DateTime.h"

#include <QTest>

class TestDateTime : public QObject {
    Q_OBJECT

private slots:
    void calendarFields() {
        QCOMPARE(DateTime().weekday(), 7); // the zero date was a Saturday
        QCOMPARE(DateTime().year(), 1899);
        const DateTime t = *DateTime::fromParts(2004, 8, 2, 9, 30, 0);
        QCOMPARE(t.weekday(), 2); // Monday
        QCOMPARE(t.day(), 2);
        QCOMPARE(t.month(), 8);
        QCOMPARE(t.dayOfYear(), 215);
        QCOMPARE(DateTime::fromParts(2024, 2, 29)->dayOfYear(), 60);
        QCOMPARE(DateTime::fromParts(1800, 1, 1)->weekday(), 4); // Wednesday, before the zero date
        QVERIFY(!DateTime::fromParts(2023, 2, 29));
        QVERIFY(!DateTime::fromParts(2024, 4, 31));
        QVERIFY(!DateTime::fromParts(2024, 1, 1, 24, 0, 0));
    }

    void readsTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");  // read by fromStoredText; empty: refused
        QTest::addColumn<QString>("general"); // read by parseDateText; empty: refused

        // clang-format off
        QTest::newRow("first day") << "0001-01-01 00:00:00" << "0001-01-01 00:00:00" << "0001-01-01 00:00:00";
        QTest::newRow("1 March 2100") << "2100-03-01 00:00:00" << "2100-03-01 00:00:00" << "2100-03-01 00:00:00";
        QTest::newRow("last second") << "9999-12-31 23:59:59" << "9999-12-31 23:59:59" << "9999-12-31 23:59:59";
        QTest::newRow("blanks, no seconds") << "  2026-01-02 03:04  " << "2026-01-02 03:04:00" << "2026-01-02 03:04:00";
        QTest::newRow("stored date alone") << "2026-01-02" << "2026-01-02 00:00:00" << "2026-01-02 00:00:00";
        QTest::newRow("words") << "next tuesday" << "" << "";
        QTest::newRow("month 13") << "2026-13-01 00:00:00" << "" << "";
        QTest::newRow("trailing junk") << "2026-01-01 00:00:00x" << "" << "";
        QTest::newRow("general") << "12/05/2026 14:30:15" << "" << "2026-12-05 14:30:15";
        QTest::newRow("leap day of a century") << "2/29/2000 23:59:59" << "" << "2000-02-29 23:59:59";
        QTest::newRow("year 30 is 1930") << "1/2/30" << "" << "1930-01-02 00:00:00";
        QTest::newRow("year 29 is 2029") << "1/2/29" << "" << "2029-01-02 00:00:00";
        QTest::newRow("time alone lies on the zero day") << "9:05" << "" << "1899-12-30 09:05:00";
        QTest::newRow("time with seconds") << "14:30:15" << "" << "1899-12-30 14:30:15";
        QTest::newRow("date and short time") << "12/5/2026 9:05" << "" << "2026-12-05 09:05:00";
        QTest::newRow("no blank between") << "12/05/202614:30" << "" << "";
        QTest::newRow("three-digit year") << "1/2/202" << "" << "";
        QTest::newRow("empty") << "" << "" << "";
        QTest::newRow("one-digit year") << "2/3/4" << "" << "2004-02-03 00:00:00";
        QTest::newRow("ISO with short time") << "2026-12-24 7:05" << "2026-12-24 07:05:00" << "2026-12-24 07:05:00";
        QTest::newRow("two blanks between") << "12/24/2026  7:05" << "" << "";
        QTest::newRow("hour 24") << "24:00" << "" << "";
        // clang-format on
    }

    void readsTexts() {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QFETCH(QString, general);
        const auto storedText = [](const std::optional<DateTime>& t) {
            return t ? t->toStoredText() : QString();
        };
        QCOMPARE(storedText(DateTime::fromStoredText(text)), stored);
        QCOMPARE(storedText(parseDateText(text)), general);
    }

    void generalDateTextForms() {
        QCOMPARE(generalDateText(*DateTime::fromParts(2026, 12, 5)), QStringLiteral("12/05/2026"));
        QCOMPARE(generalDateText(DateTime().addSeconds(14 * 3600 + 30 * 60)),
                 QStringLiteral("14:30:00"));
        QCOMPARE(generalDateText(*DateTime::fromParts(2026, 12, 5, 9, 5, 7)),
                 QStringLiteral("12/05/2026 09:05:07"));
    }
};

QTEST_GUILESS_MAIN(TestDateTime)
#include "TestDateTime.moc"
