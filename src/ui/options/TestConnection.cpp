#include "TestConnection.h"

#include "common/Error.h"
#include "ftp/cFTP.h"
#include "store/Settings.h"
#include "ui/look/WindowLook.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

namespace {

// Long enough for a distant server, short enough that an answer comes while the user waits.
constexpr long ConnectSeconds = 10;
constexpr long QuitSeconds = 3;

QString oneLine(QString text) {
    return text.replace(QLatin1String("\r\n"), QLatin1String(" ")).simplified();
}

} // namespace

TestConnection::TestConnection(QWidget* dialog, const Boxes& boxes, QPushButton* beside,
                               QString trustedCertificate)
    : QObject(dialog)
    , m_boxes(boxes)
    , m_trustedCertificate(std::move(trustedCertificate)) {
    const QRect row = beside->geometry();
    m_button = new QPushButton(QStringLiteral("Test connection"), dialog);
    m_button->setObjectName(QStringLiteral("cmdTest"));
    m_button->setAccessibleName(m_button->text());
    m_button->setToolTip(
        QStringLiteral("Log on with the values above, without saving them, and list the folder"));
    m_button->setGeometry(QRect(pixels(60), row.top(), row.left() - pixels(165), row.height()));
    paintButton(m_button, Qt::white);

    m_line = new QLabel(dialog);
    m_line->setObjectName(QStringLiteral("lblTest"));
    m_line->setWordWrap(true);
    m_line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_line->setGeometry(
        QRect(pixels(60), row.bottom() + pixels(60), dialog->width() - pixels(120), pixels(630)));
    dialog->setFixedHeight(m_line->geometry().bottom() + pixels(60));
    connect(m_button, &QPushButton::clicked, this, &TestConnection::start);
}

void TestConnection::start() {
    m_button->setEnabled(false);
    m_line->setText(QStringLiteral("Connecting to %1 …").arg(m_boxes.host->text()));
    auto outcome = std::make_shared<Outcome>();
    QThread* worker =
        QThread::create([outcome, host = m_boxes.host->text(), port = m_boxes.port->text(),
                         user = m_boxes.user->text(), password = m_boxes.password->text(),
                         path = m_boxes.path->text(), trusted = m_trustedCertificate,
                         region = m_boxes.region->text()] {
            *outcome = test(host, port, user, password, path, trusted, region);
        });
    // Gone with the dialog, this connection drops the answer; the thread ends on its own.
    connect(worker, &QThread::finished, this, [this, outcome] { show(*outcome); });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void TestConnection::show(const Outcome& outcome) {
    m_line->setText(outcome.line);
    m_line->setAccessibleName(outcome.line);
    QPalette colours = m_line->palette();
    colours.setColor(QPalette::WindowText, outcome.ok ? QColor(0, 100, 0) : QColor(160, 0, 0));
    m_line->setPalette(colours);
    m_button->setEnabled(true);
}

TestConnection::Outcome TestConnection::test(const QString& host, const QString& port,
                                             const QString& user, const QString& password,
                                             const QString& path, const QString& trustedCertificate,
                                             const QString& region) {
    if (host.trimmed().isEmpty()) {
        return {false, QStringLiteral("No server to test: fill in \"FTP IP\".")};
    }
    cFTP ftp;
    ftp.setPort(port.toInt());
    ftp.setTimeouts(ConnectSeconds, QuitSeconds);
    ftp.setTrustedCertificate(trustedCertificate);
    ftp.setRegion(region);
    try {
        if (!ftp.Connect(host, user, password)) {
            const QString description = CurrentError().description.trimmed();
            const auto refused = ftp.LastRefusal().reason;
            QString check = QStringLiteral(" Check \"FTP IP\" and \"Port\".");
            if (refused == ServerRefusal::Reason::UnknownHostKey ||
                refused == ServerRefusal::Reason::UntrustedCertificate) {
                check = QStringLiteral(" Open the FTP Browser once to trust the server.");
            } else if (refused != ServerRefusal::Reason::None) {
                check.clear();
            } else if (description.contains(QLatin1Char('\n'))) {
                // The server answered the log-on with a refusal of its own: its words say why.
                return {false, QStringLiteral("The server refused the log-on: ") +
                                   oneLine(description.section(QLatin1Char('\n'), 1)) +
                                   QStringLiteral(" Check \"User\" and \"Password\".")};
            }
            return {false, oneLine(description) + check};
        }
        const QString folder = asRemoteFolder(path);
        if (!folder.isEmpty()) {
            ftp.setDirectory(folder);
        }
        if (CurrentError().isSet()) {
            const QString failure = oneLine(CurrentError().description);
            ftp.Disconnect();
            return {false, QStringLiteral("Logged on, but the folder %1 cannot be opened: %2 Check "
                                          "\"Path in FTP\".")
                               .arg(folder, failure)};
        }
        const QString listing = ftp.GetDirectoryList();
        int entries = 0;
        for (const QString& entry : listing.split(QStringLiteral("||"), Qt::SkipEmptyParts)) {
            const QString name = entry.section(QStringLiteral("@@"), 0, 0);
            entries += name != QLatin1String(".") && name != QLatin1String("..");
        }
        ftp.Disconnect();
        return {true, QStringLiteral("Connection works: the folder %1 holds %2 %3.")
                          .arg(folder.isEmpty() ? QStringLiteral("you log on to") : folder)
                          .arg(entries)
                          .arg(entries == 1 ? QStringLiteral("entry") : QStringLiteral("entries"))};
    } catch (const VError& error) {
        return {false,
                oneLine(error.description()) + QStringLiteral(" Check \"FTP IP\" and \"Port\".")};
    }
}
