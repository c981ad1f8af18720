#include "state/SeekInterval.h"

#include "base/DefaultsStore.h"
#include "base/Log.h"
#include "state/ContentState.h"

#include <QtGlobal>

#include <cmath>

QString seekIntervalLabel(double seconds)
{
    if (std::isnan(seconds))
        return QStringLiteral("?s");
    // Every double in [-2^63, 2^63) truncates to a value a qint64 holds.
    constexpr double int64Bound = 9223372036854775808.0;  // 2^63
    if (seconds >= int64Bound)
        return QStringLiteral("∞s");
    if (seconds < -int64Bound)
        return QStringLiteral("-∞s");
    return QString::number(qint64(seconds)) + u's';
}

void setSeekInterval(ContentState& state, double seconds)
{
    state.setSeekInterval(seconds);
    // A failed write leaves the value in the store's memory; it goes to disk
    // with the next write that succeeds, and this session uses it either way.
    state.defaults().setDouble(ContentState::seekIntervalKey, seconds);
    Log::line(QStringLiteral("Seek interval set to: ") + seekIntervalLabel(seconds));
}
