#pragma once

class QAccessibleEvent;

// How the controls tell assistive tools of a change (a new value, the cursor
// on another row). Qt passes such an event on to the platform's bridge only
// while a tool listens; a listener set here hears every one, tool or not,
// which is how tests watch them. GUI thread only.
namespace AccessibleEvents {

void send(QAccessibleEvent& event);

using Listener = void (*)(QAccessibleEvent* event);
// None (nullptr) to stop listening.
void setListener(Listener listener);

}  // namespace AccessibleEvents
