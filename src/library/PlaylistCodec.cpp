#include "library/PlaylistCodec.h"

#include "base/Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace PlaylistCodec {
namespace {

QString describe(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("a boolean");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a string");
    case QJsonValue::Array: return QStringLiteral("an array");
    case QJsonValue::Object: return QStringLiteral("an object");
    case QJsonValue::Undefined: break;
    }
    return QStringLiteral("nothing");
}

Decoded failure(QString error)
{
    Decoded result;
    result.error = std::move(error);
    return result;
}

}  // namespace

QString trackToString(const Track& track)
{
    return track.toString(QUrl::FullyEncoded);
}

std::optional<Track> trackFromString(const QString& text)
{
    Track track(text, QUrl::StrictMode);
    if (!track.isValid())
        return std::nullopt;
    return track;
}

QByteArray encode(const Playlists& playlists)
{
    QJsonObject root;
    for (const QString& name : playlists.names()) {
        QJsonArray tracks;
        for (const Track& track : *playlists.find(name))
            tracks.append(trackToString(track));
        root.insert(name, tracks);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

Decoded decode(const QByteArray& bytes)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // The parser only takes an object or an array at the top; a lone
        // string or number is JSON all the same, just of the wrong shape.
        const QJsonDocument wrapped = QJsonDocument::fromJson('[' + bytes + ']');
        if (wrapped.isArray() && wrapped.array().size() == 1)
            return failure(QStringLiteral("expected an object of playlists, found %1").arg(describe(wrapped.array().at(0))));
        return failure(QStringLiteral("not JSON: %1 at byte %2").arg(parseError.errorString()).arg(parseError.offset));
    }
    if (!document.isObject()) {
        const QJsonValue top = document.isArray() ? QJsonValue(document.array()) : QJsonValue();
        return failure(QStringLiteral("expected an object of playlists, found %1").arg(describe(top)));
    }

    Playlists playlists;
    const QJsonObject root = document.object();
    for (auto member = root.constBegin(); member != root.constEnd(); ++member) {
        const QString name = member.key();
        if (!member.value().isArray()) {
            return failure(QStringLiteral("playlist %1: expected an array of track strings, found %2")
                               .arg(Log::quoted(name), describe(member.value())));
        }
        const QJsonArray items = member.value().toArray();
        TrackList tracks;
        tracks.reserve(items.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QJsonValue item = items.at(i);
            if (!item.isString()) {
                return failure(QStringLiteral("playlist %1, item %2: expected a track string, found %3")
                                   .arg(Log::quoted(name))
                                   .arg(i + 1)
                                   .arg(describe(item)));
            }
            if (std::optional<Track> track = trackFromString(item.toString()))
                tracks.append(std::move(*track));
        }
        if (TrackList* existing = playlists.find(name))
            existing->append(tracks);
        else
            playlists.insert(name, std::move(tracks));
    }
    Decoded result;
    result.playlists = std::move(playlists);
    return result;
}

}  // namespace PlaylistCodec
