#include "FtpServer.h"
#include "QuestionAnswers.h"
#include "store/Autostart.h"
#include "store/Settings.h"
#include "ui/options/fOptions.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Each setting and the control that shows it, in the order "Save" writes them.
static const QList<std::pair<Option, QString>> options{{Options::Store, "txtPath"},
                                                       {Options::Ftp, "txtFTP"},
                                                       {Options::Port, "txtPort"},
                                                       {Options::User, "txtUser"},
                                                       {Options::Password, "txtPassword"},
                                                       {Options::Upload, "chkFtp"},
                                                       {Options::ArchivePattern, "txtArchPat"},
                                                       {Options::FtpPath, "txtFTPPath"},
                                                       {Options::S3Region, "txtRegion"},
                                                       {Options::ArchivePassword, "txtArchPass"},
                                                       {Options::CatchUp, "chkCatchUp"},
                                                       {Options::QuietSuccess, "chkQuiet"},
                                                       {Options::Verify, "chkVerify"}};
static const auto fields = [] {
    QList<std::pair<QString, QString>> keys;
    for (const auto& [option, name] : options) {
        keys.append({QLatin1String(option.key), name});
    }
    return keys;
}();

class TestFOptions : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<Autostart> m_autostart;
    std::unique_ptr<fOptions> m_dialog;

    QString path(const char* name) const { return m_dir->filePath(QLatin1String(name)); }
    template <typename T = QLineEdit> T* control(const QString& name) const {
        return m_dialog->findChild<T*>(name);
    }
    // What the dialog shows, in the order of `fields`; the switch as "1" or "0".
    QStringList shown() const {
        QStringList values;
        for (const auto& [key, name] : fields) {
            values << (name.startsWith("chk")
                           ? QString::number(control<QCheckBox>(name)->isChecked())
                           : control(name)->text());
        }
        return values;
    }
    // What the file holds under [Archive] as written, in the order of `fields`, then any other key.
    QStringList stored() const {
        QSettings raw(m_settings->filePath(), QSettings::IniFormat);
        raw.beginGroup("Archive");
        QStringList values, others = raw.childKeys();
        for (const auto& field : fields) {
            values << raw.value(field.first).toString();
            others.removeOne(field.first);
        }
        return values + others;
    }
    QByteArray fileBytes() const {
        QFile f(m_settings->filePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(absent)");
    }
    void openDialog(const QByteArray& ini = {}) {
        if (!ini.isEmpty()) {
            QFile f(m_settings->filePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[Archive]\n" + ini);
        }
        m_dialog = std::make_unique<fOptions>(*m_settings, *m_autostart);
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path("program")));
        m_settings = std::make_unique<Settings>(path("Vodidore.ini"));
        m_autostart = std::make_unique<Autostart>("/opt/My Apps/vestrel$1", path("auto/v.desktop"));
    }
    void cleanup() { m_dialog.reset(); }

    // Shows what is stored (or the defaults), and "Save" writes every key as shown.
    void showsAndSavesEveryKey_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("expected"); // in the order of `fields`
        // The defaults the run and the explorer read too, declared once.
        QStringList defaults;
        for (const auto& option : options) {
            defaults << QLatin1String(option.first.fallback);
        }
        QTest::newRow("empty store") << QByteArray() << defaults;
        QTest::newRow("every key")
            << QByteArray("store=/srv\nFTP=host\nport=2121\nUSER=me\nPassw=\"se,cret\"\n"
                          "isFTP=1\narchpat=yyyy\nftppath=/in\ns3region=eu-west-3\nArchPass=a b\n"
                          "catchup=1\nQuietSuccess=True\nverify=0\n")
            << QStringList{"/srv", "host",      "2121", "me", "se,cret", "1", "yyyy",
                           "/in",  "eu-west-3", "a b",  "1",  "1",       "0"};
        QTest::newRow("IsFtp True")
            << QByteArray("IsFtp=True\n")
            << QStringList{"", "",          "21", "",  "",  "1", "yymmddhhmm",
                           "", "us-east-1", "",   "0", "0", "1"};
    }
    void showsAndSavesEveryKey() {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, expected);
        openDialog(ini);
        QCOMPARE(shown(), expected);
        const QString password = control("txtPassword")->text();
        QCOMPARE(control("txtPassword")->displayText(), QString(password.size(), QLatin1Char('*')));
        control("txtFTP")->setText(" ftp.example.org ");
        control("txtPassword")->setText("p,w =\"x\"");
        const QStringList values = shown();
        QTest::mouseClick(control<QPushButton>("cmdSave"), Qt::LeftButton);
        QTRY_VERIFY(!m_dialog->isVisible());
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QCOMPARE(stored(), values);
        QString order; // a new file lists them in the order of `fields`
        for (const auto& field : fields) {
            order += "\n" + field.first + "=.*";
        }
        QVERIFY(!ini.isEmpty() || QRegularExpression(order).match(fileBytes()).hasMatch());
    }

    // Plain HTTP to an object store is told as unencrypted while the address says so.
    void unencryptedWarning_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("warned");
        QTest::newRow("s3+http") << "S3+HTTP://nas.local:9000/backups" << true;
        QTest::newRow("s3 over https") << "s3://s3.eu-west-3.amazonaws.com/b" << false;
        QTest::newRow("ftp") << "ftp.example.org" << false;
    }
    void unencryptedWarning() {
        QFETCH(QString, address);
        QFETCH(bool, warned);
        openDialog();
        control("txtFTP")->setText(address);
        QCOMPARE(control<QLabel>("lblUnencrypted")->isVisible(), warned);
    }

    // The archive password is typed twice, masked; a mismatch saves nothing and keeps the focus
    // in the second box. Saved, it is readable by its owner only.
    void archivePasswordTypedTwice() {
        openDialog();
        control("txtArchPass")->setText("one");
        control("txtArchPass2")->setText("two");
        QCOMPARE(control("txtArchPass2")->displayText(), QString("***"));
        QTest::mouseClick(control<QPushButton>("cmdSave"), Qt::LeftButton);
        QVERIFY(m_dialog->isVisible() && !QFile::exists(m_settings->filePath()));
        QCOMPARE(QApplication::focusWidget(), control("txtArchPass2"));
        control("txtArchPass2")->setText("one");
        QTest::mouseClick(control<QPushButton>("cmdSave"), Qt::LeftButton);
        QTRY_VERIFY(!m_dialog->isVisible());
        QCOMPARE(m_settings->text(Options::ArchivePassword), QString("one"));
        QCOMPARE(QFile::permissions(m_settings->filePath()) & 0x0077, QFile::Permissions());
    }

    // The log-in entry is there exactly while the box is ticked, and starts this program.
    void startAtLogIn() {
        for (const bool on : {true, false}) {
            openDialog();
            QCOMPARE(control<QCheckBox>("chkAutostart")->isChecked(), !on);
            control<QCheckBox>("chkAutostart")->setChecked(on);
            QTest::mouseClick(control<QPushButton>("cmdSave"), Qt::LeftButton);
            QTRY_VERIFY(!m_dialog->isVisible());
            QCOMPARE(QFile::exists(m_autostart->entryPath()), on);
        }
        // Quoted for the Exec rules (\$), then the backslash doubled for the file's string rules.
        m_autostart->set(true);
        QFile entry(m_autostart->entryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(entry.readAll().contains(R"(
Exec="/opt/My Apps/vestrel\\$1"
)"));
    }

    // A store path naming nothing holds the focus; "Save" writes only once it is created on being
    // asked. "Close" and Esc leave all the same, and leaving never writes.
    void storePathAndLeaving_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("create"); // the answer to "Create it?"
        QTest::newRow("missing folder") << "missing" << false << false;
        QTest::newRow("missing folder, created") << "new/store" << false << true;
        QTest::newRow("existing folder") << "program" << true << false;
        QTest::newRow("existing file") << "note.txt" << true << false;
        QTest::newRow("matching pattern") << "no*.t?t" << true << false;
        QTest::newRow("pattern matching nothing") << "zz*" << false << true;
    }
    void storePathAndLeaving() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QFETCH(bool, create);
        QFile note(path("note.txt"));
        QVERIFY(note.open(QIODevice::WriteOnly));
        for (const QString way : {"Close", "Esc", "Save"}) {
            openDialog("Store=/\nUser=kept\n");
            const QByteArray before = fileBytes();
            auto* txtPath = control("txtPath");
            txtPath->setFocus();
            txtPath->setText(m_dir->filePath(name));
            QTest::mouseClick(control("txtUser"), Qt::LeftButton);
            QTest::qWait(0);
            QTRY_COMPARE(QApplication::focusWidget() == txtPath, !valid);
            QuestionAnswers answers({create ? QMessageBox::Yes : QMessageBox::No});
            way == "Esc"
                ? QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape)
                : QTest::mouseClick(control<QPushButton>(way == "Save" ? "cmdSave" : "cmdCancel"),
                                    Qt::LeftButton);
            const bool created = way == "Save" && create && !name.contains('*');
            const bool writes = way == "Save" && (valid || created);
            QTRY_COMPARE(m_dialog->isVisible(), way == "Save" && !writes);
            QCOMPARE(answers.asked.size(), int(way == "Save" && !valid && !name.contains('*')));
            QCOMPARE(QFileInfo(m_dir->filePath(name)).isDir(), name == "program" || created);
            QCOMPARE(stored().value(0), writes ? m_dir->filePath(name) : "/");
            QCOMPARE(fileBytes() == before, !writes);
        }
    }

    // "Test connection" logs on with what the boxes hold, saves nothing and says how it went.
    void testConnection_data() {
        QTest::addColumn<QString>("change"); // "box=text" typed before the test
        QTest::addColumn<QString>("line");   // what the line under the button then matches
        const QString works = "^Connection works: the folder ";
        // clang-format off
        QTest::newRow("log-on folder") << "" << works + "you log on to holds 2 entries\\.$";
        QTest::newRow("folder of the path") << "txtFTPPath=/pub" << works + "/pub/ holds 0 entries\\.$";
        QTest::newRow("wrong password") << "txtPassword=wrong" << "530.* Check \"User\" and \"Password\"\\.$";
        QTest::newRow("no server there") << "txtPort=1" << "Check \"FTP IP\" and \"Port\"\\.$";
        QTest::newRow("missing folder") << "txtFTPPath=/gone" << "/gone/ cannot be opened.* Check \"Path in FTP\"\\.$";
        // clang-format on
    }
    void testConnection() {
        QFETCH(QString, change);
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        openDialog(QString("Ftp=%1\nPort=%2\nUser=vestrel\nPassw=%3\n")
                       .arg(server.host(), QString::number(server.port()), server.password())
                       .toUtf8());
        const QByteArray before = fileBytes();
        if (!change.isEmpty()) {
            control(change.section('=', 0, 0))->setText(change.section('=', 1));
        }
        QTest::mouseClick(control<QPushButton>("cmdTest"), Qt::LeftButton);
        QVERIFY(!control<QPushButton>("cmdTest")->isEnabled());
        QTRY_VERIFY(control<QPushButton>("cmdTest")->isEnabled());
        const QString said = control<QLabel>("lblTest")->text();
        QFETCH(QString, line);
        QVERIFY2(QRegularExpression(line).match(said).hasMatch(), qPrintable(said));
        QCOMPARE(fileBytes(), before);
    }

    // Tab walks every control once, in reading order (top to bottom, left to right), and each
    // is named for assistive tools. The picker opens at the store folder; "Cancel" leaves the path,
    // "Choose" replaces it; neither writes.
    void tabOrderAndFolderPicker() {
        const QString chosen = path("a folder, with [odd] name");
        QVERIFY(QDir().mkpath(chosen));
        openDialog();
        QList<QWidget*> reading;
        for (QWidget* w : m_dialog->findChildren<QWidget*>()) {
            if (w->focusPolicy() & Qt::TabFocus) {
                reading << w;
            }
        }
        std::ranges::sort(reading, {}, [this](QWidget* w) {
            const QPoint p = w->mapTo(m_dialog.get(), QPoint());
            return std::pair(p.y(), p.x());
        });
        reading.first()->setFocus();
        for (QWidget* expected : reading) {
            QWidget* w = QApplication::focusWidget();
            QCOMPARE(w, expected);
            QVERIFY2(!QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty(),
                     qPrintable(w->objectName()));
            QTest::keyClick(w, Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget(), reading.first());
        control("txtPath")->setText(path("program"));
        for (const bool choose : {false, true}) {
            QString openedAt;
            QTimer::singleShot(0, m_dialog.get(), [&] {
                auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                openedAt = picker->directory().absolutePath();
                // As a user would: into the folder that holds it, its name typed, then the button.
                picker->setDirectory(m_dir->path());
                picker->findChild<QLineEdit*>("fileNameEdit")->setText("a folder, with [odd] name");
                QTRY_COMPARE(picker->selectedFiles(), QStringList{chosen});
                choose ? picker->findChild<QDialogButtonBox*>()
                             ->button(QDialogButtonBox::Open)
                             ->click()
                       : picker->reject();
            });
            QTest::mouseClick(control<QPushButton>("cmdPath"), Qt::LeftButton);
            QTRY_COMPARE(openedAt, path("program"));
            QCOMPARE(control("txtPath")->text(), choose ? chosen : path("program"));
        }
        QVERIFY(!QFile::exists(m_settings->filePath()));
    }
};

QTEST_MAIN(TestFOptions)
#include "TestFOptions.moc"
