#include "schedule/AsText.h"

#include <QTest>

namespace {

// A stored row and its text.
struct Case {
    QString name;
    int freq;
    QString date, expected;
    std::optional<int> days = 0, week = 0;
    QLocale locale = QLocale(QLocale::English);
    ScheduleCaptions captions = {};
};

} // namespace

Q_DECLARE_METATYPE(Case)

class TestAsText : public QObject {
    Q_OBJECT

private slots:
    void describesStoredRow_data() {
        QTest::addColumn<Case>("c");
        const QString at0930 = "2004-08-02 09:30:00", tuesday = "2004-08-03 20:00:00";
        const QString fifth = "2004-08-05 06:00:00", sixty = QString(58, 'x') + "yz";
        // Captions of the editor's controls, here German ones.
        ScheduleCaptions de;
        // clang-format off
        de.weekdays = QStringList({"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"});
        de.weeks = QStringList({"alle", "erste"});
        const QLocale en(QLocale::English);
        QTest::newRow("one time") << Case{"Documents", 0, at0930, "Documents [One Time]"};
        QTest::newRow("all days") << Case{"Mail", 1, at0930, "Mail [09:30 (All days)]", 127};
        QTest::newRow("workdays") << Case{"Mail", 1, at0930, "Mail [09:30 (Workdays)]", 62};
        QTest::newRow("chosen days") << Case{"Mail", 1, at0930, "Mail [09:30 (Mo,We,Fr)]", 42};
        QTest::newRow("no days") << Case{"Mail", 1, at0930, "Mail [09:30 ()]", 0};
        QTest::newRow("untitled weekend") << Case{"", 1, "2004-08-02 21:05:00", "[21:05 (Without work days)]", 65};
        QTest::newRow("weekly") << Case{"Photos", 2, tuesday, "Photos [Tuesday (Every second week)]", 0, 2};
        QTest::newRow("weekly in German") << Case{"Photos", 2, tuesday, "Photos [Dienstag (Every second week)]", 0, 2, QLocale(QLocale::German)};
        QTest::newRow("monthly") << Case{"Accounts", 3, fifth, "Accounts [05]"};
        QTest::newRow("60 characters stay") << Case{sixty, 0, at0930, sixty + " [One Time]"};
        QTest::newRow("61 characters are cut") << Case{sixty + "!", 0, at0930, sixty + " ...  [One Time]"};
        QTest::newRow("line breaks become blanks") << Case{"Home\r\nand\r\nwork", 0, at0930, "Home and work [One Time]"};
        QTest::newRow("bare line feeds too") << Case{"Home\nand\nwork\n", 0, at0930, "Home and work [One Time]"};
        QTest::newRow("daily without a date") << Case{"Mail", 1, QString(), "", 127};
        QTest::newRow("weekly without a week") << Case{"Photos", 2, tuesday, "", 0, std::nullopt};
        QTest::newRow("editor's weekday captions") << Case{"Mail", 1, tuesday, "Mail [20:00 (So,Mo)]", 3, 0, en, de};
        QTest::newRow("editor's week captions") << Case{"Mail", 2, tuesday, "Mail [Tuesday (erste)]", 0, 1, en, de};
        // clang-format on
    }

    void describesStoredRow() {
        QFETCH(Case, c);
        BackupSession row;
        row.name = c.name;
        row.date = DateTime::fromStoredText(c.date);
        std::tie(row.freq, row.week, row.days) = std::tuple(c.freq, c.week, c.days);
        QCOMPARE(AsText(row, c.captions, c.locale), c.expected);
    }
};

QTEST_GUILESS_MAIN(TestAsText)
#include "TestAsText.moc"
