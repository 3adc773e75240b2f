#pragma once

#include "WindowKind.h"

#include <QObject>
#include <functional>

class QLocalServer;
class QLocalSocket;

// The running copy's side of the request channel: each connection sends one word ("open",
// "options", "explorer") and gets one line back once the window is shown.
class RequestServer : public QObject {
public:
    // show returns false when there is no display to show windows on.
    explicit RequestServer(std::function<bool(WindowKind)> show, QObject* parent = nullptr);

    // Listens at path, replacing what a copy that ended abruptly left there (the caller holds
    // the single-copy lock, so no live copy listens there). Returns an error text on failure.
    QString listen(const QString& path);

private:
    void serve(QLocalSocket* socket);

    std::function<bool(WindowKind)> m_show;
    QLocalServer* m_server = nullptr;
};
