#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QKeyEvent;
class QWheelEvent;

// The capture view: an invisible background that fills its parent widget and
// stays beneath its siblings. It holds the keyboard focus of the main window
// so that key-downs nothing else wants reach the window's key handler, and it
// receives the wheel events over the bare background.
//
// Give it the content widget as parent and do not put it in a layout: it
// sizes itself to its parent. It takes the focus when it enters a window, and
// again whenever its window is shown or activated with nothing else holding
// the focus; a click on the bare background also gives it the focus. Widgets
// above it get their clicks as usual. Tab and Shift+Tab move the focus on to
// the window's controls; Tab never stops here.
class EventMonitorView : public QWidget {
    Q_OBJECT

public:
    using KeyPressCallback = std::function<void(QKeyEvent*)>;
    using WheelCallback = std::function<void(double deltaY)>;

    // The callbacks are kept for the life of the view. Either may be empty.
    EventMonitorView(KeyPressCallback onKeyPress, WheelCallback onWheel, QWidget* parent = nullptr);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Calls onKeyPress, then passes the key on to the parent widgets.
    void keyPressEvent(QKeyEvent* event) override;
    // Calls onWheel with a non-zero vertical delta; the wheel goes no further.
    void wheelEvent(QWheelEvent* event) override;

private:
    void enterWindow();
    void followParent();
    void takeFocus();
    void takeFocusIfUnclaimed();
    bool moveFocusOnTab(QKeyEvent* event);

    const KeyPressCallback m_onKeyPress;
    const WheelCallback m_onWheel;
    QPointer<QWidget> m_followedParent;
};
