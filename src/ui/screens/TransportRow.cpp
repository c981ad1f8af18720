#include "ui/screens/TransportRow.h"

#include "ui/kit/PlainButton.h"
#include "ui/kit/TransportLabels.h"

#include <algorithm>
#include <array>

TransportRow::TransportRow(QWidget* parent)
    : QWidget(parent)
    , m_playLabel(std::make_shared<RoundSymbolLabel>(Symbol::PlayFill))
    , m_pauseLabel(std::make_shared<RoundSymbolLabel>(Symbol::PauseFill))
    , m_playPause(new PlainButton(m_playLabel, this))
    , m_stop(new PlainButton(std::make_shared<RoundSymbolLabel>(Symbol::StopFill), this))
    , m_help(new PlainButton(std::make_shared<HelpLabel>(), this))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_playPause->setText(tr("Play"));
    m_stop->setText(tr("Stop"));
    m_help->setText(tr("Help"));
    for (PlainButton* button : {m_playPause, m_stop, m_help})
        button->setOverflowMargins(TransportLook::overflowMargins());
    placeButtons();
}

void TransportRow::setPlayPauseSymbol(Symbol symbol)
{
    if (symbol == playPauseSymbol())
        return;
    const bool isPause = symbol == Symbol::PauseFill;
    m_playPause->setLabel(isPause ? m_pauseLabel : m_playLabel);
    m_playPause->setText(isPause ? tr("Pause") : tr("Play"));
}

Symbol TransportRow::playPauseSymbol() const
{
    return m_playPause->label() == m_pauseLabel.get() ? Symbol::PauseFill : Symbol::PlayFill;
}

void TransportRow::setTransportEnabled(bool enabled)
{
    if (m_playPause->isEnabled() == enabled && m_stop->isEnabled() == enabled)
        return;
    m_playPause->setEnabled(enabled);
    m_stop->setEnabled(enabled);
}

void TransportRow::setButtonScale(double scale)
{
    for (PlainButton* button : {m_playPause, m_stop, m_help})
        button->setScale(scale);
}

QMargins TransportRow::overflowMargins() const
{
    return TransportLook::overflowMargins();
}

QSize TransportRow::sizeHint() const
{
    const QMargins overflow = overflowMargins();
    int width = 0;
    int height = 0;
    for (const PlainButton* button : {m_playPause, m_stop, m_help}) {
        const QSize label = button->sizeHint().shrunkBy(overflow);
        width += label.width();
        height = std::max(height, label.height());
    }
    return QSize(width + 2 * spacing, height).grownBy(overflow);
}

QSize TransportRow::minimumSizeHint() const
{
    return sizeHint();
}

void TransportRow::resizeEvent(QResizeEvent*)
{
    placeButtons();
}

// Shapes 20 apart, centred as a group and on the row's centre line; the
// buttons' shadow margins overlap, which costs nothing as presses only count
// on the shapes.
void TransportRow::placeButtons()
{
    const QMargins overflow = overflowMargins();
    const QSize content = sizeHint().shrunkBy(overflow);
    int x = (width() - content.width()) / 2;
    const int centreY = height() / 2;
    for (PlainButton* button : {m_playPause, m_stop, m_help}) {
        const QSize full = button->sizeHint();
        const QSize label = full.shrunkBy(overflow);
        button->setGeometry(x - overflow.left(), centreY - full.height() / 2, full.width(), full.height());
        x += label.width() + spacing;
    }
}
