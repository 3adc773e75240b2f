#include "ui/shell/BoxMessages.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// The real modal box, answered by the test through the widgets a user would press.
class TestBoxMessages : public QObject {
    Q_OBJECT

    // "title: text" of each open box, marked unless it is plain: no icon, only OK.
    static QStringList openBoxes() {
        QStringList boxes;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                const bool plain = box->icon() == QMessageBox::NoIcon && box->buttons().size() == 1;
                boxes << box->windowTitle() + ": " + box->text() + (plain ? "" : " (not plain)");
            }
        }
        boxes.sort();
        return boxes;
    }
    // Presses OK in the box on top; returns the boxes that were open.
    static QStringList answer() {
        const QStringList open = openBoxes();
        QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return);
        return open;
    }

private slots:
    // Ticks run inside an open box: one that meets the same impossible session again stacks
    // nothing, while a later group's completion is shown on top.
    void nestedMessages() {
        BoxMessages messages;
        QStringList seen;
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(0, [&] { seen = answer(); });
            messages.show(QStringLiteral("Impossible!"));
            messages.show(QStringLiteral("Vestrel Session Complete!"));
            answer();
        });
        messages.show(QStringLiteral("Impossible!"));
        QCOMPARE(seen, QStringList({"Vestrel: Impossible!", "Vestrel: Vestrel Session Complete!"}));
        QVERIFY(openBoxes().isEmpty());

        // Once answered, the next "Impossible!" is shown again.
        QTimer::singleShot(0, [&] { seen = answer(); });
        messages.show(QStringLiteral("Impossible!"));
        QCOMPARE(seen, QStringList{"Vestrel: Impossible!"});
    }
};

QTEST_MAIN(TestBoxMessages)
#include "TestBoxMessages.moc"
