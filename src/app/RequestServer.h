#pragma once

#include "WindowKind.h"

#include <QObject>
#include <functional>

class QLocalServer;
class QLocalSocket;

// The running copy's side of the request channel: each connection sends one line (a window's
// word: "open", "options" …, or "run TITLE") and gets one line back once the window is shown or
// the run is over.
class RequestServer : public QObject {
public:
    using Reply = std::function<void(const QByteArray& line)>;
    using Run = std::function<void(const QString& title, Reply reply)>;

    // show returns false when there is no display to show windows on.
    explicit RequestServer(std::function<bool(WindowKind)> show, Run run = {},
                           QObject* parent = nullptr);

    // Listens at path, replacing what a copy that ended abruptly left there (the caller holds
    // the single-copy lock, so no live copy listens there). Returns an error text on failure.
    QString listen(const QString& path);

private:
    void serve(QLocalSocket* socket);

    std::function<bool(WindowKind)> m_show;
    Run m_run;
    QLocalServer* m_server = nullptr;
};
