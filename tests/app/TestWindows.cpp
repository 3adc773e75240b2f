#include "Windows.h"

#include <QApplication>
#include <QTest>

// The tray menu's windows in process: each exists once, is loaded on first use, is not loaded
// again while open, and is loaded afresh after it closed.
class TestWindows : public QObject {
    Q_OBJECT

private slots:
    void eachWindowExistsOnce() {
        Windows windows;
        int loads = 0;
        windows.setFactory(WindowKind::Options, [&] {
            ++loads;
            return new QWidget;
        });
        QVERIFY(windows.show(WindowKind::Options));
        QWidget* first = windows.window(WindowKind::Options);
        QVERIFY(first && first->isVisible());
        QVERIFY(windows.show(WindowKind::Options));
        QVERIFY(first->isVisible());
        first->showMinimized();
        QVERIFY(windows.show(WindowKind::Options));
        QVERIFY(!first->isMinimized());
        QCOMPARE(loads, 1);
        QVERIFY(!windows.show(WindowKind::Explorer)); // it has no factory

        first->close();
        QTRY_COMPARE(windows.window(WindowKind::Options), nullptr);
        QVERIFY(windows.show(WindowKind::Options));
        // A dialog's Save and Close hide it: that too ends it, and the next opening loads afresh.
        windows.window(WindowKind::Options)->hide();
        QVERIFY(windows.show(WindowKind::Options));
        QCOMPARE(loads, 3);
    }
};

QTEST_MAIN(TestWindows)
#include "TestWindows.moc"
