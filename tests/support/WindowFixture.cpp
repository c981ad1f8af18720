#include "WindowFixture.h"

#include "library/PlaylistLibrary.h"

#include <QTest>

WindowFixture::WindowFixture(bool withLibrary)
{
    if (withLibrary)
        defaults.store().setData(ContentState::playlistsKey,
                                 QStringLiteral(R"({"Drills":["%1","%2"],"Songs":[]})")
                                     .arg(fixtureUrl(QStringLiteral("sine-5s.mp3")).toString(QUrl::FullyEncoded),
                                          fixtureUrl(QStringLiteral("sine-5s.m4a")).toString(QUrl::FullyEncoded))
                                     .toUtf8());
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
