#pragma once

#include "base/Log.h"
#include "library/PlaylistCodec.h"
#include "library/PlaylistLibrary.h"
#include "state/ContentState.h"
#include "TestSupport.h"

#include <QTest>

#include <map>
#include <memory>

// A window's state and library over a temporary defaults store, with the log
// captured. Stores the library given as JSON text before the state is made.
struct LibraryFixture {
    explicit LibraryFixture(const QByteArray& storedJson = QByteArray())
    {
        if (!storedJson.isNull())
            defaults.store().setData(ContentState::playlistsKey, storedJson);
        state = std::make_unique<ContentState>(defaults.store());
        library = std::make_unique<PlaylistLibrary>(*state);
        // The lines are read in order: a save's line comes before the next one.
        library->setSaveWait(std::chrono::seconds(10));
    }

    // The given playlists, encoded as the library stores them.
    static QByteArray encoded(const std::map<QString, TrackList>& playlists)
    {
        Playlists library;
        for (const auto& [name, tracks] : playlists)
            library.insert(name, tracks);
        return PlaylistCodec::encode(library);
    }

    // The library as stored now, decoded; fails the test when it does not decode.
    Playlists stored()
    {
        defaults.store().finishWrites();  // a save encodes the library on the writer thread
        const auto bytes = defaults.store().data(ContentState::playlistsKey);
        const PlaylistCodec::Decoded decoded = PlaylistCodec::decode(bytes.value_or(QByteArray()));
        if (!decoded.playlists)
            QTest::qFail("the stored library does not decode", __FILE__, __LINE__);
        return decoded.playlists.value_or(Playlists());
    }

    AudioPlayer& player() { return state->audioPlayer(); }

    TemporaryDefaults defaults;
    std::unique_ptr<ContentState> state;
    std::unique_ptr<PlaylistLibrary> library;
    Log::Capture log;
};
