#include "FtpServer.h"
#include "TestDatabase.h"
#include "backup/FEvent.h"
#include "backup/FEventRunner.h"
#include "store/SessionStore.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

const DateTime RunTime = *DateTime::fromParts(2026, 12, 5, 14, 30, 15);

void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(data);
}

QList<FEvent*> eventWindows() {
    QList<FEvent*> out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* e = qobject_cast<FEvent*>(w)) {
            out << e;
        }
    }
    return out;
}

QImage iconImage(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

// Receives what the window hands to the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestFEvent : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowLayout_data();
    void windowLayout();
    void filesLoadedFromTheSessionWhenNamed();
    void uploadRunLogsLinesWithIcons();
    void newLinesScrollIntoView();
    void logLinesCannotBeEdited();
    void closesOnCloseAndEsc_data();
    void closesOnCloseAndEsc();
    void doubleClickOpensThePath();
    void runnerShowsWindows_data();
    void runnerShowsWindows();
    void headlessRunnerWritesLinesToStandardError();

private:
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    SessionRun sessionRun() const;
    int addSession(const QString& name, const QStringList& files, bool hidden = false);
    void switchUploadOn();

    FtpServer m_server;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
};

void TestFEvent::initTestCase() {
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
}

void TestFEvent::init() {
    m_db = std::make_unique<TestDatabase>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(path("store")));
    m_settings = std::make_unique<Settings>(path("Vodidore.ini"));
    m_settings->WriteOption("Store", path("store"));
}

void TestFEvent::cleanup() {
    qDeleteAll(eventWindows());
    m_db.reset();
}

SessionRun TestFEvent::sessionRun() const {
    return SessionRun(
        *m_settings, [] { return std::make_unique<cFTP>(); }, [] { return RunTime; },
        path("program"));
}

int TestFEvent::addSession(const QString& name, const QStringList& files, bool hidden) {
    const int id = m_db->addSession(name, "2026-12-01 14:30:00", "2026-12-05 14:30:00", 1);
    m_db->exec(QStringLiteral("update Tasks set autopack=%1 where id=%2").arg(hidden).arg(id));
    for (const QString& file : files) {
        m_db->exec(
            QStringLiteral("insert into files (id, Name) values (%1, '%2')").arg(id).arg(file));
    }
    return id;
}

void TestFEvent::switchUploadOn() {
    m_settings->WriteOption("isFTP", "1");
    m_settings->WriteOption("Ftp", m_server.host());
    m_settings->WriteOption("Port", QString::number(m_server.port()));
    m_settings->WriteOption("User", m_server.user());
    m_settings->WriteOption("Passw", m_server.password());
    m_settings->WriteOption("FTPPAth", "/pub/");
}

void TestFEvent::windowLayout_data() {
    // Places in twips divided by 15; the button is lifted one pixel so it ends inside the window.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("verdana");
    QTest::newRow("txtEvent") << "txtEvent" << QRect(4, 4, 317, 127) << true;
    QTest::newRow("lstFiles") << "lstFiles" << QRect(324, 4, 342, 119) << true;
    QTest::newRow("LV") << "LV" << QRect(4, 140, 665, 205) << true;
    QTest::newRow("cmdClose") << "cmdClose" << QRect(576, 351, 97, 29) << false;
}

void TestFEvent::windowLayout() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(bool, verdana);
    FEvent window(sessionRun());
    QCOMPARE(window.windowTitle(), QStringLiteral("Vestrel Events"));
    QCOMPARE(window.size(), QSize(674, 380));
    QCOMPARE(window.palette().color(window.backgroundRole()), QColor(192, 192, 255));

    auto* control = window.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), geometry);
    QVERIFY(QRect(QPoint(), window.size()).contains(control->geometry()));
    if (verdana) {
        QCOMPARE(control->font().family(), QStringLiteral("Verdana"));
        QCOMPARE(control->font().pointSizeF(), 8.25);
    }
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QCOMPARE(button->text(), QStringLiteral("Close"));
        QCOMPARE(button->palette().color(QPalette::Button), QColor(Qt::white));
    }
    if (auto* lv = qobject_cast<QTreeWidget*>(control)) {
        QCOMPARE(lv->columnCount(), 1);
        QCOMPARE(lv->columnWidth(0), 665 - 25);
    }
}

void TestFEvent::filesLoadedFromTheSessionWhenNamed() {
    const int other = addSession("Other", {"/other/file"});
    const int id = addSession("Docs", {"/home/u/b.txt", "/home/u/a folder", "/home/u/c.txt"});
    Q_UNUSED(other);
    FEvent window(sessionRun());
    window.setSessionId(id);
    window.setTxtEvent("Docs");

    auto* list = window.findChild<QListWidget*>("lstFiles");
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) {
        shown << list->item(i)->text();
    }
    QCOMPARE(shown, (QStringList{"/home/u/b.txt", "/home/u/a folder", "/home/u/c.txt"}));
    QCOMPARE(window.findChild<QPlainTextEdit*>("txtEvent")->toPlainText(), QStringLiteral("Docs"));
}

void TestFEvent::uploadRunLogsLinesWithIcons() {
    writeFile(path("data/a.txt"), "a");
    writeFile(path("data/b.txt"), "b");
    const int id = addSession("Docs", {path("data/a.txt"), path("data/b.txt")});
    switchUploadOn();
    FEvent window(sessionRun());
    window.setSessionId(id);
    window.setTxtEvent("Docs");
    QVERIFY(!window.LPack());

    auto* lv = window.findChild<QTreeWidget*>("LV");
    QCOMPARE(lv->topLevelItemCount(), 3);
    const QStringList expected{"Connection succesful", "File transfer succesfully",
                               "File " + path("store/2612051430.zip") + " deleted"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(lv->topLevelItem(i)->text(0), expected[i]);
        QCOMPARE(iconImage(lv->topLevelItem(i)->icon(0)), iconImage(eventLogIcon(IconSuccess)));
    }
    QVERIFY(QFile::exists(m_server.pathOf("pub/2612051430.zip")));
    QFile::remove(m_server.pathOf("pub/2612051430.zip"));

    // A failing run in the same kind of window: one red-cross line.
    m_settings->WriteOption("Ftp", "");
    FEvent failing(sessionRun());
    failing.setSessionId(id);
    failing.setTxtEvent("Docs");
    QVERIFY(failing.LPack());
    auto* failedLv = failing.findChild<QTreeWidget*>("LV");
    QCOMPARE(failedLv->topLevelItemCount(), 1);
    QCOMPARE(failedLv->topLevelItem(0)->text(0),
             QStringLiteral("No Host Address Specified! (0x800407D7)"));
    QCOMPARE(iconImage(failedLv->topLevelItem(0)->icon(0)), iconImage(eventLogIcon(IconFailure)));
    QVERIFY(iconImage(eventLogIcon(IconSuccess)) != iconImage(eventLogIcon(IconFailure)));
}

void TestFEvent::newLinesScrollIntoView() {
    FEvent window(sessionRun());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* lv = window.findChild<QTreeWidget*>("LV");
    ListViewLog log(lv);
    for (int i = 0; i < 60; ++i) {
        LogLine(log, QStringLiteral("line %1").arg(i), i % 2 ? IconSuccess : IconFailure);
        const QRect shown = lv->visualItemRect(lv->topLevelItem(i));
        QVERIFY2(lv->viewport()->rect().contains(shown), qPrintable(QString::number(i)));
    }
    QVERIFY(!lv->viewport()->rect().intersects(lv->visualItemRect(lv->topLevelItem(0))));
}

void TestFEvent::logLinesCannotBeEdited() {
    FEvent window(sessionRun());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* lv = window.findChild<QTreeWidget*>("LV");
    ListViewLog log(lv);
    LogLine(log, "Connection succesful", IconSuccess);
    QTreeWidgetItem* item = lv->topLevelItem(0);
    lv->setCurrentItem(item);
    lv->setFocus();
    QTest::keyClick(lv, Qt::Key_F2);
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, lv->visualItemRect(item).center());
    QTest::mouseDClick(lv->viewport(), Qt::LeftButton, {}, lv->visualItemRect(item).center());
    QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
    lv->editItem(item);
    QCOMPARE(lv->findChildren<QLineEdit*>().size(), 0);
    QCOMPARE(item->text(0), QStringLiteral("Connection succesful"));
}

void TestFEvent::closesOnCloseAndEsc_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Close button") << false;
    QTest::newRow("Esc key") << true;
}

void TestFEvent::closesOnCloseAndEsc() {
    QFETCH(bool, escape);
    auto* window = new FEvent(sessionRun());
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<FEvent> alive(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    if (escape) {
        // Esc reaches the window from whichever control has the focus.
        auto* lv = window->findChild<QTreeWidget*>("LV");
        lv->setFocus();
        QTest::keyClick(lv, Qt::Key_Escape);
    } else {
        QTest::mouseClick(window->findChild<QPushButton*>("cmdClose"), Qt::LeftButton);
    }
    QTRY_VERIFY(alive.isNull());
}

void TestFEvent::doubleClickOpensThePath() {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    const int id = addSession("Docs", {"/home/u/first.txt", "/home/u/My Documents"});
    FEvent window(sessionRun());
    window.setSessionId(id);
    window.setTxtEvent("Docs");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto* list = window.findChild<QListWidget*>("lstFiles");
    const QRect second = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile("/home/u/My Documents")});
}

void TestFEvent::runnerShowsWindows_data() {
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<bool>("shown");
    QTest::newRow("visible session") << false << false << true;
    QTest::newRow("run hidden") << true << false << false;
    QTest::newRow("run hidden but failed") << true << true << true;
    QTest::newRow("visible session, failed") << false << true << true;
}

void TestFEvent::runnerShowsWindows() {
    QFETCH(bool, hidden);
    QFETCH(bool, fails);
    QFETCH(bool, shown);
    writeFile(path("data/a.txt"), "a");
    const int id = addSession("Docs", {path("data/a.txt")}, hidden);
    if (fails) {
        switchUploadOn();
        m_settings->WriteOption("Ftp", "");
    }
    FEventRunner runner(
        *m_settings, [] { return std::make_unique<cFTP>(); }, [] { return RunTime; },
        path("program"));
    const auto session = SessionStore(m_db->db()).session(id);
    QVERIFY(session);
    QCOMPARE(session->autopack, hidden);
    runner.runSession(*session);

    const QList<FEvent*> windows = eventWindows();
    if (!shown) {
        QVERIFY(windows.isEmpty());
        return;
    }
    QCOMPARE(windows.size(), 1);
    FEvent* window = windows.first();
    QVERIFY(window->isVisible());
    QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(window->SessionId(), id);
    QCOMPARE(window->txtEvent(), QStringLiteral("Docs"));
    QCOMPARE(window->failureLogged(), fails);
}

void TestFEvent::headlessRunnerWritesLinesToStandardError() {
    writeFile(path("data/a.txt"), "a");
    const int id = addSession("Docs", {path("data/a.txt")});
    switchUploadOn();
    QStringList written;
    FEventRunner runner(
        *m_settings, [] { return std::make_unique<cFTP>(); }, [] { return RunTime; },
        path("program"), FEventRunner::Display::Headless,
        [&written](const QString& line) { written << line; });
    runner.runSession(*SessionStore(m_db->db()).session(id));

    QCOMPARE(eventWindows().size(), 0);
    const QString stamp = "2026-12-05 14:30:15 [ok] Docs: ";
    const QStringList expected{stamp + "Connection succesful", stamp + "File transfer succesfully",
                               stamp + "File " + path("store/2612051430.zip") + " deleted"};
    QCOMPARE(written, expected);
    QFile::remove(m_server.pathOf("pub/2612051430.zip"));
}

QTEST_MAIN(TestFEvent)
#include "TestFEvent.moc"
