#include "RequestServer.h"

#include "RequestChannel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

namespace {
// A client that connects and says nothing is dropped after this long.
constexpr int IdleClientMs = 5000;
constexpr qint64 LongestRequest = 4096;
} // namespace

RequestServer::RequestServer(std::function<bool(WindowKind)> show, Run run, QObject* parent)
    : QObject(parent)
    , m_show(std::move(show))
    , m_run(std::move(run))
    , m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
            auto* idle = new QTimer(socket);
            idle->setObjectName(QStringLiteral("idle"));
            idle->setSingleShot(true);
            connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
            idle->start(IdleClientMs);
        }
    });
}

QString RequestServer::listen(const QString& path) {
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        return m_server->errorString();
    }
    return {};
}

void RequestServer::serve(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > LongestRequest) {
            socket->abort();
        }
        return;
    }
    const QByteArray word = socket->readLine(LongestRequest).trimmed();
    const QByteArray runPrefix(RequestChannel::RunPrefix.data(), RequestChannel::RunPrefix.size());
    if (m_run && word.startsWith(runPrefix.trimmed() + ' ')) {
        // A run may take hours; the asking start waits for it.
        delete socket->findChild<QTimer*>(QStringLiteral("idle"));
        disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
        QPointer<QLocalSocket> asking(socket);
        m_run(QString::fromUtf8(word.mid(runPrefix.size())), [asking](const QByteArray& line) {
            if (asking) {
                asking->write(line + '\n');
                asking->disconnectFromServer();
            }
        });
        return;
    }
    const std::optional<WindowKind> kind = windowFromWord(word.toStdString());
    QByteArray reply;
    if (!kind) {
        reply = "unknown request";
    } else if (m_show(*kind)) {
        reply = QByteArray(RequestChannel::Shown.data(), RequestChannel::Shown.size());
    } else {
        reply = QByteArray(RequestChannel::NoDisplay.data(), RequestChannel::NoDisplay.size());
    }
    socket->write(reply + '\n');
    socket->disconnectFromServer();
}
