#pragma once

#include <QString>

// Where the program's two messages ("Vestrel Session Complete!", "Impossible!") go. Production
// shows a modal box (so timer ticks may run while it is open); tests answer it themselves.
class Messages {
public:
    virtual ~Messages() = default;
    virtual void show(const QString& text) = 0;
};
