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

private slots:
    void installsLauncherAutostartAndIcon() {
        // One folder name with blanks, quotes and every character the shell or Exec treat apart.
        const QString folder = QStringLiteral("My Programs/a \"b\" $HOME `c` \\d 100%");
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(folder));
        const QString exe = QDir(home.filePath(folder)).filePath(QStringLiteral("vestrel"));
        QVERIFY(QFile::copy(QStringLiteral(VESTREL_EXE), exe));

        QProcess install;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        install.setProcessEnvironment(env);
        install.start(QStringLiteral(VESTREL_SOURCE_DIR "/scripts/install-desktop.sh"), {exe});
        QVERIFY(install.waitForFinished(30000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());

        const QList<std::pair<QString, QStringList>> entries = {
            {QStringLiteral(".local/share/applications"), {exe, QStringLiteral("--open")}},
            {QStringLiteral(".config/autostart"), {exe}}};
        for (const auto& [where, arguments] : entries) {
            const QByteArray text =
                readFile(home.filePath(where + QStringLiteral("/vestrel.desktop")));
            QVERIFY(text.startsWith("[Desktop Entry]\n"));
            const auto entry = readEntry(text);
            QCOMPARE(entry.value(QStringLiteral("Name")), QStringLiteral("Vestrel"));
            QCOMPARE(execArguments(entry.value(QStringLiteral("Exec"))), arguments);
            const QImage icon(entry.value(QStringLiteral("Icon")));
            QVERIFY(icon.width() >= 48 && icon.width() == icon.height());
        }
    }
};

QTEST_GUILESS_MAIN(TestInstallDesktop)
#include "TestInstallDesktop.moc"
