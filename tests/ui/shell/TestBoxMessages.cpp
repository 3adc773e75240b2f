#include "ui/shell/BoxMessages.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// The real modal box, answered by the test through the widgets a user would press.
class TestBoxMessages : public QObject {
    Q_OBJECT

    static QList<QMessageBox*> openBoxes() {
        QList<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                boxes << box;
        }
        return boxes;
    }
    static void pressOk(QWidget* box) { QTest::keyClick(box, Qt::Key_Return); }

private slots:
    void impossibleIsNotStackedOnItself() {
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

    void completionInsideACompletionIsShown() {
        // A tick inside an open completion box runs a later group, whose message is shown too;
        // each in a plain box titled "Vestrel" with only OK.
        BoxMessages messages;
        QStringList seen;
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(0, [&] {
                for (QMessageBox* box : openBoxes()) {
                    const bool plain =
                        box->icon() == QMessageBox::NoIcon && box->buttons().size() == 1;
                    seen << box->windowTitle() + ": " + box->text() + (plain ? "" : " (not plain)");
                }
                pressOk(QApplication::activeModalWidget());
            });
            messages.show(QStringLiteral("Vestrel Session Complete!"));
            pressOk(QApplication::activeModalWidget());
        });
        messages.show(QStringLiteral("Vestrel Session Complete!"));
        QCOMPARE(seen, QStringList(2, "Vestrel: Vestrel Session Complete!"));
    }
};

QTEST_MAIN(TestBoxMessages)
#include "TestBoxMessages.moc"
