#include "store/Settings.h"
#include "ui/options/fOptions.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <sys/stat.h>

using Values = QMap<QString, QString>;

class TestFOptions : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<fOptions> m_dialog;

    QString programFolder() const { return m_dir->filePath("program"); }
    template <typename T> T* control(const char* name) const {
        auto* found = m_dialog->findChild<T*>(QLatin1String(name));
        if (!found) {
            qFatal("no control %s", name);
        }
        return found;
    }
    QString textOf(const QString& name) const {
        if (name == QLatin1String("chkFtp")) {
            return control<QCheckBox>("chkFtp")->isChecked() ? "checked" : "unchecked";
        }
        return control<QLineEdit>(qPrintable(name))->text();
    }
    // What the file holds under [Archive], exactly as written (no trimming, no case folding).
    Values stored() const {
        QSettings raw(m_settings->filePath(), QSettings::IniFormat);
        raw.beginGroup("Archive");
        Values values;
        for (const QString& key : raw.childKeys()) {
            values[key] = raw.value(key).toString();
        }
        return values;
    }
    void storeRaw(const QByteArray& ini) {
        QFile f(m_settings->filePath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini);
    }
    QByteArray fileBytes() const {
        QFile f(m_settings->filePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(absent)");
    }
    void openDialog() {
        m_dialog = std::make_unique<fOptions>(*m_settings, programFolder());
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
    }
    // Runs `drive` on the first modal dialog that opens while `trigger` runs.
    static void onNextModal(const std::function<void(QWidget*)>& drive) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, drive] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                poll->deleteLater();
                poll->stop();
                drive(modal);
            }
        });
        poll->start(20);
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(programFolder()));
        m_settings = std::make_unique<Settings>(m_dir->filePath("config/Vodidore.ini"));
    }
    void cleanup() { m_dialog.reset(); }

    void showsDefaultsForAnEmptyStore_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("shown");
        QTest::newRow("store") << "txtPath"
                               << "<program>";
        QTest::newRow("server") << "txtFTP"
                                << "";
        QTest::newRow("port") << "txtPort"
                              << "21";
        QTest::newRow("user") << "txtUser"
                              << "";
        QTest::newRow("password") << "txtPassword"
                                  << "";
        QTest::newRow("upload") << "chkFtp"
                                << "unchecked";
        QTest::newRow("pattern") << "txtArchPat"
                                 << "yymmddhhmm";
        QTest::newRow("remote path") << "txtFTPPath"
                                     << "";
    }
    void showsDefaultsForAnEmptyStore() {
        QFETCH(QString, control);
        QFETCH(QString, shown);
        openDialog();
        QCOMPARE(textOf(control), shown.replace("<program>", programFolder()));
        QVERIFY(!QFile::exists(m_settings->filePath()));
    }

    void showsStoredValues_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("shown");
        QTest::newRow("keys in any case")
            << QByteArray("STORE=/srv\nftp=host\nport=2121\n") << "txtPort"
            << "2121";
        QTest::newRow("blanks trimmed") << QByteArray("ArchPat=\"  yyyy \"\n") << "txtArchPat"
                                        << "yyyy";
        QTest::newRow("isFTP 1") << QByteArray("isFTP=1\n") << "chkFtp"
                                 << "checked";
        QTest::newRow("isFTP 0") << QByteArray("isFTP=0\n") << "chkFtp"
                                 << "unchecked";
        QTest::newRow("IsFtp True") << QByteArray("IsFtp=True\n") << "chkFtp"
                                    << "checked";
        QTest::newRow("password") << QByteArray("Passw=se,cret\n") << "txtPassword"
                                  << "se,cret";
        QTest::newRow("remote path") << QByteArray("ftppath=/in\n") << "txtFTPPath"
                                     << "/in";
    }
    void showsStoredValues() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, control);
        QFETCH(QString, shown);
        QDir().mkpath(m_dir->filePath("config"));
        storeRaw("[Archive]\n" + ini);
        openDialog();
        QCOMPARE(textOf(control), shown);
    }

    void saveWritesAllEightKeysAsTyped_data() {
        QTest::addColumn<bool>("upload");
        QTest::addColumn<QString>("isFTP");
        QTest::newRow("upload on") << true << "1";
        QTest::newRow("upload off") << false << "0";
    }
    void saveWritesAllEightKeysAsTyped() {
        QFETCH(bool, upload);
        QFETCH(QString, isFTP);
        QDir().mkpath(m_dir->filePath("config"));
        storeRaw("[Archive]\nISFTP=7\nftp=old\n");
        openDialog();
        control<QLineEdit>("txtFTP")->setText(" ftp.example.org ");
        control<QLineEdit>("txtUser")->setText("me");
        control<QLineEdit>("txtPassword")->setText("p,w =\"x\"");
        control<QCheckBox>("chkFtp")->setChecked(upload);
        QTest::mouseClick(control<QPushButton>("cmdSave"), Qt::LeftButton);
        QTRY_VERIFY(!m_dialog->isVisible());
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        const Values expected{{"Store", programFolder()},
                              {"Ftp", " ftp.example.org "},
                              {"Port", "21"},
                              {"User", "me"},
                              {"Passw", "p,w =\"x\""},
                              {"isFTP", isFTP},
                              {"ArchPat", "yymmddhhmm"},
                              {"FTPPAth", ""}};
        QCOMPARE(stored(), expected);
        QCOMPARE(m_settings->ReadOption("IsFtp", false), isFTP);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(m_settings->filePath()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
    }

    // Leaving never writes, even with a store path that names nothing.
    void closingWritesNothing_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("validPath");
        for (const bool valid : {true, false}) {
            const char* suffix = valid ? "" : ", path names nothing";
            QTest::addRow("Close%s", suffix) << "Close" << valid;
            QTest::addRow("Esc%s", suffix) << "Esc" << valid;
            QTest::addRow("window%s", suffix) << "window" << valid;
        }
    }
    void closingWritesNothing() {
        QFETCH(QString, way);
        QFETCH(bool, validPath);
        QDir().mkpath(m_dir->filePath("config"));
        storeRaw("[Archive]\nStore=/\nUser=kept\n");
        const QByteArray before = fileBytes();
        openDialog();
        auto* path = control<QLineEdit>("txtPath");
        path->setFocus();
        path->setText(validPath ? m_dir->path() : m_dir->filePath("missing/folder"));
        control<QLineEdit>("txtUser")->setText("changed");
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
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("saved");
        QTest::newRow("missing folder") << "<dir>/missing" << false;
        QTest::newRow("existing folder") << "<dir>/config" << true;
        QTest::newRow("existing file") << "<dir>/note.txt" << true;
        QTest::newRow("matching pattern") << "<dir>/no*.t?t" << true;
        QTest::newRow("pattern matching nothing") << "<dir>/zz*" << false;
    }
    void pathThatNamesNothingHoldsFocusAndSave() {
        QFETCH(QString, path);
        QFETCH(bool, saved);
        QDir().mkpath(m_dir->filePath("config"));
        QFile note(m_dir->filePath("note.txt"));
        QVERIFY(note.open(QIODevice::WriteOnly));
        openDialog();
        auto* txtPath = control<QLineEdit>("txtPath");
        txtPath->setFocus();
        txtPath->setText(path.replace("<dir>", m_dir->path()));
        // Moving on to another field is refused while the path names nothing.
        QTest::mouseClick(control<QLineEdit>("txtUser"), Qt::LeftButton);
        QTest::qWait(0);
        QTRY_COMPARE(QApplication::focusWidget() == txtPath, !saved);
        QTest::mouseClick(control<QPushButton>("cmdSave"), Qt::LeftButton);
        QTRY_COMPARE(m_dialog->isVisible(), !saved);
        QCOMPARE(QFile::exists(m_settings->filePath()), saved);
        if (saved) {
            QCOMPARE(stored().value("Store"), path);
        }
    }

    void folderPickerReplacesPathOrLeavesIt_data() {
        QTest::addColumn<bool>("choose");
        QTest::newRow("chosen") << true;
        QTest::newRow("cancelled") << false;
    }
    void folderPickerReplacesPathOrLeavesIt() {
        QFETCH(bool, choose);
        const QString chosen = m_dir->filePath("a folder, with [odd] name");
        QVERIFY(QDir().mkpath(chosen));
        openDialog();
        control<QLineEdit>("txtPath")->setText(programFolder());
        QString openedAt;
        onNextModal([&](QWidget* modal) {
            auto* picker = qobject_cast<QFileDialog*>(modal);
            QVERIFY(picker);
            openedAt = picker->directory().absolutePath();
            if (choose) {
                // As a user would: into the folder that holds it, its name typed into the
                // name box, "Choose".
                picker->setDirectory(m_dir->path());
                auto* name = picker->findChild<QLineEdit*>("fileNameEdit");
                QVERIFY(name);
                name->setText(QFileInfo(chosen).fileName());
                // The folder list fills in the background; a user sees the choice settle.
                QTRY_COMPARE(picker->selectedFiles(), QStringList{chosen});
                auto* buttons = picker->findChild<QDialogButtonBox*>("buttonBox");
                QVERIFY(buttons);
                QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
            } else {
                picker->reject();
            }
        });
        QTest::mouseClick(control<QPushButton>("cmdPath"), Qt::LeftButton);
        QTRY_VERIFY(!openedAt.isEmpty());
        QCOMPARE(openedAt, QDir::rootPath());
        QCOMPARE(control<QLineEdit>("txtPath")->text(), choose ? chosen : programFolder());
        QVERIFY(!QFile::exists(m_settings->filePath()));
    }

    void passwordIsMasked() {
        openDialog();
        auto* password = control<QLineEdit>("txtPassword");
        password->setText("s3cr3t pass");
        QCOMPARE(password->displayText(), QString(password->text().size(), QLatin1Char('*')));
    }

    // Every control the keyboard reaches is named for assistive tools, and Tab walks them once
    // each in reading order: top to bottom, left to right.
    void controlsAreNamedAndTabbedInReadingOrder() {
        openDialog();
        QList<QWidget*> focusable;
        for (QWidget* w : m_dialog->findChildren<QWidget*>()) {
            if (w->focusPolicy() & Qt::TabFocus) {
                focusable << w;
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
                QVERIFY2(a && !a->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
            }
        }
        auto topLeft = [this](QWidget* w) {
            return w->mapTo(m_dialog.get(), QPoint(0, 0));
        };
        QList<QWidget*> reading = focusable;
        std::sort(reading.begin(), reading.end(), [&](QWidget* a, QWidget* b) {
            const QPoint pa = topLeft(a), pb = topLeft(b);
            return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
        });
        reading.first()->setFocus();
        QList<QWidget*> walked;
        for (qsizetype i = 0; i < focusable.size(); ++i) {
            walked << QApplication::focusWidget();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(walked, reading);
        QCOMPARE(QApplication::focusWidget(), reading.first());
    }
};

QTEST_MAIN(TestFOptions)
#include "TestFOptions.moc"
