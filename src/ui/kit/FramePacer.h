#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

class QWidget;

// Runs a piece of display work at most once per screen frame, however often
// it is asked for: the first request after a quiet spell runs at the next
// turn of the event loop, later ones wait for the next frame. The frame rate
// is the screen's that the widget is on (60 Hz when it says none).
class FramePacer {
public:
    FramePacer(QWidget* widget, std::function<void()> work);

    void request();
    int frameIntervalMilliseconds() const;

private:
    void run();

    QWidget* m_widget;
    std::function<void()> m_work;
    QTimer m_timer;
    QElapsedTimer m_sinceLastRun;
};
