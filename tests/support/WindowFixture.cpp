#include "WindowFixture.h"

#include "LibraryFixture.h"

#include <QTest>

WindowFixture::WindowFixture(bool withLibrary)
{
    if (withLibrary)
        defaults.store().setData(ContentState::playlistsKey,
                                 LibraryFixture::encoded({{"Drills", {fixtureUrl("sine-5s.mp3"), fixtureUrl("sine-5s.m4a")}}, {"Songs", {}}}));
    view = std::make_unique<ContentView>(defaults.store());
    view->library().setSaveWait(std::chrono::seconds(10));
    view->resize(view->firstWindowSize());
}

bool WindowFixture::show()
{
    view->show();
    view->activateWindow();
    return QTest::qWaitForWindowActive(view.get());
}
