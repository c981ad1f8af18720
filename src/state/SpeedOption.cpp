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
    // Typed with a decimal comma ("0,75"), the value reads as a list: named
    // as typed in the line, not as nothing.
    const QVariant value = store.value(key);
    const QString typed = value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString();
    bool isNumber = false;
    const double speed = typed.toDouble(&isNumber);
    const bool onAStep = isNumber && std::abs(speed * 20 - std::round(speed * 20)) < 1e-9;
    if (onAStep && speed >= TimeStretcher::slowest && speed <= TimeStretcher::fastest)
        return AudioPlayer::speedStep(speed);
    Log::line(QStringLiteral("Stored playback speed %1 is not one of the steps from 0.5 to 2.0, so 1.0 is used").arg(typed));
    return 1.0;
}

QString label(double speed)
{
    QString text = QString::number(speed, 'f', 2);
    if (text.endsWith(u'0'))
        text.chop(1);
    return text + QStringLiteral("×");
}

void set(ContentState& state, double speed, LoopEdit::Refusal refusal)
{
    AudioPlayer& player = state.audioPlayer();
    const double was = player.speed();
    player.setSpeed(speed);
    // A step past either end (a key held there): nothing to store.
    const bool pastTheEnd = speed < TimeStretcher::slowest || speed > TimeStretcher::fastest;
    if (pastTheEnd && player.speed() == was) {
        LoopEdit::say(refusal, QStringLiteral("Speed not changed: %1 is the %2")
                                   .arg(label(was), speed < was ? QStringLiteral("slowest") : QStringLiteral("fastest")));
        return;
    }
    state.defaults().setValue(key, QString::number(player.speed()));
    Log::line(QStringLiteral("Speed set to: ") + label(player.speed()));
}

}  // namespace SpeedOption
