#include "state/DrillOptions.h"

#include "base/DefaultsStore.h"
#include "base/Log.h"
#include "state/ContentState.h"

#include <algorithm>

namespace DrillOptions {
namespace {

// How a pause is written in the settings file.
QString storedText(const PassPause& pause)
{
    switch (pause.kind) {
    case PassPause::Kind::Off:
        return QStringLiteral("off");
    case PassPause::Kind::Fixed:
        return QString::number(pause.seconds);
    case PassPause::Kind::LoopLength:
        return QStringLiteral("loop");
    }
    return QStringLiteral("off");
}

}  // namespace

std::vector<PassPause> pauseChoices()
{
    return {{PassPause::Kind::Off, 0},
            {PassPause::Kind::Fixed, 1},
            {PassPause::Kind::Fixed, 2},
            {PassPause::Kind::Fixed, 3},
            {PassPause::Kind::LoopLength, 0}};
}

QString passesLabel(int passes)
{
    return passes <= 0 ? QStringLiteral("∞") : QString::number(passes);
}

QString pauseLabel(const PassPause& pause)
{
    switch (pause.kind) {
    case PassPause::Kind::Off:
        return QStringLiteral("Off");
    case PassPause::Kind::Fixed:
        return QString::number(pause.seconds) + QStringLiteral(" s");
    case PassPause::Kind::LoopLength:
        return QStringLiteral("Loop");
    }
    return QString();
}

DrillSettings stored(const DefaultsStore& store)
{
    DrillSettings settings;
    bool isNumber = false;
    const int passes = store.value(passesKey).toString().toInt(&isNumber);
    if (isNumber && std::find(passChoices.begin(), passChoices.end(), passes) != passChoices.end())
        settings.passes = passes;
    const QString pause = store.value(pauseKey).toString();
    for (const PassPause& choice : pauseChoices())
        if (storedText(choice) == pause)
            settings.pause = choice;
    return settings;
}

bool storedThenNextPhrase(const DefaultsStore& store)
{
    return store.value(thenKey).toString() == QLatin1String("next");
}

void setThenNextPhrase(ContentState& state, bool nextPhrase)
{
    state.setDrillThenNextPhrase(nextPhrase);
    state.defaults().setValue(thenKey, nextPhrase ? QStringLiteral("next") : QStringLiteral("stop"));
    Log::line(QStringLiteral("After the last pass: ") + (nextPhrase ? QStringLiteral("next phrase") : QStringLiteral("stop looping")));
}

void setPasses(ContentState& state, int passes)
{
    DrillSettings drill = state.audioPlayer().drill();
    drill.passes = passes;
    state.audioPlayer().setDrill(drill);
    state.defaults().setValue(passesKey, QString::number(passes));
    Log::line(QStringLiteral("Passes per loop set to: ") + passesLabel(passes));
}

void setPause(ContentState& state, const PassPause& pause)
{
    DrillSettings drill = state.audioPlayer().drill();
    drill.pause = pause;
    state.audioPlayer().setDrill(drill);
    state.defaults().setValue(pauseKey, storedText(pause));
    Log::line(QStringLiteral("Pause between passes set to: ") + pauseLabel(pause));
}

}  // namespace DrillOptions
