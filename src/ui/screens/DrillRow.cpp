#include "ui/screens/DrillRow.h"

#include "engine/TimeStretcher.h"
#include "state/ContentState.h"
#include "state/DrillOptions.h"
#include "state/SpeedOption.h"
#include "ui/kit/MenuPopup.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PlainButton.h"
#include "ui/kit/TextButtonLabel.h"
#include "ui/kit/TextLine.h"
#include "ui/kit/Typography.h"
#include "ui/screens/PlayerDisplay.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QMenu>
#include <QWheelEvent>

#include <cmath>
#include <functional>

namespace {

std::shared_ptr<TextButtonLabel> chipLabel(const QString& text)
{
    return std::make_shared<TextButtonLabel>(
        text, TextButtonLabel::Style{Typography::font(TextStyle::Caption2), Palette::black(0.75), Palette::gray(0.2), 7, 2,
                                     {}, {}});
}

// A chip the wheel turns: a notch away from the user is one step up.
class WheelChip : public PlainButton {
public:
    WheelChip(std::function<void(int steps)> onWheel, QWidget* parent)
        : PlainButton(parent)
        , m_onWheel(std::move(onWheel))
    {
        setProperty("takesWheel", true);  // the window's wheel seek leaves it alone
    }

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        m_pending += event->angleDelta().y() != 0 ? event->angleDelta().y() : event->pixelDelta().y() * 8;
        const int steps = m_pending / 120;
        m_pending -= steps * 120;
        if (steps != 0)
            m_onWheel(steps);
        event->accept();
    }

private:
    std::function<void(int)> m_onWheel;
    int m_pending = 0;
};

}  // namespace

DrillRow::DrillRow(ContentState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_loop(new TextLine(Typography::font(TextStyle::Caption), Palette::grayText(), Qt::AlignLeft, this))
    , m_passes(new PlainButton(this))
    , m_pause(new PlainButton(this))
    , m_passesMenu(new QMenu(this))
    , m_pauseMenu(new QMenu(this))
    , m_speed(new WheelChip([this](int steps) {
        SpeedOption::set(m_state, m_state.audioPlayer().speed() + steps * SpeedOption::step);
    }, this))
    , m_speedMenu(new QMenu(this))
{
    m_loop->setElideMode(Qt::ElideRight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(m_loop, 1, Qt::AlignVCenter);
    layout->addWidget(m_passes, 0, Qt::AlignVCenter);
    layout->addWidget(m_pause, 0, Qt::AlignVCenter);
    layout->addWidget(m_speed, 0, Qt::AlignVCenter);

    auto* passes = new QActionGroup(m_passesMenu);
    for (const int choice : DrillOptions::passChoices) {
        // English has no plural rules of its own without a translation: the
        // one is worded apart, as the import status does.
        const QString text = choice == 0 ? tr("Endless") : choice == 1 ? tr("1 pass") : tr("%n passes", nullptr, choice);
        QAction* item = m_passesMenu->addAction(text);
        item->setCheckable(true);
        item->setData(choice);
        passes->addAction(item);
        connect(item, &QAction::triggered, this, [this, choice] { DrillOptions::setPasses(m_state, choice); });
    }
    m_passesMenu->addSeparator();
    m_thenNextPhrase = m_passesMenu->addAction(tr("Then On to the Next Phrase"));
    m_thenNextPhrase->setCheckable(true);
    connect(m_thenNextPhrase, &QAction::triggered, this,
            [this](bool checked) { DrillOptions::setThenNextPhrase(m_state, checked); });
    auto* pauses = new QActionGroup(m_pauseMenu);
    for (const PassPause& choice : DrillOptions::pauseChoices()) {
        const QString text = choice.kind == PassPause::Kind::Off          ? tr("No pause")
            : choice.kind == PassPause::Kind::LoopLength                  ? tr("As long as the loop")
                                                                          : tr("%1 s").arg(choice.seconds);
        QAction* item = m_pauseMenu->addAction(text);
        item->setCheckable(true);
        pauses->addAction(item);
        connect(item, &QAction::triggered, this, [this, choice] { DrillOptions::setPause(m_state, choice); });
    }
    auto* speeds = new QActionGroup(m_speedMenu);
    for (const double choice : {0.5, 0.6, 0.75, 0.9, 1.0, 1.1, 1.25, 1.5, 2.0}) {
        QAction* item = m_speedMenu->addAction(SpeedOption::label(choice));
        item->setCheckable(true);
        item->setData(choice);
        speeds->addAction(item);
        connect(item, &QAction::triggered, this, [this, choice] { SpeedOption::set(m_state, choice); });
    }
    connect(m_speed, &QAbstractButton::clicked, this, [this] { popUpMenuBy(*m_speedMenu, *m_speed); });
    connect(m_passes, &QAbstractButton::clicked, this, [this] { popUpMenuBy(*m_passesMenu, *m_passes); });
    connect(m_pause, &QAbstractButton::clicked, this, [this] { popUpMenuBy(*m_pauseMenu, *m_pause); });
    connect(&state, &ContentState::changed, this, [this](ContentState::Field field) {
        if (field == ContentState::Field::DrillThenNextPhrase)
            followDrill();
    });
    fitChipsToTheirWidestLabels();
    followDrill();
}

QString DrillRow::passesText(int passes, bool goesOn)
{
    return tr("Passes %1").arg(DrillOptions::passesLabel(passes)) + (goesOn ? QStringLiteral(" →") : QString());
}

QString DrillRow::pauseText(const PassPause& pause)
{
    const QString kind = pause.kind == PassPause::Kind::Off ? tr("Off")
        : pause.kind == PassPause::Kind::LoopLength         ? tr("Loop")
                                                            : tr("%1 s").arg(pause.seconds);
    return tr("Pause %1").arg(kind);
}

// Each chip as wide as the widest of its choices: a new speed or number of
// passes would move the chips beside it, and at the window's least width
// the window itself.
void DrillRow::fitChipsToTheirWidestLabels()
{
    const auto widest = [](const QStringList& texts) {
        qreal width = 0;
        for (const QString& text : texts)
            width = std::max(width, chipLabel(text)->sizeHint().width());
        return width;
    };
    QStringList passes;
    for (const int choice : DrillOptions::passChoices)
        passes << passesText(choice, false) << passesText(choice, true);
    QStringList pauses;
    for (const PassPause& choice : DrillOptions::pauseChoices())
        pauses << pauseText(choice);
    QStringList speeds;
    for (int step = 0; TimeStretcher::slowest + step * SpeedOption::step <= TimeStretcher::fastest + 1e-9; ++step)
        speeds << SpeedOption::label(TimeStretcher::slowest + step * SpeedOption::step);
    m_passes->setMinimumLabelWidth(widest(passes));
    m_pause->setMinimumLabelWidth(widest(pauses));
    m_speed->setMinimumLabelWidth(widest(speeds));
}

// The menus' labels and check marks, from the engine's drill settings.
void DrillRow::followDrill()
{
    const DrillSettings& drill = m_state.audioPlayer().drill();
    // Asked at every frame while playing; the settings change only when the
    // learner picks from a menu or a key.
    const Followed now{drill.passes, drill.pause, m_state.drillThenNextPhrase(), m_state.audioPlayer().speed()};
    if (m_followed == now)
        return;
    m_followed = now;
    const bool goesOn = drill.passes > 0 && m_state.drillThenNextPhrase();
    const QString passes = passesText(drill.passes, goesOn);
    const QString pause = pauseText(drill.pause);
    if (m_passes->text() != passes) {
        m_passes->setLabel(chipLabel(passes));
        m_passes->setText(passes);
        // The arrow is read as one, or not at all: its meaning in words.
        m_passes->setAccessibleName(
            goesOn ? tr("Passes %1, Then On to the Next Phrase").arg(DrillOptions::passesLabel(drill.passes)) : passes);
    }
    if (m_pause->text() != pause) {
        m_pause->setLabel(chipLabel(pause));
        m_pause->setText(pause);
    }
    for (QAction* item : m_passesMenu->actions())
        if (item != m_thenNextPhrase && item->isCheckable())
            item->setChecked(item->data().toInt() == drill.passes);
    // Hands-free drilling needs passes to count and phrases to go on to.
    m_thenNextPhrase->setChecked(m_state.drillThenNextPhrase());
    m_thenNextPhrase->setEnabled(drill.passes > 0);
    const QString speed = SpeedOption::label(m_state.audioPlayer().speed());
    if (m_speed->text() != speed) {
        m_speed->setLabel(chipLabel(speed));
        m_speed->setText(speed);
        // Heard alone, "1.0×" says nothing of what it is.
        m_speed->setAccessibleName(tr("Speed %1").arg(speed));
    }
    for (QAction* item : m_speedMenu->actions())
        item->setChecked(std::abs(item->data().toDouble() - m_state.audioPlayer().speed()) < 1e-9);
    const std::vector<PassPause> choices = DrillOptions::pauseChoices();
    const QList<QAction*> items = m_pauseMenu->actions();
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i]->setChecked(choices[std::size_t(i)] == drill.pause);
}

void DrillRow::changeEvent(QEvent* event)
{
    // The chips were made in the old language.
    if (event->type() == QEvent::LanguageChange) {
        m_followed.reset();
        m_shortestLoopLineWidth.reset();
        fitChipsToTheirWidestLabels();
        followDrill();
        updateGeometry();  // the shortest line's words too
    }
    QWidget::changeEvent(event);
}

void DrillRow::present(const PlayerDisplay& display)
{
    m_loop->setText(display.drillText);
    m_loop->setShorterForms(display.drillShorterForms, display.drillFamily);
    followDrill();
}

QSize DrillRow::sizeHint() const
{
    const int chips = m_passes->sizeHint().width() + m_pause->sizeHint().width() + m_speed->sizeHint().width() + 18;
    const int height = std::max({m_loop->sizeHint().height(), m_passes->sizeHint().height(), m_pause->sizeHint().height()});
    return {m_loop->sizeHint().width() + chips, height};
}

// The loop line keeps room for its shortest form, the pass and a pause's
// countdown, which nothing else shows (at two digits of passes).
int DrillRow::shortestLoopLineWidth() const
{
    if (!m_shortestLoopLineWidth) {
        const QString shortest = QStringLiteral("88 / 88 · ")
            + QCoreApplication::translate("PlayerDisplay", "%1 s").arg(QStringLiteral("8.8"));
        m_shortestLoopLineWidth = int(std::ceil(QFontMetricsF(m_loop->textFont()).horizontalAdvance(shortest)));
    }
    return *m_shortestLoopLineWidth;
}

QSize DrillRow::minimumSizeHint() const
{
    return {m_passes->sizeHint().width() + m_pause->sizeHint().width() + m_speed->sizeHint().width() + 18
                + shortestLoopLineWidth(),
            sizeHint().height()};
}
