#pragma once

#include <QString>

// Where the program's messages ("Vestrel Session Complete!", "Impossible!" …) go. Production
// shows a modal box (so timer ticks may run while it is open); tests answer it themselves.
class Messages {
public:
    virtual ~Messages() = default;
    virtual void show(const QString& text) = 0;
    // A failure the user must see: the box has a warning icon.
    virtual void warn(const QString& text) { show(text); }
    // News that needs no answer: a tray notification where there is a tray.
    virtual void notify(const QString& text) { show(text); }
};
