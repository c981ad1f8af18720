#pragma once

#include "app/ContentView.h"
#include "base/Log.h"
#include "TestSupport.h"

#include <memory>

// The main window over a private defaults store holding "Drills" (the MP3,
// then the m4a fixture) and an empty "Songs", or no library at all, with the
// log captured; at its first size, not yet shown.
struct WindowFixture {
    explicit WindowFixture(bool withLibrary = true);
    // Shown and active.
    bool show();

    AudioPlayer& player() { return view->audioPlayer(); }

    TemporaryDefaults defaults;
    Log::Capture log;
    std::unique_ptr<ContentView> view;
};
