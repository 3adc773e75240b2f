#include "store/Settings.h"
#include "ui/options/fOptions.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using Values = QMap<QString, QString>;

// Key of each setting in the file -> the control that shows it.
static const Values controls{{"Store", "txtPath"},      {"Ftp", "txtFTP"},
                             {"Port", "txtPort"},       {"User", "txtUser"},
                             {"Passw", "txtPassword"},  {"isFTP", "chkFtp"},
                             {"ArchPat", "txtArchPat"}, {"FTPPAth", "txtFTPPath"}};

class TestFOptions : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<fOptions> m_dialog;

    QString path(const char* name) const { return m_dir->filePath(QLatin1String(name)); }
    template <typename T = QLineEdit> T* control(const QString& name) const {
        T* found = m_dialog->findChild<T*>(name);
        if (!found) {
            qFatal("no control %s", qPrintable(name));
        }
        return found;
    }
    // What the dialog shows, by settings key; the switch as "1" or "0".
    Values shown() const {
        Values values;
        for (auto it = controls.begin(); it != controls.end(); ++it) {
            values[it.key()] = it.value() == "chkFtp"
                                   ? QString::number(control<QCheckBox>("chkFtp")->isChecked())
                                   : control(it.value())->text();
        }
        return values;
    }
    // What the file holds under [Archive], exactly as written.
    Values stored() const {
        QSettings raw(m_settings->filePath(), QSettings::IniFormat);
        raw.beginGroup("Archive");
        Values values;
        for (const QString& key : raw.childKeys()) {
            values[key] = raw.value(key).toString();
        }
        return values;
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
        m_dialog = std::make_unique<fOptions>(*m_settings, path("program"));
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path("program")));
        m_settings = std::make_unique<Settings>(path("Vodidore.ini"));
    }
    void cleanup() { m_dialog.reset(); }

    void showsWhatIsStored_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<Values>("expected");
        const Values defaults{{"Store", "<program>"},
                              {"Ftp", ""},
                              {"Port", "21"},
                              {"User", ""},
                              {"Passw", ""},
                              {"isFTP", "0"},
                              {"ArchPat", "yymmddhhmm"},
                              {"FTPPAth", ""}};
        QTest::newRow("empty store") << QByteArray() << defaults;
        QTest::newRow("every key")
            << QByteArray("store=/srv\nFTP=host\nport=2121\nUSER=me\nPassw=\"se,cret\"\n"
                          "isFTP=1\narchpat=yyyy\nftppath=/in\n")
            << Values{{"Store", "/srv"},   {"Ftp", "host"},      {"Port", "2121"},
                      {"User", "me"},      {"Passw", "se,cret"}, {"isFTP", "1"},
                      {"ArchPat", "yyyy"}, {"FTPPAth", "/in"}};
        Values on = defaults;
        on["isFTP"] = "1";
        QTest::newRow("IsFtp True") << QByteArray("IsFtp=True\n") << on;
    }
    void showsWhatIsStored() {
        QFETCH(QByteArray, ini);
        QFETCH(Values, expected);
        expected["Store"].replace("<program>", path("program"));
        openDialog(ini);
        QCOMPARE(shown(), expected);
        QCOMPARE(QFile::exists(m_settings->filePath()), !ini.isEmpty()); // showing never writes
    }

    void saveWritesAllEightKeysAsTyped_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("upload");
        QTest::newRow("upload on, over old keys") << QByteArray("ISFTP=7\nftp=old\n") << true;
        QTest::newRow("upload off, empty store") << QByteArray() << false;
    }
    void saveWritesAllEightKeysAsTyped() {
        QFETCH(QByteArray, ini);
        QFETCH(bool, upload);
        openDialog(ini);
        control("txtFTP")->setText(" ftp.example.org ");
        control("txtPassword")->setText("p,w =\"x\"");
        control<QCheckBox>("chkFtp")->setChecked(upload);
        QTest::mouseClick(control<QPushButton>("cmdSave"), Qt::LeftButton);
        QTRY_VERIFY(!m_dialog->isVisible());
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        const Values expected{{"Store", path("program")},
                              {"Ftp", " ftp.example.org "},
                              {"Port", "21"},
                              {"User", ""},
                              {"Passw", "p,w =\"x\""},
                              {"isFTP", upload ? "1" : "0"},
                              {"ArchPat", "yymmddhhmm"},
                              {"FTPPAth", ""}};
        QCOMPARE(stored(), expected);
        // A new file lists them in this order.
        const QByteArray bytes = ini.isEmpty() ? fileBytes() : QByteArray();
        qsizetype at = -1;
        for (const char* key :
             {"Store=", "Ftp=", "Port=", "User=", "Passw=", "isFTP=", "ArchPat=", "FTPPAth="}) {
            const qsizetype next = bytes.indexOf(QByteArray("\n") + key);
            QVERIFY2(bytes.isEmpty() || next > at, key);
            at = next;
        }
    }

    // Leaving never writes, even with a store path that names nothing.
    void closingWritesNothing_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("validPath");
        for (const char* way : {"Close", "Esc", "window"}) {
            QTest::addRow("%s", way) << way << true;
            QTest::addRow("%s, path names nothing", way) << way << false;
        }
    }
    void closingWritesNothing() {
        QFETCH(QString, way);
        QFETCH(bool, validPath);
        openDialog("Store=/\nUser=kept\n");
        const QByteArray before = fileBytes();
        control("txtPath")->setFocus();
        control("txtPath")->setText(validPath ? m_dir->path() : path("missing/folder"));
        control("txtUser")->setText("changed");
        if (way == "Close") {
            QTest::mouseClick(control<QPushButton>("cmdCancel"), Qt::LeftButton);
        } else if (way == "Esc") {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        } else {
            m_dialog->close();
        }
        QTRY_VERIFY(!m_dialog->isVisible());
        QCOMPARE(fileBytes(), before);
    }

    void pathThatNamesNothingHoldsFocusAndSave_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("saved");
        QTest::newRow("missing folder") << "missing" << false;
        QTest::newRow("existing folder") << "program" << true;
        QTest::newRow("existing file") << "note.txt" << true;
        QTest::newRow("matching pattern") << "no*.t?t" << true;
        QTest::newRow("pattern matching nothing") << "zz*" << false;
    }
    void pathThatNamesNothingHoldsFocusAndSave() {
        QFETCH(QString, name);
        QFETCH(bool, saved);
        QFile note(path("note.txt"));
        QVERIFY(note.open(QIODevice::WriteOnly));
        openDialog();
        auto* txtPath = control("txtPath");
        txtPath->setFocus();
        txtPath->setText(m_dir->filePath(name));
        QTest::mouseClick(control("txtUser"), Qt::LeftButton);
        QTest::qWait(0);
        QTRY_COMPARE(QApplication::focusWidget() == txtPath, !saved);
        QTest::mouseClick(control<QPushButton>("cmdSave"), Qt::LeftButton);
        QTRY_COMPARE(m_dialog->isVisible(), !saved);
        QCOMPARE(stored().value("Store"), saved ? m_dir->filePath(name) : QString());
    }

    void folderPickerReplacesPathOrLeavesIt_data() {
        QTest::addColumn<bool>("choose");
        QTest::newRow("chosen") << true;
        QTest::newRow("cancelled") << false;
    }
    void folderPickerReplacesPathOrLeavesIt() {
        QFETCH(bool, choose);
        const QString chosen = path("a folder, with [odd] name");
        QVERIFY(QDir().mkpath(chosen));
        openDialog();
        QString openedAt;
        QTimer::singleShot(0, m_dialog.get(), [&] {
            QTRY_VERIFY(QApplication::activeModalWidget() != m_dialog.get());
            auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(picker);
            openedAt = picker->directory().absolutePath();
            if (!choose) {
                picker->reject();
                return;
            }
            // As a user would: into the folder that holds it, its name typed, "Choose".
            picker->setDirectory(m_dir->path());
            picker->findChild<QLineEdit*>("fileNameEdit")->setText("a folder, with [odd] name");
            QTRY_COMPARE(picker->selectedFiles(), QStringList{chosen});
            auto* buttons = picker->findChild<QDialogButtonBox*>("buttonBox");
            QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
        });
        QTest::mouseClick(control<QPushButton>("cmdPath"), Qt::LeftButton);
        QTRY_VERIFY(!openedAt.isEmpty());
        QCOMPARE(openedAt, QDir::rootPath());
        QCOMPARE(control("txtPath")->text(), choose ? chosen : path("program"));
        QVERIFY(!QFile::exists(m_settings->filePath()));
    }

    void passwordIsMasked() {
        openDialog("Passw=s3cr3t\n");
        QCOMPARE(control("txtPassword")->displayText(), QString(6, QLatin1Char('*')));
    }

    // Every control the keyboard reaches is named for assistive tools.
    void focusableControlsHaveNames() {
        openDialog();
        for (QWidget* w : m_dialog->findChildren<QWidget*>()) {
            if (w->focusPolicy() & Qt::TabFocus) {
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
                QVERIFY2(a && !a->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
            }
        }
    }
};

QTEST_MAIN(TestFOptions)
#include "TestFOptions.moc"
