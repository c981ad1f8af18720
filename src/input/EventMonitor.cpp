#include "input/EventMonitor.h"

#include "input/KeyRepeats.h"
#include "state/ContentState.h"

#include <QCoreApplication>

EventMonitor::EventMonitor(ContentState& state)
    : QObject(&state)
    , m_handlers(state)
{
}

// Qt hands one key press to several receivers in turn (the window, the focus
// widget, then its parents while each ignores it), and a wheel event to the
// window and then the widgets under the pointer; this filter sees every one of
// those deliveries. An event is swallowed exactly when a command ran, so a
// later delivery only happens after the earlier ones did nothing: each
// physical key-down or wheel event runs at most one command.
bool EventMonitor::eventFilter(QObject* watched, QEvent* event)
{
    return m_handlers.handleMonitoredEvent(watched, event) == MonitorVerdict::Swallow;
}

EventMonitor* installEventMonitor(ContentState& state)
{
    if (auto* existing = state.findChild<EventMonitor*>(QString(), Qt::FindDirectChildrenOnly))
        return existing;
    auto* monitor = new EventMonitor(state);
    QCoreApplication::instance()->installEventFilter(monitor);
    KeyRepeats::watch();
    return monitor;
}
