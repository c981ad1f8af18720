#include "ui/screens/PlayerCard.h"

#include "engine/AudioPlayer.h"
#include "engine/LoopControl.h"
#include "library/SavedLoopsLibrary.h"
#include "state/ContentState.h"
#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/CustomVerticalSlider.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SymbolImage.h"
#include "ui/kit/TextLine.h"
#include "ui/kit/Typography.h"
#include "ui/screens/DrillRow.h"
#include "ui/screens/PlayerDisplay.h"

#include <QEvent>
#include <QMenu>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr qreal speakerPointSize = 13;
constexpr QSize volumeSliderSize{20, 100};

}  // namespace

PlayerCard::PlayerCard(ContentState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_title(new TextLine(Typography::font(TextStyle::Subheadline), Palette::grayText(), Qt::AlignLeft, this))
    , m_progressBar(new CustomProgressBar(this))
    , m_strip(new WaveformStrip(this))
    , m_time(new TextLine(Typography::font(TextStyle::Caption), Palette::grayText(), Qt::AlignHCenter, this))
    , m_drill(new DrillRow(state, this))
    , m_loopHint(new TextLine(Typography::font(TextStyle::Caption, FontDesign::Default), Palette::grayText(0.6),
                              Qt::AlignHCenter, this))
    , m_volumeColumn(new QWidget(this))
    , m_volume(new CustomVerticalSlider(m_volumeColumn))
{
    AudioPlayer& player = state.audioPlayer();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    // Study files often differ only at the end of their names ("Unit 11",
    // "Unit 12"), so a long name loses its middle, not its end.
    m_title->setElideMode(Qt::ElideMiddle);
    m_time->setElideMode(Qt::ElideNone);
    m_loopHint->setElideMode(Qt::ElideNone);
    m_loopHint->setText(loopHint);

    m_progressBar->setCurrentTime({[&player] { return player.currentTime(); },
                                   [&player](double seconds) { player.setCurrentTime(seconds); }});
    m_progressBar->setLoopStart([&player] { return player.loopStart(); });
    m_progressBar->setLoopEnd([&player] { return player.loopEnd(); });
    m_progressBar->setOnTimeChanged([&player](double seconds) { player.seek(seconds); });
    m_progressBar->setDragSession([&player] { return player.loadCount(); });
    // The bar asks at every frame: the spans are made again only when the
    // track or the saved loops change (comparing shared lists is cheap, the
    // track's key is a URL written out).
    struct SavedSpans {
        bool loaded = false;
        std::optional<QUrl> track;
        SavedLoops loops;
        std::vector<CustomProgressBar::Span> spans;
    };
    m_progressBar->setFaintSpans([&state, made = std::optional<SavedSpans>()]() mutable {
        const AudioPlayer& player = state.audioPlayer();
        const bool loaded = player.player() != nullptr;
        if (!made || made->loaded != loaded || made->track != player.currentTrack() || !(made->loops == state.savedLoops())) {
            made = SavedSpans{loaded, player.currentTrack(), state.savedLoops(), {}};
            for (const SavedLoop& loop : state.savedLoops().of(SavedLoopsLibrary::currentTrackKey(state)))
                made->spans.push_back({loop.startSeconds, loop.endSeconds});
        }
        return made->spans;
    });
    m_progressBar->setAccessibleName(tr("Position"));
    m_progressBar->setOnContextMenu([this](double seconds, const QPoint& at) { showBarMenu(seconds, at); });
    connect(&state, &ContentState::changed, this, [this](ContentState::Field field) {
        if (field == ContentState::Field::SavedLoops)
            m_progressBar->refresh();
        if (field == ContentState::Field::PhraseMap)
            followPhraseMap();
    });

    m_strip->setEnvelope([this] { return m_envelope; });
    m_strip->setPlayHead([&player] { return player.currentTime(); });
    m_strip->setLoop([&player]() -> std::optional<WaveformStrip::Span> {
        if (!player.hasLoop())
            return std::nullopt;
        return WaveformStrip::Span{*player.loopStart(), *player.loopEnd()};
    });
    m_strip->setProgress([&state] { return state.phraseMapProgress(); });
    m_strip->setOnSeek([&player](double seconds) {
        player.seek(seconds);
        player.setCurrentTime(seconds);
    });
    // Dragged handles: moved as a nudge moves them, kept 50 ms apart.
    m_strip->setOnMoveLoopStart([&player](double seconds) {
        if (player.loopStart())
            LoopEdit::nudgeStart(player, seconds - *player.loopStart(), LoopEdit::Refusal::Unsaid);
    });
    m_strip->setOnMoveLoopEnd([&player](double seconds) {
        if (player.loopEnd())
            LoopEdit::nudgeEnd(player, seconds - *player.loopEnd(), LoopEdit::Refusal::Unsaid);
    });
    followPhraseMap();  // a map made before the card, as well

    m_volume->setValue({[&player] { return player.volume(); }, [&player](float level) { player.setVolume(level); }});
    m_volume->setRange({0.0f, 1.0f});
    m_volume->setStep(0.01f);
    m_volume->setOnChanged([&player](float level) { player.applyVolume(level); });
    m_volume->setFixedSize(volumeSliderSize);
    m_volume->setAccessibleName(tr("Volume"));

    auto* volumeLayout = new QVBoxLayout(m_volumeColumn);
    volumeLayout->setContentsMargins(0, 0, 0, 0);
    volumeLayout->setSpacing(volumeSpacing);
    volumeLayout->addWidget(new SymbolImage(Symbol::SpeakerWave3Fill, speakerPointSize, Palette::gray()), 0,
                            Qt::AlignHCenter);
    volumeLayout->addWidget(m_volume, 0, Qt::AlignHCenter);
    volumeLayout->addWidget(new SymbolImage(Symbol::SpeakerFill, speakerPointSize, Palette::gray()), 0,
                            Qt::AlignHCenter);
    m_volumeColumn->setFixedWidth(volumeColumnWidth);

    present(PlayerDisplay());
}

void PlayerCard::present(const PlayerDisplay& display)
{
    m_title->setText(display.title);
    m_time->setText(display.timeText);
    m_drill->present(display);
    m_progressBar->setDuration(display.progressDurationSeconds);
    m_progressBar->refresh();
    m_strip->refresh();
    m_volume->refresh();
}

// Title, then the bar (its label lane directly under the title, so the
// "Start"/"End" labels never run into the name), the time and the hint.
int PlayerCard::textColumnHeight() const
{
    const QMargins bar = m_progressBar->barMargins();
    return m_title->sizeHint().height() + bar.top() + int(CustomProgressBar::barHeight) + textSpacing +
           m_strip->sizeHint().height() + textSpacing + m_time->sizeHint().height() + textSpacing + m_drill->sizeHint().height() + textSpacing +
           m_loopHint->sizeHint().height();
}

int PlayerCard::minimumTextWidth() const
{
    const int longestTime = m_time->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00 / 00:00:00"));
    return std::max({m_loopHint->sizeHint().width(), longestTime, m_drill->minimumSizeHint().width(), 120});
}

int PlayerCard::sidePadding() const
{
    const QMargins bar = m_progressBar->barMargins();
    return std::max({padding, bar.left(), bar.right()});
}

QSize PlayerCard::sizeHint() const
{
    const int contentHeight = std::max(textColumnHeight(), m_volumeColumn->sizeHint().height());
    return {2 * sidePadding() + std::max(preferredTextWidth, minimumTextWidth()) + columnSpacing + volumeColumnWidth,
            2 * padding + contentHeight};
}

QSize PlayerCard::minimumSizeHint() const
{
    return {2 * sidePadding() + minimumTextWidth() + columnSpacing + volumeColumnWidth, sizeHint().height()};
}

// The card places its parts itself: a part asking for other room (the
// drill row in another language) is heard here, and passed up to the
// window's layout, whose least size follows. Only a change of the card's
// own hints goes up: the time text asks whenever its digits change width,
// and the window need not be laid out again for that.
bool PlayerCard::event(QEvent* event)
{
    if (event->type() == QEvent::LayoutRequest) {
        const std::pair<QSize, QSize> hints{sizeHint(), minimumSizeHint()};
        if (hints != m_hintsPassedOn) {
            m_hintsPassedOn = hints;
            updateGeometry();
        }
        placeContent();
    }
    return QWidget::event(event);
}

void PlayerCard::resizeEvent(QResizeEvent*)
{
    placeContent();
}

void PlayerCard::placeContent()
{
    const QRect content = rect().marginsRemoved(QMargins(sidePadding(), padding, sidePadding(), padding));
    const int volumeHeight = m_volumeColumn->sizeHint().height();
    m_volumeColumn->setGeometry(content.right() + 1 - volumeColumnWidth,
                                content.top() + (content.height() - volumeHeight) / 2, volumeColumnWidth, volumeHeight);

    const int left = content.left();
    const int width = std::max(0, content.width() - volumeColumnWidth - columnSpacing);
    int y = content.top() + (content.height() - textColumnHeight()) / 2;

    const int titleHeight = m_title->sizeHint().height();
    m_title->setGeometry(left, y, width, titleHeight);
    y += titleHeight;

    const QMargins bar = m_progressBar->barMargins();
    m_progressBar->setGeometry(left - bar.left(), y, width + bar.left() + bar.right(),
                               bar.top() + int(CustomProgressBar::barHeight) + bar.bottom());
    y += bar.top() + int(CustomProgressBar::barHeight) + textSpacing;

    const int stripHeight = m_strip->sizeHint().height();
    m_strip->setGeometry(left, y, width, stripHeight);
    y += stripHeight + textSpacing;

    const int timeHeight = m_time->sizeHint().height();
    m_time->setGeometry(left, y, width, timeHeight);
    y += timeHeight + textSpacing;

    const int drillHeight = m_drill->sizeHint().height();
    m_drill->setGeometry(left, y, width, drillHeight);
    y += drillHeight + textSpacing;

    m_loopHint->setGeometry(left, y, width, m_loopHint->sizeHint().height());
}

void PlayerCard::showBarMenu(double seconds, const QPoint& globalPosition)
{
    QMenu menu(this);
    fillBarMenu(menu, seconds);
    if (!menu.isEmpty())
        menu.exec(globalPosition);
}

// Save the loop in force, or recall or remove a saved loop that lies where
// the bar was clicked. Keys and the desktop's controls work on while the
// menu is open: a choice acts on the loop it named (the one in force when
// it opened, a saved one wherever that has moved in the list since), and on
// nothing if it went or the track changed.
void PlayerCard::fillBarMenu(QMenu& menu, double seconds)
{
    const QString track = SavedLoopsLibrary::currentTrackKey(m_state);
    if (track.isEmpty())
        return;
    const AudioPlayer& player = m_state.audioPlayer();
    const QList<SavedLoop> loops = m_state.savedLoops().of(track);
    // Offered only where it would save: the item says why it is not (a
    // choice that does nothing would leave the learner guessing).
    if (const int saved = SavedLoopsLibrary::numberOfLoopInForce(m_state)) {
        menu.addAction(tr("Saved as Loop %1").arg(saved))->setEnabled(false);
    } else if (player.hasLoop() && loops.size() >= SavedLoops::perTrack) {
        menu.addAction(tr("Save This Loop (%1 Saved Already)").arg(SavedLoops::perTrack))->setEnabled(false);
    } else if (player.hasLoop()) {
        // A drill that moves on to the next phrase may have moved the loop.
        const auto stillInForce = [this, track, shown = SavedLoop{*player.loopStart(), *player.loopEnd()}] {
            const AudioPlayer& now = m_state.audioPlayer();
            return SavedLoopsLibrary::currentTrackKey(m_state) == track && now.hasLoop()
                && SavedLoop{*now.loopStart(), *now.loopEnd()} == shown;
        };
        connect(menu.addAction(tr("Save This Loop")), &QAction::triggered, this, [this, stillInForce] {
            if (stillInForce())
                SavedLoopsLibrary::saveCurrentLoop(m_state);
        });
    }
    for (qsizetype i = 0; i < loops.size(); ++i) {
        if (seconds < loops[i].startSeconds || seconds > loops[i].endSeconds)
            continue;
        const auto numberNow = [this, track, loop = loops[i]] {
            if (SavedLoopsLibrary::currentTrackKey(m_state) != track)
                return 0;
            return int(m_state.savedLoops().of(track).indexOf(loop)) + 1;
        };
        const int number = int(i) + 1;
        connect(menu.addAction(tr("Recall Saved Loop %1").arg(number)), &QAction::triggered, this, [this, numberNow] {
            if (const int now = numberNow())
                SavedLoopsLibrary::recall(m_state, now);
        });
        connect(menu.addAction(tr("Remove Saved Loop %1").arg(number)), &QAction::triggered, this, [this, numberNow] {
            if (const int now = numberNow())
                SavedLoopsLibrary::remove(m_state, now);
        });
    }
}

// The strip draws from a copy of the map's levels, made once per map.
void PlayerCard::followPhraseMap()
{
    const std::optional<PhraseMap>& map = m_state.phraseMap();
    if (!map) {
        m_envelope.reset();
    } else {
        auto envelope = std::make_shared<WaveformStrip::Envelope>();
        envelope->levelsDecibels = map->levelsDecibels();
        envelope->hopSeconds = PhraseMap::hopSeconds;
        envelope->durationSeconds = map->durationSeconds();
        for (const Phrase& phrase : map->phrases())
            envelope->phrases.emplace_back(phrase.startSeconds, phrase.endSeconds);
        for (int index = 0; index < map->phraseCount(); ++index) {
            const PhraseLoop loop = map->loopBounds(index);
            envelope->phraseLoops.emplace_back(loop.startSeconds, loop.endSeconds);
        }
        m_envelope = std::move(envelope);
    }
    m_strip->refresh();
}
