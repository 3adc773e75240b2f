#include "ui/shell/BoxMessages.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// The real modal box, answered by the test through the widgets a user would press.
class TestBoxMessages : public QObject {
    Q_OBJECT

private slots:
    void boxIsTitledVestrelWithOnlyOk();
    void impossibleIsNotStackedOnItself();
    void completionInsideACompletionIsShown();

private:
    static QList<QMessageBox*> openBoxes();
    static void pressOk(QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }
};

QList<QMessageBox*> TestBoxMessages::openBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            boxes << box;
        }
    }
    return boxes;
}

void TestBoxMessages::boxIsTitledVestrelWithOnlyOk() {
    BoxMessages messages;
    bool checked = false;
    QTimer::singleShot(0, [&] {
        const auto boxes = openBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->windowTitle(), QStringLiteral("Vestrel"));
        QCOMPARE(boxes[0]->text(), QStringLiteral("Vestrel Session Complete!"));
        QCOMPARE(boxes[0]->icon(), QMessageBox::NoIcon);
        QCOMPARE(boxes[0]->buttons().size(), 1);
        checked = true;
        pressOk(boxes[0]);
    });
    messages.show(QStringLiteral("Vestrel Session Complete!"));
    QVERIFY(checked);
}

void TestBoxMessages::impossibleIsNotStackedOnItself() {
    BoxMessages messages;
    int nestedReturned = 0;
    QTimer::singleShot(0, [&] {
        // Ticks inside the open box meet the same session again.
        for (int i = 0; i < 3; ++i) {
            messages.show(QStringLiteral("Impossible!"));
            ++nestedReturned;
        }
        QCOMPARE(openBoxes().size(), 1);
        pressOk(openBoxes().front());
    });
    messages.show(QStringLiteral("Impossible!"));
    QCOMPARE(nestedReturned, 3);
    QVERIFY(openBoxes().isEmpty());

    // Once answered, the next "Impossible!" is shown again.
    bool shownAgain = false;
    QTimer::singleShot(0, [&] {
        shownAgain = openBoxes().size() == 1;
        pressOk(openBoxes().front());
    });
    messages.show(QStringLiteral("Impossible!"));
    QVERIFY(shownAgain);
}

void TestBoxMessages::completionInsideACompletionIsShown() {
    // A tick inside an open completion box runs a later group, whose message is shown too.
    BoxMessages messages;
    int seen = 0;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            seen = int(openBoxes().size());
            pressOk(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
        });
        messages.show(QStringLiteral("Vestrel Session Complete!"));
        pressOk(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
    });
    messages.show(QStringLiteral("Vestrel Session Complete!"));
    QCOMPARE(seen, 2);
}

QTEST_MAIN(TestBoxMessages)
#include "TestBoxMessages.moc"
