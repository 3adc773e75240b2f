#include "TestFiles.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Runs the desktop installer in a temp home and reads back what a desktop would read.
class TestInstallDesktop : public QObject {
    Q_OBJECT

    // The keys of a desktop entry.
    static QMap<QString, QString> readEntry(const QByteArray& text) {
        QMap<QString, QString> keys;
        auto lines = QRegularExpression(QStringLiteral("^([^=\n]+)=(.*)$"),
                                        QRegularExpression::MultilineOption)
                         .globalMatch(QString::fromUtf8(text));
        while (lines.hasNext()) {
            const QRegularExpressionMatch line = lines.next();
            keys.insert(line.captured(1), line.captured(2));
        }
        return keys;
    }

    // Exec as a desktop splits it: the file's escapes first, then the quoting, then the % codes
    // (%% stands for %, any other is dropped).
    static QStringList execArguments(QString exec) {
        const QRegularExpression escaped(QStringLiteral("\\\\(.)"));
        exec.replace(escaped, QStringLiteral("\\1"));
        QStringList arguments;
        auto words = QRegularExpression(QStringLiteral("\"((?:[^\"`$\\\\]|\\\\.)*)\"|([^ ]+)"))
                         .globalMatch(exec);
        while (words.hasNext()) {
            const QRegularExpressionMatch word = words.next();
            QString argument = word.captured(2).isNull()
                                   ? word.captured(1).replace(escaped, QStringLiteral("\\1"))
                                   : word.captured(2);
            arguments << argument.replace(QRegularExpression(QStringLiteral("%(?:(%)|.)")),
                                          QStringLiteral("\\1"));
        }
        return arguments;
    }

    // Runs the installer in the home; what it said on failure, else nothing.
    static QByteArray runInstaller(const QString& home, const QStringList& arguments) {
        QProcess install;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        install.setProcessEnvironment(env);
        install.start(QStringLiteral(VESTREL_SOURCE_DIR "/scripts/install-desktop.sh"), arguments);
        if (!install.waitForFinished(30000) || install.exitCode() != 0) {
            return "failed: " + install.readAllStandardError();
        }
        return {};
    }

private slots:
    void installsLauncherAndIconThenTakesThemAway() {
        // One folder name with blanks, quotes and every character the shell or Exec treat apart.
        const QString folder = QStringLiteral("My Programs/a \"b\" $HOME `c` \\d 100%");
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(folder));
        const QString exe = QDir(home.filePath(folder)).filePath(QStringLiteral("vestrel"));
        QVERIFY(QFile::copy(QStringLiteral(VESTREL_EXE), exe));

        QCOMPARE(runInstaller(home.path(), {exe}), QByteArray());
        const QString launcher =
            home.filePath(QStringLiteral(".local/share/applications/vestrel.desktop"));
        const QByteArray text = readFile(launcher);
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        const auto entry = readEntry(text);
        QCOMPARE(entry.value(QStringLiteral("Name")), QStringLiteral("Vestrel"));
        QCOMPARE(execArguments(entry.value(QStringLiteral("Exec"))),
                 QStringList({exe, QStringLiteral("--open")}));
        const QString iconFile = entry.value(QStringLiteral("Icon"));
        const QImage icon(iconFile);
        QVERIFY(icon.width() >= 48 && icon.width() == icon.height());
        // Starting at log-in is the user's choice in the options, not the installer's.
        const QString autostart =
            home.filePath(QStringLiteral(".config/autostart/vestrel.desktop"));
        QVERIFY(!QFile::exists(autostart));

        // An autostart entry that starts this program goes with it; what the user keeps stays.
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral(".config/autostart")));
        const QString startsExe =
            entry.value(QStringLiteral("Exec")).remove(QStringLiteral(" --open"));
        QVERIFY(writeFile(autostart, "[Desktop Entry]\nExec=" + startsExe.toUtf8() + "\n"));
        const QStringList kept = {QStringLiteral(".local/share/vestrel/vestrel.mdb"),
                                  QStringLiteral(".config/Vodidore.ini"),
                                  QStringLiteral("Backups/Vestrel/a.zip")};
        for (const QString& file : kept) {
            QVERIFY(QDir(home.path()).mkpath(QFileInfo(file).path()));
            QVERIFY(writeFile(home.filePath(file), "kept"));
        }
        QCOMPARE(runInstaller(home.path(), {QStringLiteral("--uninstall"), exe}), QByteArray());
        for (const QString& gone : {launcher, iconFile, autostart}) {
            QVERIFY2(!QFile::exists(gone), qPrintable(gone));
        }
        for (const QString& file : kept) {
            QCOMPARE(readFile(home.filePath(file)), QByteArray("kept"));
        }
    }
};

QTEST_GUILESS_MAIN(TestInstallDesktop)
#include "TestInstallDesktop.moc"
