#include "app/WindowPlacement.h"

#include "base/DefaultsStore.h"
#include "base/Log.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

std::optional<int> intMember(const QJsonObject& object, const QString& name)
{
    const QJsonValue value = object.value(name);
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // Desktop coordinates are far smaller than this, and whole. The range
    // first: a number beyond an int has no int to compare with.
    if (!(std::abs(number) <= 1e6) || number != std::trunc(number))
        return std::nullopt;
    return int(number);
}

QScreen* screenNamed(const QString& name)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    const auto it = std::find_if(screens.begin(), screens.end(), [&](QScreen* screen) { return screen->name() == name; });
    return it == screens.end() ? nullptr : *it;
}

// Inside the free area: no larger, and moved in where it sticks out.
QRect keptInside(QRect rect, const QRect& area)
{
    rect.setSize(rect.size().boundedTo(area.size()));
    rect.moveLeft(std::clamp(rect.left(), area.left(), area.right() - rect.width() + 1));
    rect.moveTop(std::clamp(rect.top(), area.top(), area.bottom() - rect.height() + 1));
    return rect;
}

}  // namespace

QByteArray WindowPlacement::encode() const
{
    const QJsonObject object{{QStringLiteral("screen"), screen},
                             {QStringLiteral("x"), geometry.x()},
                             {QStringLiteral("y"), geometry.y()},
                             {QStringLiteral("width"), geometry.width()},
                             {QStringLiteral("height"), geometry.height()},
                             {QStringLiteral("maximized"), maximized}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<WindowPlacement> WindowPlacement::decode(const QByteArray& bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue screen = object.value(QStringLiteral("screen"));
    const QJsonValue maximized = object.value(QStringLiteral("maximized"));
    const std::optional<int> x = intMember(object, QStringLiteral("x"));
    const std::optional<int> y = intMember(object, QStringLiteral("y"));
    const std::optional<int> width = intMember(object, QStringLiteral("width"));
    const std::optional<int> height = intMember(object, QStringLiteral("height"));
    if (!screen.isString() || !maximized.isBool() || !x || !y || !width || !height || *width <= 0 || *height <= 0)
        return std::nullopt;
    return WindowPlacement{screen.toString(), QRect(*x, *y, *width, *height), maximized.toBool()};
}

WindowPlacement WindowPlacement::of(const QWidget& window)
{
    const bool maximized = window.isMaximized();
    // A maximised or full-screen window keeps the place it goes back to.
    const QRect geometry = maximized || window.isFullScreen() ? window.normalGeometry() : window.geometry();
    const QScreen* screen = window.screen();
    return {screen ? screen->name() : QString(), geometry, maximized};
}

bool WindowPlacement::restore(const DefaultsStore& store, QWidget& window)
{
    const std::optional<QByteArray> stored = store.data(key);
    if (!stored && !store.contains(key))
        return false;
    const std::optional<WindowPlacement> placement = stored ? decode(*stored) : std::nullopt;
    if (!placement) {
        Log::line(QStringLiteral("The stored window geometry cannot be read, so the window opens at its first size"));
        return false;
    }
    QScreen* screen = screenNamed(placement->screen);
    if (!screen)
        return false;
    QRect geometry = placement->geometry;
    geometry.setSize(geometry.size().expandedTo(window.minimumSizeHint()));
    window.setScreen(screen);
    window.setGeometry(keptInside(geometry, screen->availableGeometry()));
    if (placement->maximized)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    return true;
}

QSize WindowPlacement::firstSizeWithin(QSize designed, QSize least, const QRect& area)
{
    return designed.boundedTo(area.size()).expandedTo(least);
}

WindowPlacementKeeper::WindowPlacementKeeper(DefaultsStore& store, QWidget& window)
    : QObject(&window)
    , m_store(store)
    , m_window(window)
{
    window.installEventFilter(this);
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &WindowPlacementKeeper::save);
    m_settled.setSingleShot(true);
    m_settled.setInterval(settledMilliseconds);
    connect(&m_settled, &QTimer::timeout, this, &WindowPlacementKeeper::save);
}

void WindowPlacementKeeper::save()
{
    m_settled.stop();
    if (!m_window.isVisible())
        return;
    const QByteArray placement = WindowPlacement::of(m_window).encode();
    if (m_store.data(WindowPlacement::key) != placement)
        m_store.setData(WindowPlacement::key, placement);
}

bool WindowPlacementKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window)
        return false;
    switch (event->type()) {
    case QEvent::Close:
        save();
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
        // Also kept once it rests: a session whose display goes away
        // (the X server ended, the connection broken) ends the program
        // with neither a close nor a quit.
        m_settled.start();
        break;
    default:
        break;
    }
    return false;
}
