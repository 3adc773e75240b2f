#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// "Test connection" in the options dialog: logs on with what the boxes hold now (nothing is
// saved), lists the folder of "Path in FTP" and says in one line under the button how it went.
// The log-on runs on a thread of its own, so the dialog stays usable while a server is slow.
class TestConnection : public QObject {
    Q_OBJECT

public:
    struct Boxes {
        QLineEdit* host;
        QLineEdit* port;
        QLineEdit* user;
        QLineEdit* password;
        QLineEdit* path;
        QLineEdit* region;
    };
    // The button goes left of `beside` on its row, the line below that row across the dialog,
    // which grows to hold it. `trustedCertificate` is the certificate the options trust.
    TestConnection(QWidget* dialog, const Boxes& boxes, QPushButton* beside,
                   QString trustedCertificate);

    QPushButton* button() const { return m_button; }

    struct Outcome {
        bool ok = false;
        QString line;
    };
    // Logs on, lists, logs off; blocks. What the line under the button says.
    static Outcome test(const QString& host, const QString& port, const QString& user,
                        const QString& password, const QString& path,
                        const QString& trustedCertificate,
                        const QString& region = QStringLiteral("us-east-1"));

private:
    void start();
    void show(const Outcome& outcome);

    Boxes m_boxes;
    QString m_trustedCertificate;
    QPushButton* m_button = nullptr;
    QLabel* m_line = nullptr;
};
