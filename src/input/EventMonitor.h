#pragma once

#include "input/CommandHandlers.h"

#include <QObject>

class ContentState;

// The window-wide route for key-downs and wheel events: an event filter on the
// application, so it sees every such event before any widget does, whatever
// has focus and wherever the pointer is: over lists, in popup menus and in
// window-modal sheets alike. It runs the commands silently and swallows what
// it acted on.
class EventMonitor : public QObject {
    Q_OBJECT

public:
    // Owned by the state it acts on, so it goes away with the window.
    explicit EventMonitor(ContentState& state);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CommandHandlers m_handlers;
};

// Installs the monitor for this window's state on the running application.
// Call it whenever the main window is shown: the monitor is installed once per
// state and the same one is returned each time.
EventMonitor* installEventMonitor(ContentState& state);
