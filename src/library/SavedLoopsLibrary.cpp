#include "library/SavedLoopsLibrary.h"

#include "base/DefaultsStore.h"
#include "base/JsonErrorText.h"
#include "base/Log.h"
#include "base/ValueBackup.h"
#include "engine/AudioPlayer.h"
#include "library/PlaylistCodec.h"
#include "state/ContentState.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace SavedLoopsLibrary {
namespace {

QString describe(const SavedLoop& loop)
{
    return Log::formatDouble(loop.startSeconds) + QStringLiteral(" to ") + Log::formatDouble(loop.endSeconds);
}

// The line saying the loop is saved comes at once; one that says it did not
// reach the disk follows when the write is over.
void store(ContentState& state, SavedLoops loops)
{
    state.setSavedLoops(loops);
    DefaultsStore& defaults = state.defaults();
    const DefaultsStore::Ticket ticket = defaults.setDataMadeBy(storedKey, [loops] { return encode(loops); });
    defaults.whenWritten(ticket, &state, [](const DefaultsStore::Outcome& outcome) {
        if (!outcome.ok)
            Log::line(QStringLiteral("Error saving saved loops: ") + outcome.error);
    });
}

}  // namespace

QString currentTrackKey(const ContentState& state)
{
    const AudioPlayer& player = state.audioPlayer();
    return player.player() && player.currentTrack() ? PlaylistCodec::trackToString(*player.currentTrack()) : QString();
}

QByteArray encode(const SavedLoops& loops)
{
    QJsonObject root;
    for (const QString& track : loops.tracks()) {
        QJsonArray pairs;
        for (const SavedLoop& loop : loops.of(track))
            pairs.append(QJsonArray{loop.startSeconds, loop.endSeconds});
        root.insert(track, pairs);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<SavedLoops> decode(const QByteArray& bytes, QString* error, QStringList* tracksCut,
                                 QStringList* tracksJoined)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON: ") + jsonErrorText(parseError.error));
    if (!document.isObject())
        return fail(QStringLiteral("expected an object of tracks"));
    // Member by member, as stored: a track stored twice (two files joined by
    // hand, a sync's conflict) keeps the loops of both.
    QStringList order;
    QHash<QString, QList<SavedLoop>> byTrack;
    for (const auto& [stored, text] : PlaylistCodec::topLevelMembers(bytes)) {
        // A track's path typed by hand (a plain path, or a file URL with a
        // space or Korean as typed) is the track the window plays, under the
        // name it is written with; one that names no track stays as it is.
        const std::optional<Track> named = PlaylistCodec::trackFromString(stored);
        const QString track = named ? PlaylistCodec::trackToString(*named) : stored;
        const QJsonValue value = QJsonDocument::fromJson('[' + text + ']').array().at(0);
        if (!value.isArray())
            return fail(QStringLiteral("track %1: expected an array of loops").arg(Log::quoted(stored)));
        if (!byTrack.contains(track))
            order.append(track);
        else if (tracksJoined && !tracksJoined->contains(track))
            tracksJoined->append(track);
        QList<SavedLoop>& list = byTrack[track];
        const qsizetype fromEarlierMembers = list.size();
        for (const QJsonValue& pair : value.toArray()) {
            const QJsonArray bounds = pair.toArray();
            const double start = bounds.at(0).toDouble(-1);
            const double end = bounds.at(1).toDouble(-1);
            if (!pair.isArray() || bounds.size() != 2 || !std::isfinite(start) || !std::isfinite(end) || start < 0
                || !(start < end))
                return fail(QStringLiteral("track %1: a loop is not a [start, end] pair").arg(Log::quoted(stored)));
            // A loop an earlier member of the track holds too is that loop
            // (within a member, each is kept as stored).
            const SavedLoop loop{start, end};
            const auto earlier = list.cbegin() + fromEarlierMembers;
            if (std::none_of(list.cbegin(), earlier, [&](const SavedLoop& kept) { return kept.matches(loop); }))
                list.append(loop);
        }
    }
    SavedLoops loops;
    for (const QString& track : order) {
        const QList<SavedLoop> list = byTrack.value(track);
        if (list.size() > SavedLoops::perTrack && tracksCut)
            tracksCut->append(track);
        loops.set(track, list.mid(0, SavedLoops::perTrack));
    }
    return loops;
}

void load(ContentState& state)
{
    DefaultsStore& defaults = state.defaults();
    const QVariant stored = defaults.value(storedKey);
    if (!stored.isValid()) {
        if (defaults.contains(storedKey)) {
            Log::line(QStringLiteral("Error loading saved loops: the stored value is of a type that cannot be read")
                      + ValueBackup::keepWholeFile(defaults));
            // Kept in the copy: a value that reads takes its place, or it
            // would be met, and copied, again at every start.
            defaults.setData(storedKey, encode(SavedLoops()));
        }
        return;
    }
    QString error;
    QStringList tracksCut;
    QStringList tracksJoined;
    std::optional<SavedLoops> loops = stored.typeId() == QMetaType::QByteArray
        ? decode(stored.toByteArray(), &error, &tracksCut, &tracksJoined)
        : (error = QStringLiteral("expected stored bytes"), std::nullopt);
    const auto keptAside = [&](const QString& what, const QString& value) {
        const ValueBackup backup = ValueBackup::keep(defaults, unreadableGroup, stored, storedKey);
        Log::line(what
                  + (backup.written ? QStringLiteral("; %1 is kept under %2 in %3")
                                          .arg(value, Log::quoted(backup.key), defaults.filePath())
                                    : QStringLiteral("; it stays under %1 (%2)").arg(Log::quoted(storedKey), backup.error))
                  + ValueBackup::fileCopyNote(backup));
    };
    if (!loops) {
        keptAside(QStringLiteral("Error loading saved loops: ") + error, QStringLiteral("the unreadable value"));
        return;
    }
    // More than a track can hold (a hand edit, or a later version): the
    // first ones are used, and the rest are not lost when the next save
    // writes the value again.
    // A track stored twice: its loops are joined, and the value as it was
    // is kept too (the next save writes the track once).
    QStringList changes;
    if (!tracksJoined.isEmpty())
        changes.append(QStringLiteral("%1 stored more than once, and the loops are joined")
                           .arg(Log::formatNameList(tracksJoined)));
    if (!tracksCut.isEmpty())
        changes.append(QStringLiteral("only the first %1 of each track are used, and %2 had more")
                           .arg(QString::number(SavedLoops::perTrack), Log::formatNameList(tracksCut)));
    if (!changes.isEmpty())
        keptAside(QStringLiteral("Saved loops: ") + changes.join(QStringLiteral("; ")), QStringLiteral("the whole value"));
    state.setSavedLoops(std::move(*loops));
}

namespace {

// Which saved loop of the track is the loop in force, or -1. One recalled
// onto a track that got shorter was cut to its end, and is still that one;
// where the cut makes it alike to another (the same start, and an end at
// or past the new one), it is the one recalled last, so that Delete
// removes that one.
qsizetype savedIndexOfLoopInForce(const ContentState& state)
{
    const AudioPlayer& player = state.audioPlayer();
    const QString track = currentTrackKey(state);
    const QList<SavedLoop> saved = state.savedLoops().of(track);
    const SavedLoop inForce{*player.loopStart(), *player.loopEnd()};
    const double length = player.player() ? player.player()->duration() : 0.0;
    const auto cut = [&](const SavedLoop& loop) { return SavedLoop{loop.startSeconds, std::min(loop.endSeconds, length)}; };
    if (const std::optional<ContentState::RecalledLoop>& recalled = state.recalledLoop();
        recalled && recalled->track == track) {
        const qsizetype index = saved.indexOf(recalled->loop);
        if (index >= 0 && (saved[index].matches(inForce) || cut(saved[index]).matches(inForce)))
            return index;
    }
    for (qsizetype i = 0; i < saved.size(); ++i)
        if (saved[i].matches(inForce))
            return i;
    for (qsizetype i = 0; i < saved.size(); ++i)
        if (cut(saved[i]).matches(inForce))
            return i;
    return -1;
}

}  // namespace

bool saveCurrentLoop(ContentState& state)
{
    const AudioPlayer& player = state.audioPlayer();
    const QString track = currentTrackKey(state);
    if (track.isEmpty() || !player.hasLoop()) {
        Log::line(QStringLiteral("Loop not saved: no loop is set"));
        return false;
    }
    const SavedLoop loop{*player.loopStart(), *player.loopEnd()};
    SavedLoops loops = state.savedLoops();
    if (const qsizetype saved = savedIndexOfLoopInForce(state); saved >= 0) {
        Log::line(QStringLiteral("Loop already saved as ") + QString::number(saved + 1));
        return false;
    }
    if (!loops.add(track, loop)) {
        Log::line(QStringLiteral("Loop not saved: %1 loops are saved for this track already").arg(SavedLoops::perTrack));
        return false;
    }
    const qsizetype number = loops.of(track).size();
    // Said before the store: a write that fails at once says so from within it.
    Log::line(QStringLiteral("Loop saved as %1: %2").arg(QString::number(number), describe(loop)));
    store(state, std::move(loops));
    return true;
}

int numberOfLoopInForce(const ContentState& state)
{
    if (currentTrackKey(state).isEmpty() || !state.audioPlayer().hasLoop())
        return 0;
    return int(savedIndexOfLoopInForce(state)) + 1;
}

bool recall(ContentState& state, int number)
{
    AudioPlayer& player = state.audioPlayer();
    const QString track = currentTrackKey(state);
    const QList<SavedLoop> loops = state.savedLoops().of(track);
    if (number < 1)
        return false;
    if (track.isEmpty()) {
        Log::line(QStringLiteral("No saved loop %1: no track is loaded").arg(number));
        return false;
    }
    if (number > loops.size()) {
        // Said, as every drill key's outcome is: a key that does nothing
        // silently reads as a key not taken.
        Log::line(QStringLiteral("No saved loop %1 for this track (%2 saved)").arg(number).arg(loops.size()));
        return false;
    }
    SavedLoop loop = loops.at(number - 1);
    const double length = player.player()->duration();
    if (!(loop.startSeconds < length)) {
        Log::line(QStringLiteral("Saved loop %1 lies past the end of the track (%2 s): not recalled")
                      .arg(QString::number(number), Log::formatDouble(length)));
        return false;
    }
    loop.endSeconds = std::min(loop.endSeconds, length);
    // Shorter than two quick presses of the loop key make (a hand edit, or
    // a track cut short since): it would wrap thousands of times a second.
    if (!(loop.endSeconds - loop.startSeconds >= shortestRecalledSeconds)) {
        Log::line(QStringLiteral("Saved loop %1 is shorter than %2 s in this track: not recalled")
                      .arg(QString::number(number), Log::formatDouble(shortestRecalledSeconds)));
        return false;
    }
    player.setLoop(loop.startSeconds, loop.endSeconds);
    state.setRecalledLoop(ContentState::RecalledLoop{track, loops.at(number - 1)});
    state.setIsSettingLoop(true);
    Log::line(QStringLiteral("Recalled saved loop %1: %2").arg(QString::number(number), describe(loop)));
    player.seek(loop.startSeconds);
    player.setCurrentTime(loop.startSeconds);
    if (!player.isPlaying())
        player.togglePlayPause();
    return true;
}

bool remove(ContentState& state, int number)
{
    const QString track = currentTrackKey(state);
    SavedLoops loops = state.savedLoops();
    if (track.isEmpty() || !loops.remove(track, number - 1))
        return false;
    Log::line(QStringLiteral("Removed saved loop ") + QString::number(number));
    store(state, std::move(loops));
    return true;
}

bool removeCurrentLoop(ContentState& state)
{
    const AudioPlayer& player = state.audioPlayer();
    if (!player.hasLoop()) {
        Log::line(QStringLiteral("No saved loop removed: no loop is set"));
        return false;
    }
    const qsizetype index = savedIndexOfLoopInForce(state);
    if (index < 0) {
        Log::line(QStringLiteral("No saved loop removed: the loop in force is not saved"));
        return false;
    }
    return remove(state, int(index) + 1);
}

}  // namespace SavedLoopsLibrary
