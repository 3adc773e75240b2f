#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// Runs the desktop installer in a temp home and reads back what a desktop would read.
class TestInstallDesktop : public QObject {
    Q_OBJECT

private slots:
    void installsLauncherAutostartAndIcon();

private:
    static QMap<QString, QString> readEntry(const QString& file);
    static QStringList execArguments(const QString& exec);
};

QMap<QString, QString> TestInstallDesktop::readEntry(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QMap<QString, QString> keys;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (lines.value(0) != QLatin1String("[Desktop Entry]")) {
        return {};
    }
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0) {
            keys.insert(line.left(eq), line.mid(eq + 1));
        }
    }
    return keys;
}

// The Exec rules of the desktop entry format: string escapes first, then quoting, then %%.
QStringList TestInstallDesktop::execArguments(const QString& exec) {
    QString value;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec[i] == QLatin1Char('\\') && i + 1 < exec.size()) {
            const QChar next = exec[++i];
            value += next == QLatin1Char('s') ? QStringLiteral(" ") : QString(next);
        } else {
            value += exec[i];
        }
    }
    QStringList arguments;
    QString current;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (quoted && c == QLatin1Char('\\') && i + 1 < value.size()) {
            current += value[++i];
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (c == QLatin1Char(' ') && !quoted) {
            if (any || !current.isEmpty()) {
                arguments << current.replace(QStringLiteral("%%"), QStringLiteral("%"));
            }
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (any || !current.isEmpty()) {
        arguments << current.replace(QStringLiteral("%%"), QStringLiteral("%"));
    }
    return arguments;
}

void TestInstallDesktop::installsLauncherAutostartAndIcon() {
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

    const QString launcherFile =
        home.filePath(QStringLiteral(".local/share/applications/vestrel.desktop"));
    const auto launcher = readEntry(launcherFile);
    const auto autostart =
        readEntry(home.filePath(QStringLiteral(".config/autostart/vestrel.desktop")));
    QCOMPARE(launcher.value(QStringLiteral("Name")), QStringLiteral("Vestrel"));
    QCOMPARE(autostart.value(QStringLiteral("Name")), QStringLiteral("Vestrel"));
    QCOMPARE(execArguments(launcher.value(QStringLiteral("Exec"))),
             (QStringList{exe, QStringLiteral("--open")}));
    QCOMPARE(execArguments(autostart.value(QStringLiteral("Exec"))), QStringList{exe});

    const QImage icon(launcher.value(QStringLiteral("Icon")));
    QVERIFY(!icon.isNull());
    QVERIFY(icon.width() >= 48 && icon.width() == icon.height());
    QCOMPARE(autostart.value(QStringLiteral("Icon")), launcher.value(QStringLiteral("Icon")));

    const QString validate =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (!validate.isEmpty()) {
        QProcess check;
        check.start(validate, {launcherFile});
        QVERIFY(check.waitForFinished(10000));
        QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
    }
}

QTEST_GUILESS_MAIN(TestInstallDesktop)
#include "TestInstallDesktop.moc"
