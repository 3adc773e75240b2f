#include "TestDatabase.h"
#include "schedule/AsText.h"
#include "store/SessionStore.h"

#include <QTest>

class TestAsText : public QObject {
    Q_OBJECT

private slots:
    void describesStoredRow_data();
    void describesStoredRow();
    void editorCaptionsAreUsed();
};

void TestAsText::describesStoredRow_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("freq");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QVariant>("days");
    QTest::addColumn<QVariant>("week");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("expected");

    const QString at0930 = "2004-08-02 09:30:00";
    const QString tuesday = "2004-08-03 20:00:00";
    const QString fifth = "2004-08-05 06:00:00";
    const QLocale en(QLocale::English);
    const QVariant none;
    const QString sixty = QString(58, 'x') + "yz";
    // clang-format off
    QTest::newRow("one time") << "Documents" << QVariant(0) << at0930 << none << none << en << "Documents [One Time]";
    QTest::newRow("all days") << "Mail" << QVariant(1) << at0930 << QVariant(127) << none << en << "Mail [09:30 (All days)]";
    QTest::newRow("workdays") << "Mail" << QVariant(1) << at0930 << QVariant(62) << none << en << "Mail [09:30 (Workdays)]";
    QTest::newRow("chosen days") << "Mail" << QVariant(1) << at0930 << QVariant(42) << none << en << "Mail [09:30 (Mo,We,Fr)]";
    QTest::newRow("no days") << "Mail" << QVariant(1) << at0930 << QVariant(0) << none << en << "Mail [09:30 ()]";
    QTest::newRow("empty days") << "Mail" << QVariant(1) << at0930 << none << none << en << "Mail [09:30 ()]";
    QTest::newRow("untitled weekend") << "" << QVariant(1) << "2004-08-02 21:05:00" << QVariant(65) << none << en << "[21:05 (Without work days)]";
    QTest::newRow("weekly") << "Photos" << QVariant(2) << tuesday << none << QVariant(2) << en << "Photos [Tuesday (Every second week)]";
    QTest::newRow("weekly in German") << "Photos" << QVariant(2) << tuesday << none << QVariant(2) << QLocale(QLocale::German) << "Photos [Dienstag (Every second week)]";
    QTest::newRow("weekly no week chosen") << "Photos" << QVariant(2) << tuesday << none << QVariant(-1) << en << "Photos [Tuesday ()]";
    QTest::newRow("monthly") << "Accounts" << QVariant(3) << fifth << none << none << en << "Accounts [05]";
    QTest::newRow("60 characters stay") << sixty << QVariant(0) << at0930 << none << none << en << sixty + " [One Time]";
    QTest::newRow("61 characters are cut") << sixty + "!" << QVariant(0) << at0930 << none << none << en << sixty + " ...  [One Time]";
    QTest::newRow("70 characters") << QString(70, 'a') << QVariant(3) << fifth << none << none << en << QString(60, 'a') + " ...  [05]";
    QTest::newRow("blanks around the title") << "  Mail  " << QVariant(3) << fifth << none << none << en << "Mail [05]";
    QTest::newRow("line breaks become blanks") << "Home\r\nand\r\nwork" << QVariant(0) << at0930 << none << none << en << "Home and work [One Time]";
    QTest::newRow("empty frequency keeps the title") << "Mail" << none << at0930 << none << none << en << "Mail";
    QTest::newRow("daily without a date") << "Mail" << QVariant(1) << QString() << QVariant(127) << none << en << "";
    QTest::newRow("weekly without a week") << "Photos" << QVariant(2) << tuesday << none << none << en << "";
    QTest::newRow("monthly with an unreadable date") << "Accounts" << QVariant(3) << "soon" << none << none << en << "";
    // clang-format on
}

void TestAsText::describesStoredRow() {
    QFETCH(QString, name);
    QFETCH(QVariant, freq);
    QFETCH(QString, date);
    QFETCH(QVariant, days);
    QFETCH(QVariant, week);
    QFETCH(QLocale, locale);
    QFETCH(QString, expected);

    TestDatabase t;
    const int id = t.addSession(name, date, QString(), 0);
    t.exec(QString("update Tasks set Freq=%1, Days=%2, Week=%3 where id=%4")
               .arg(freq.isValid() ? freq.toString() : "NULL",
                    days.isValid() ? days.toString() : "NULL",
                    week.isValid() ? week.toString() : "NULL", QString::number(id)));
    const BackupSession row = *SessionStore(t.db()).session(id);
    QCOMPARE(AsText(row, ScheduleCaptions(), locale), expected);
}

void TestAsText::editorCaptionsAreUsed() {
    BackupSession row;
    row.name = "Mail";
    row.date = DateTime::fromParts(2004, 8, 3, 20, 0);
    row.freq = 1;
    row.days = 3;
    ScheduleCaptions captions;
    captions.weekdays = QStringList(
        {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"});
    QCOMPARE(AsText(row, captions), QString("Mail [20:00 (So,Mo)]"));
    row.freq = 2;
    row.week = 1;
    captions.weeks = QStringList({"alle", "erste"});
    QCOMPARE(AsText(row, captions, QLocale(QLocale::English)), QString("Mail [Tuesday (erste)]"));
    captions.weekdays.clear();
    row.freq = 1;
    QCOMPARE(AsText(row, captions), QString());
}

QTEST_GUILESS_MAIN(TestAsText)
#include "TestAsText.moc"
