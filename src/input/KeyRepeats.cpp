#include "input/KeyRepeats.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>

namespace {

// Remembers the last key release the application saw. Main thread only.
class ReleaseWatch : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyRelease) {
            const auto& release = *static_cast<QKeyEvent*>(event);
            m_scanCode = release.nativeScanCode();
            m_timestamp = release.timestamp();
        }
        return false;
    }

    bool releasedAsPressed(const QKeyEvent& press) const
    {
        // Keys made up inside the program carry no scan code.
        return press.nativeScanCode() != 0 && press.nativeScanCode() == m_scanCode && press.timestamp() == m_timestamp;
    }

private:
    quint32 m_scanCode = 0;
    quint64 m_timestamp = 0;
};

QPointer<ReleaseWatch>& theWatch()
{
    static QPointer<ReleaseWatch> watch;
    return watch;
}

}  // namespace

namespace KeyRepeats {

void watch()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (theWatch() || !application)
        return;
    theWatch() = new ReleaseWatch(application);
    application->installEventFilter(theWatch());
}

bool isRepeat(const QKeyEvent& press)
{
    return press.isAutoRepeat() || (theWatch() && theWatch()->releasedAsPressed(press));
}

}  // namespace KeyRepeats
