#include "FtpTestSupport.h"

#include <QTcpServer>
#include <QtTest>
#include <functional>

using Change = std::function<void(cFTP&)>;

// Log-on, log-off and the log-on values of cFTP against a real server.
class TestFtpConnection : public QObject {
    Q_OBJECT

    FtpServer m_server;

private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorString())); }

    void connectLogsOnOnceAndKeepsTheConnection() {
        cFTP ftp;
        QCOMPARE(ftp.Port(), 21);
        const int logOns = m_server.logOnCount() + 1;
        QVERIFY(logOn(ftp, m_server));
        QVERIFY(ftp.Connected());
        QCOMPARE(m_server.logOnCount(), logOns);
        // A second Connect is refused and leaves the connection alone.
        QVERIFY(!ftp.Connect("elsewhere.invalid", "x", "y"));
        QCOMPARE(hex(CurrentError().number), hex(FtpError::LogOnValues));
        QVERIFY(ftp.Connected());
        QCOMPARE(ftp.Host() + ftp.User(), m_server.host() + m_server.user());
        QCOMPARE(ftp.GetDirectoryList(), "pub@@16||a.txt@@128");
        QCOMPARE(m_server.logOnCount(), logOns);
        // Disconnect forgets the log-on values.
        ftp.Disconnect();
        QVERIFY(!ftp.Connected());
        QCOMPARE(ftp.Host() + ftp.User() + ftp.Password() + ftp.Directory(), QString());
    }

    void disconnectDoesNotWaitLongForQuitReply() {
        FtpServer hung;
        QVERIFY2(hung.start({.answerQuit = false}), qPrintable(hung.errorString()));
        cFTP ftp;
        ftp.setTimeouts(15, 1);
        QVERIFY(logOn(ftp, hung));
        QElapsedTimer timer;
        timer.start();
        ftp.Disconnect();
        // The reply time-out for QUIT, not the 60 s that transfers allow.
        QCOMPARE_LT(timer.elapsed(), 10000);
        QCOMPARE(hung.commands().last(), "QUIT");
    }

    // A refusal carries the server's reply; without a reply the description ends after the
    // message. The password is in none of them.
    void connectFailures_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("reply");
        // A port that was free a moment ago refuses the connection.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const int closedPort = probe.serverPort();
        probe.close();
        // clang-format off
        QTest::newRow("wrong password") << "127.0.0.1" << 0 << "Wrong-Password-9" << "530 ";
        QTest::newRow("closed port") << "127.0.0.1" << closedPort << "" << "";
        QTest::newRow("name not resolved") << "no-such-host.invalid" << 21 << "" << "";
        // Accepted by the kernel's backlog (no event loop runs to take it) and never answered:
        // only the connect time-out ends it.
        QTest::newRow("server that never greets") << "127.0.0.1" << -1 << "" << "";
        // clang-format on
    }

    void connectFailures() {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, password);
        QFETCH(QString, reply);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        cFTP ftp;
        ftp.setTimeouts(1, 1);
        ftp.setPort(port == 0 ? m_server.port() : port < 0 ? silent.serverPort() : port);
        const QString secret = password.isEmpty() ? m_server.password() : password;
        QVERIFY(!ftp.Connect(host, m_server.user(), secret));
        QVERIFY(!ftp.Connected());
        const QString text = recorded();
        QVERIFY2(text.startsWith("800407d1 Cannot Connect to " + host +
                                 " using User and Password Parameters\r\n" + reply) &&
                     text.endsWith("\r\n") && text.count("\r\n") == (reply.isEmpty() ? 1 : 2),
                 qPrintable(text));
        QVERIFY(!text.contains(secret));
    }

    void logOnValuesRefuseChangeWhileConnected_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<Change>("change");
        // clang-format off
        QTest::newRow("Host") << "MelnoFTP:Host_Let" << Change([](cFTP& f) { f.setHost("x"); });
        QTest::newRow("User") << "KivoFTP::User_Let" << Change([](cFTP& f) { f.setUser("x"); });
        QTest::newRow("Password") << "KivoFTP::Password_Let" << Change([](cFTP& f) { f.setPassword("x"); });
        QTest::newRow("Port") << "KivoFTP::Port_Let" << Change([](cFTP& f) { f.setPort(2121); });
        // clang-format on
    }

    void logOnValuesRefuseChangeWhileConnected() {
        QFETCH(QString, source);
        QFETCH(Change, change);
        cFTP ftp;
        QVERIFY(logOn(ftp, m_server));
        QCOMPARE(described(raisedBy([&] { change(ftp); })),
                 QStringLiteral("800407d7 %1: You cannot change this property while connected "
                                "to an FTP server")
                     .arg(source));
        QCOMPARE(ftp.Host() + ftp.User() + ftp.Password() + QString::number(ftp.Port()),
                 m_server.host() + m_server.user() + m_server.password() +
                     QString::number(m_server.port()));
    }
};

QTEST_GUILESS_MAIN(TestFtpConnection)
#include "TestFtpConnection.moc"
