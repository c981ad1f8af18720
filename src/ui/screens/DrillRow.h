#pragma once

#include "engine/LoopPlan.h"

#include <QWidget>

#include <optional>

class ContentState;
class PlainButton;
class QAction;
class QMenu;
class TextLine;
struct PlayerDisplay;

// The drill line of the player card: the loop's points as times with
// hundredths, the pass in progress and, in a pause between passes, the
// seconds left; at its right three small menus: passes per loop, the pause
// between passes, and the speed (which the wheel also turns, over it).
class DrillRow : public QWidget {
    Q_OBJECT

public:
    explicit DrillRow(ContentState& state, QWidget* parent = nullptr);

    // The chips' words.
    static QString passesText(int passes, bool goesOn);
    static QString pauseText(const PassPause& pause);

    void present(const PlayerDisplay& display);

    TextLine* loopLine() const { return m_loop; }
    PlainButton* passesButton() const { return m_passes; }
    PlainButton* pauseButton() const { return m_pause; }
    PlainButton* speedButton() const { return m_speed; }
    QMenu* speedMenu() const { return m_speedMenu; }
    QMenu* passesMenu() const { return m_passesMenu; }
    QMenu* pauseMenu() const { return m_pauseMenu; }
    QAction* thenNextPhraseItem() const { return m_thenNextPhrase; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;

private:
    // What the chips and menus were last made to show.
    struct Followed {
        int passes = 0;
        PassPause pause;
        bool thenNextPhrase = false;
        double speed = 0;
        bool operator==(const Followed&) const = default;
    };

    void followDrill();
    void fitChipsToTheirWidestLabels();
    // The loop line's least width, made again only with the language: the
    // layout asks at every change of the line's width (a pause counting down).
    int shortestLoopLineWidth() const;

    ContentState& m_state;
    TextLine* m_loop;
    PlainButton* m_passes;
    PlainButton* m_pause;
    QMenu* m_passesMenu;
    QMenu* m_pauseMenu;
    QAction* m_thenNextPhrase;
    PlainButton* m_speed;
    QMenu* m_speedMenu;
    std::optional<Followed> m_followed;
    mutable std::optional<int> m_shortestLoopLineWidth;
};
