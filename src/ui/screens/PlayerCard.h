#pragma once

#include "ui/kit/WaveformStrip.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <utility>

class ContentState;
class CustomProgressBar;
class DrillRow;
using WaveformStripEnvelope = WaveformStrip::Envelope;
class CustomVerticalSlider;
class TextLine;
struct PlayerDisplay;

// The now-playing card: the track's name, the progress bar (with the saved
// loops of the track as faint marks), the strip of the track's loudness and
// phrases around the play head, the time, the drill line, the loop hint and,
// beside them, the volume column. The card's rounded white
// shape and shadow are painted by the surface beneath (see Backdrop); this
// widget lays out and feeds the content.
//
// The text column is laid out by hand: the progress bar's widget is larger
// than the bar (its margins hold the loop labels, tick ends and shadow), and
// the column's spacing is measured from the bar itself.
class QMenu;

class PlayerCard : public QWidget {
    Q_OBJECT

public:
    static constexpr int padding = 16;
    static constexpr int columnSpacing = 10;  // text column to volume column
    static constexpr int textSpacing = 5;
    static constexpr int volumeColumnWidth = 40;
    static constexpr int volumeSpacing = 5;
    static constexpr int preferredTextWidth = 340;
    static inline const QString loopHint = QStringLiteral("'B or \u3160' : Loop(\uad6c\uac04\ubc18\ubcf5) Start/End/Clear");

    // The bar and the slider read and write the player's published values.
    explicit PlayerCard(ContentState& state, QWidget* parent = nullptr);

    // Shows what changed; costs next to nothing when nothing did.
    void present(const PlayerDisplay& display);

    TextLine* titleLine() const { return m_title; }
    CustomProgressBar* progressBar() const { return m_progressBar; }
    WaveformStrip* waveformStrip() const { return m_strip; }
    TextLine* timeLine() const { return m_time; }
    DrillRow* drillRow() const { return m_drill; }
    TextLine* loopHintLine() const { return m_loopHint; }
    CustomVerticalSlider* volumeSlider() const { return m_volume; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The bar's own menu at a point of the track, as a right click shows it.
    void fillBarMenu(QMenu& menu, double seconds);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int textColumnHeight() const;
    int minimumTextWidth() const;
    // The padding at the sides: the bar's loop labels and shadow overhang it
    // sideways into it, which a large desktop font widens past the usual.
    int sidePadding() const;
    void placeContent();
    void showBarMenu(double seconds, const QPoint& globalPosition);
    void followPhraseMap();

    ContentState& m_state;
    TextLine* m_title;
    CustomProgressBar* m_progressBar;
    WaveformStrip* m_strip;
    std::shared_ptr<const WaveformStripEnvelope> m_envelope;  // of the current map
    TextLine* m_time;
    DrillRow* m_drill;
    // The size and least size the window's layout last heard of.
    std::optional<std::pair<QSize, QSize>> m_hintsPassedOn;
    TextLine* m_loopHint;
    QWidget* m_volumeColumn;
    CustomVerticalSlider* m_volume;
};
