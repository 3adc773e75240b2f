#include "FtpTestSupport.h"

#include <QtTest>
#include <functional>

// Log-on, log-off and the log-on values of cFTP against a real server.
class TestFtpConnection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void connectAcceptsRightPassword();
    void connectRefusedByServerCarriesReply();
    void connectFailuresWithoutReplyEndAfterMessage_data();
    void connectFailuresWithoutReplyEndAfterMessage();
    void connectWithoutHostRecords();
    void connectKeepsStoredValuesForEmptyArguments();
    void secondConnectLeavesConnectionAlone();
    void logOnValuesRefuseChangeWhileConnected_data();
    void logOnValuesRefuseChangeWhileConnected();
    void portIsTwentyOneUnlessValid_data();
    void portIsTwentyOneUnlessValid();
    void disconnectWhileNotConnectedRaises();
    void disconnectForgetsLogOnValues();
    void oneControlConnectionServesEveryCall();

private:
    FtpServer m_server;
};

void TestFtpConnection::initTestCase() {
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
}

void TestFtpConnection::connectAcceptsRightPassword() {
    cFTP ftp;
    const int before = m_server.logOnCount();
    QVERIFY(logOn(ftp, m_server));
    QVERIFY(ftp.Connected());
    QCOMPARE(CurrentError().number, 0);
    QCOMPARE(m_server.logOnCount(), before + 1);
}

void TestFtpConnection::connectRefusedByServerCarriesReply() {
    cFTP ftp;
    ftp.setPort(m_server.port());
    const QString wrong = QStringLiteral("Wrong-Password-9");
    QVERIFY(!ftp.Connect(m_server.host(), m_server.user(), wrong));
    QVERIFY(!ftp.Connected());
    QCOMPARE(hex(CurrentError().number), hex(FtpError::LogOnFailed));
    const QString description = CurrentError().description;
    const QString head =
        QStringLiteral("Cannot Connect to 127.0.0.1 using User and Password Parameters\r\n530 ");
    QVERIFY2(description.startsWith(head), qPrintable(description));
    QVERIFY(description.endsWith(QStringLiteral("\r\n")));
    QVERIFY(!description.endsWith(QStringLiteral("\r\n\r\n")));
    QVERIFY(!description.contains(wrong));
    // The values given stay stored after the refusal.
    QCOMPARE(ftp.Password(), wrong);
}

void TestFtpConnection::connectFailuresWithoutReplyEndAfterMessage_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    // A port that was free a moment ago refuses the connection.
    SilentListener probe;
    const int closedPort = probe.port();
    probe.close();

    QTest::newRow("closed port") << QStringLiteral("127.0.0.1") << closedPort;
    QTest::newRow("name not resolved") << QStringLiteral("no-such-host.invalid") << 21;
    QTest::newRow("server that never greets") << QStringLiteral("silent") << 0;
}

void TestFtpConnection::connectFailuresWithoutReplyEndAfterMessage() {
    QFETCH(QString, host);
    QFETCH(int, port);
    // Accepted by the kernel's backlog and never answered: only the connect time-out ends it.
    SilentListener silent;
    if (host == QLatin1String("silent")) {
        QVERIFY(silent.port() > 0);
        host = QStringLiteral("127.0.0.1");
        port = silent.port();
    }
    cFTP ftp;
    ftp.setPort(port);
    QVERIFY(!ftp.Connect(host, m_server.user(), m_server.password()));
    QVERIFY(!ftp.Connected());
    QCOMPARE(hex(CurrentError().number), hex(FtpError::LogOnFailed));
    QCOMPARE(
        CurrentError().description,
        QStringLiteral("Cannot Connect to %1 using User and Password Parameters\r\n").arg(host));
}

void TestFtpConnection::connectWithoutHostRecords() {
    cFTP ftp;
    QVERIFY(!ftp.Connect());
    QCOMPARE(hex(CurrentError().number), hex(FtpError::LogOnValues));
    QCOMPARE(CurrentError().description, QStringLiteral("No Host Address Specified!"));
    QCOMPARE(CurrentError().source, QString());
}

void TestFtpConnection::connectKeepsStoredValuesForEmptyArguments() {
    cFTP ftp;
    ftp.setUser(m_server.user());
    ftp.setPassword(m_server.password());
    ftp.setPort(m_server.port());
    QVERIFY(ftp.Connect(m_server.host(), QString(), QString()));
    QCOMPARE(ftp.Host(), m_server.host());
    QCOMPARE(ftp.User(), m_server.user());
    QCOMPARE(ftp.Password(), m_server.password());
}

void TestFtpConnection::secondConnectLeavesConnectionAlone() {
    cFTP ftp;
    QVERIFY(logOn(ftp, m_server));
    const int logOns = m_server.logOnCount();
    QVERIFY(!ftp.Connect(QStringLiteral("elsewhere.invalid"), QStringLiteral("x"),
                         QStringLiteral("y")));
    QCOMPARE(hex(CurrentError().number), hex(FtpError::LogOnValues));
    QCOMPARE(CurrentError().description,
             QStringLiteral("You are already connected to FTP Server 127.0.0.1"));
    QVERIFY(ftp.Connected());
    QCOMPARE(ftp.Host(), m_server.host());
    QCOMPARE(ftp.User(), m_server.user());
    QCOMPARE(ftp.GetDirectoryList(), QStringLiteral("pub@@16||a.txt@@128"));
    QCOMPARE(m_server.logOnCount(), logOns);
}

void TestFtpConnection::logOnValuesRefuseChangeWhileConnected_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<std::function<void(cFTP&)>>("change");
    QTest::addColumn<std::function<bool(const cFTP&)>>("unchanged");

    QTest::newRow("Host") << QStringLiteral("MelnoFTP:Host_Let")
                          << std::function<void(cFTP&)>(
                                 [](cFTP& f) { f.setHost(QStringLiteral("other")); })
                          << std::function<bool(const cFTP&)>([](const cFTP& f) {
                                 return f.Host() == QLatin1String("127.0.0.1");
                             });
    QTest::newRow("User") << QStringLiteral("KivoFTP::User_Let")
                          << std::function<void(cFTP&)>(
                                 [](cFTP& f) { f.setUser(QStringLiteral("other")); })
                          << std::function<bool(const cFTP&)>(
                                 [](const cFTP& f) { return f.User() != QLatin1String("other"); });
    QTest::newRow("Password") << QStringLiteral("KivoFTP::Password_Let")
                              << std::function<void(cFTP&)>(
                                     [](cFTP& f) { f.setPassword(QStringLiteral("other")); })
                              << std::function<bool(const cFTP&)>([](const cFTP& f) {
                                     return f.Password() != QLatin1String("other");
                                 });
    QTest::newRow("Port") << QStringLiteral("KivoFTP::Port_Let")
                          << std::function<void(cFTP&)>([](cFTP& f) { f.setPort(2121); })
                          << std::function<bool(const cFTP&)>(
                                 [](const cFTP& f) { return f.Port() != 2121; });
}

void TestFtpConnection::logOnValuesRefuseChangeWhileConnected() {
    QFETCH(QString, source);
    QFETCH(std::function<void(cFTP&)>, change);
    QFETCH(std::function<bool(const cFTP&)>, unchanged);
    cFTP ftp;
    QVERIFY(logOn(ftp, m_server));
    const auto error = raisedBy([&] { change(ftp); });
    QVERIFY(error);
    QCOMPARE(hex(error->number()), hex(FtpError::LogOnValues));
    QCOMPARE(error->source(), source);
    QCOMPARE(error->description(),
             QStringLiteral("You cannot change this property while connected to an FTP server"));
    QVERIFY(unchanged(ftp));
}

void TestFtpConnection::portIsTwentyOneUnlessValid_data() {
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("stored");
    QTest::newRow("2121") << 2121 << 2121;
    QTest::newRow("65535") << 65535 << 65535;
    QTest::newRow("0") << 0 << 21;
    QTest::newRow("negative") << -5 << 21;
    QTest::newRow("too large") << 65536 << 21;
}

void TestFtpConnection::portIsTwentyOneUnlessValid() {
    QFETCH(int, given);
    QFETCH(int, stored);
    cFTP ftp;
    QCOMPARE(ftp.Port(), 21);
    ftp.setPort(given);
    QCOMPARE(ftp.Port(), stored);
}

void TestFtpConnection::disconnectWhileNotConnectedRaises() {
    cFTP ftp;
    ftp.setHost(QStringLiteral("h"));
    ftp.setUser(QStringLiteral("u"));
    ftp.setPassword(QStringLiteral("p"));
    const auto error = raisedBy([&] { ftp.Disconnect(); });
    QVERIFY(error);
    QCOMPARE(hex(error->number()), hex(FtpError::NotConnected));
    QCOMPARE(error->source(), QStringLiteral("KivoFTP::Disconnect"));
    QCOMPARE(error->description(), QStringLiteral("Not Connected to FTP Site"));
    QCOMPARE(ftp.Host() + ftp.User() + ftp.Password(), QStringLiteral("hup"));
}

void TestFtpConnection::disconnectForgetsLogOnValues() {
    cFTP ftp;
    QVERIFY(logOn(ftp, m_server));
    ftp.setDirectory(QStringLiteral("pub"));
    QCOMPARE(ftp.Directory(), QStringLiteral("pub"));
    ftp.Disconnect();
    QVERIFY(!ftp.Connected());
    QCOMPARE(ftp.Host() + ftp.User() + ftp.Password() + ftp.Directory(), QString());
    QVERIFY(raisedBy([&] { ftp.DeleteFile(QStringLiteral("a.txt")); }));
    // The same object logs on again, starting in the log-on folder.
    QVERIFY(logOn(ftp, m_server));
    QCOMPARE(ftp.GetDirectoryList(), QStringLiteral("pub@@16||a.txt@@128"));
}

void TestFtpConnection::oneControlConnectionServesEveryCall() {
    const QTemporaryDir local;
    const QString file = local.filePath(QStringLiteral("one.bin"));
    QVERIFY(writeAll(file, "one"));
    cFTP ftp;
    const int before = m_server.logOnCount();
    QVERIFY(logOn(ftp, m_server));
    ftp.setDirectory(QStringLiteral("pub"));
    QVERIFY(ftp.PutFile(file, QStringLiteral("one.bin")));
    QVERIFY(ftp.GetFile(QStringLiteral("one.bin"), local.filePath(QStringLiteral("back.bin"))));
    QVERIFY(ftp.RenameFile(QStringLiteral("one.bin"), QStringLiteral("two.bin")));
    QCOMPARE(ftp.GetDirectoryList(), QStringLiteral("two.bin@@128"));
    QVERIFY(ftp.DeleteFile(QStringLiteral("two.bin")));
    ftp.setDirectory(QStringLiteral("\\"));
    QCOMPARE(ftp.GetDirectoryList(QStringLiteral("pub")), QString());
    QCOMPARE(m_server.logOnCount(), before + 1);
}

QTEST_GUILESS_MAIN(TestFtpConnection)
#include "TestFtpConnection.moc"
