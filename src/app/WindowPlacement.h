#pragma once

#include <QByteArray>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <QString>

#include <optional>

class DefaultsStore;
class QWidget;

// Where the main window was: its screen, its size and place when not
// maximised, and whether it was maximised; kept in the defaults store under
// a key of its own, so the next start opens the window the way it was left.
struct WindowPlacement {
    static inline const QString key = QStringLiteral("windowGeometry");

    QString screen;  // the screen's name, as the windowing system gives it
    QRect geometry;  // the window's inside (no frame) in desktop coordinates, as when not maximised
    bool maximized = false;

    // Compact JSON: {"screen":…,"x":…,"y":…,"width":…,"height":…,"maximized":…}
    QByteArray encode() const;
    // None unless every member is there, of its type, and the size is not empty.
    static std::optional<WindowPlacement> decode(const QByteArray& bytes);

    // Of a shown window.
    static WindowPlacement of(const QWidget& window);

    // Places a window that is not yet shown as the store says, on the screen
    // it was on, kept inside that screen's free area. Returns false, and
    // leaves the window alone, when nothing is stored, when the screen is not
    // there now, or when the stored value cannot be read (said in one line).
    static bool restore(const DefaultsStore& store, QWidget& window);
    // The first start's size within a screen's free area (a small screen at
    // a large scale has less room than the designed size asks), never below
    // the least the window takes.
    static QSize firstSizeWithin(QSize designed, QSize least, const QRect& area);
};

// Stores the window's placement when it closes, when the application quits
// with it open, and a second after it was last moved or resized.
class WindowPlacementKeeper : public QObject {
    Q_OBJECT

public:
    static constexpr int settledMilliseconds = 1000;

    WindowPlacementKeeper(DefaultsStore& store, QWidget& window);

    void save();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DefaultsStore& m_store;
    QWidget& m_window;
    QTimer m_settled;
};
