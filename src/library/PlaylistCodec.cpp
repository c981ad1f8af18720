#include "library/PlaylistCodec.h"

#include "base/JsonErrorText.h"
#include "base/Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QSet>

#include <utility>
#include <vector>

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

std::vector<std::pair<QString, QByteArray>> topLevelMembers(const QByteArray& json)
{
    std::vector<std::pair<QString, QByteArray>> members;
    qsizetype i = json.indexOf('{');
    if (i < 0)
        return members;
    ++i;
    auto skipSpace = [&] {
        while (i < json.size() && QChar::isSpace(uchar(json[i])))
            ++i;
    };
    // From an opening quote to just past its closing one.
    auto skipString = [&] {
        for (++i; i < json.size() && json[i] != '"'; ++i)
            if (json[i] == '\\')
                ++i;
        ++i;
    };
    for (;;) {
        skipSpace();
        if (i >= json.size() || json[i] != '"')
            return members;
        const qsizetype keyStart = i;
        skipString();
        const QByteArray keyText = json.mid(keyStart, i - keyStart);
        skipSpace();
        ++i;  // ':'
        skipSpace();
        const qsizetype valueStart = i;
        int depth = 0;
        while (i < json.size()) {
            const char c = json[i];
            if (c == '"') {
                skipString();
                continue;
            }
            if (c == '[' || c == '{')
                ++depth;
            else if (c == ']' || c == '}')
                --depth;
            if (depth < 0 || (depth == 0 && c == ','))
                break;
            ++i;
        }
        const QJsonDocument key = QJsonDocument::fromJson('[' + keyText + ']');
        members.emplace_back(key.array().at(0).toString(), json.mid(valueStart, i - valueStart).trimmed());
        if (i >= json.size() || json[i] == '}')
            return members;
        ++i;  // ','
    }
}

QString trackToString(const Track& track)
{
    return track.toString(QUrl::FullyEncoded);
}

std::optional<Track> trackFromString(const QString& text)
{
    // A hand-written path. Before the URL parse, which takes most paths as
    // relative URLs that name no file (and "a#b.mp3" as "a" and a fragment).
    if (text.startsWith(u'/'))
        return text.contains(u'\0') ? std::nullopt : std::optional<Track>(QUrl::fromLocalFile(text));
    const Track strict(text, QUrl::StrictMode);
    if (strict.isValid())
        return strict;
    // A hand-written file URL: "file:///home/u/Unit 1.mp3", ".../100%.mp3".
    if (text.startsWith(QStringLiteral("file:///"))) {
        const QString path = text.mid(int(qstrlen("file://")));
        if (!path.contains(u'\0') && !path.contains(u'?') && !path.contains(u'#'))
            return QUrl::fromLocalFile(path);
    }
    return std::nullopt;
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
        return failure(QStringLiteral("not JSON: %1 at byte %2").arg(jsonErrorText(parseError.error), QString::number(parseError.offset)));
    }
    if (!document.isObject()) {
        const QJsonValue top = document.isArray() ? QJsonValue(document.array()) : QJsonValue();
        return failure(QStringLiteral("expected an object of playlists, found %1").arg(describe(top)));
    }

    Decoded result;
    Playlists playlists;
    const std::vector<std::pair<QString, QByteArray>> members = topLevelMembers(bytes);
    // The scan must agree with the parser on the names; if it ever does not,
    // the parser decides.
    QSet<QString> scannedNames;
    for (const auto& member : members)
        scannedNames.insert(member.first);
    const QStringList parsedNames = document.object().keys();
    const bool scanned = scannedNames == QSet<QString>(parsedNames.begin(), parsedNames.end());
    std::vector<std::pair<QString, QJsonValue>> values;
    if (scanned) {
        for (const auto& [name, text] : members)
            values.emplace_back(name, QJsonDocument::fromJson('[' + text + ']').array().at(0));
    } else {
        const QJsonObject root = document.object();
        for (auto member = root.constBegin(); member != root.constEnd(); ++member)
            values.emplace_back(member.key(), member.value());
    }
    for (const auto& [name, value] : values) {
        if (!value.isArray()) {
            return failure(QStringLiteral("playlist %1: expected an array of track strings, found %2")
                               .arg(Log::quoted(name), describe(value)));
        }
        const QJsonArray items = value.toArray();
        TrackList tracks;
        tracks.reserve(items.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QJsonValue item = items.at(i);
            if (!item.isString()) {
                return failure(QStringLiteral("playlist %1, item %2: expected a track string, found %3")
                                   .arg(Log::quoted(name), QString::number(i + 1), describe(item)));
            }
            if (std::optional<Track> track = trackFromString(item.toString()))
                tracks.append(std::move(*track));
            else
                result.unreadableTracks[name] << item.toString();
        }
        if (TrackList* existing = playlists.find(name)) {
            existing->append(tracks);
            if (!result.joinedNames.contains(playlists.storedName(name)))
                result.joinedNames << playlists.storedName(name);
        } else {
            playlists.insert(name, std::move(tracks));
        }
    }
    result.playlists = std::move(playlists);
    return result;
}

}  // namespace PlaylistCodec
