#pragma once

#include "ui/kit/Symbols.h"

#include <QMargins>
#include <QWidget>

#include <memory>

class PlainButton;
class RoundSymbolLabel;

// The row under the player card: play/pause, stop and help, 20 apart. The
// buttons' shadows spill past their shapes, so the row is larger than the
// shapes by overflowMargins() on every side; the spacing is measured between
// the shapes themselves.
class TransportRow : public QWidget {
    Q_OBJECT

public:
    static constexpr int spacing = 20;

    explicit TransportRow(QWidget* parent = nullptr);

    PlainButton* playPauseButton() const { return m_playPause; }
    PlainButton* stopButton() const { return m_stop; }
    PlainButton* helpButton() const { return m_help; }

    void setPlayPauseSymbol(Symbol symbol);
    Symbol playPauseSymbol() const;
    // Play/pause and stop; help is always enabled.
    void setTransportEnabled(bool enabled);
    void setButtonScale(double scale);

    QMargins overflowMargins() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeButtons();

    std::shared_ptr<const RoundSymbolLabel> m_playLabel;
    std::shared_ptr<const RoundSymbolLabel> m_pauseLabel;
    PlainButton* m_playPause;
    PlainButton* m_stop;
    PlainButton* m_help;
};
