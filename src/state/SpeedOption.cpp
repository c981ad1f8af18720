#include "state/SpeedOption.h"

#include "base/DefaultsStore.h"
#include "base/Log.h"
#include "engine/AudioPlayer.h"
#include "engine/TimeStretcher.h"
#include "state/ContentState.h"

#include <cmath>

namespace SpeedOption {

double stored(const DefaultsStore& store)
{
    if (!store.contains(key))
        return 1.0;
    bool isNumber = false;
    const double speed = store.value(key).toString().toDouble(&isNumber);
    const bool onAStep = isNumber && std::abs(speed * 20 - std::round(speed * 20)) < 1e-9;
    if (onAStep && speed >= TimeStretcher::slowest && speed <= TimeStretcher::fastest)
        return AudioPlayer::speedStep(speed);
    Log::line(QStringLiteral("Stored playback speed %1 is not one of the steps from 0.5 to 2.0, so 1.0 is used")
                  .arg(store.value(key).toString()));
    return 1.0;
}

QString label(double speed)
{
    QString text = QString::number(speed, 'f', 2);
    if (text.endsWith(u'0'))
        text.chop(1);
    return text + QStringLiteral("×");
}

void set(ContentState& state, double speed)
{
    AudioPlayer& player = state.audioPlayer();
    player.setSpeed(speed);
    state.defaults().setValue(key, QString::number(player.speed()));
    Log::line(QStringLiteral("Speed set to: ") + label(player.speed()));
}

}  // namespace SpeedOption
