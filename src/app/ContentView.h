#pragma once

#include "library/FileImport.h"
#include "library/PlaylistLibrary.h"
#include "state/ContentState.h"
#include "ui/kit/Backdrop.h"
#include "ui/kit/FramePacer.h"
#include "ui/screens/PlayerDisplay.h"

class DefaultsStore;
class EventMonitorView;
class FileDropTarget;
class ImportStatus;
class NewPlaylistSheet;
class PlayerCard;
class PlaylistPanel;
class PressFeedback;
class TransportRow;
class UserGuideSheet;
class QVBoxLayout;

// The main window's content: it owns the window's state (the engine, the view
// state, the playlist library) and lays out, on a soft gradient, the player
// card over the transport row on the left and the playlist column on the
// right.
//
// It drives the display: the engine's changes (a hundred a second while it
// plays, none while it rests) are gathered into at most one refresh per screen
// frame, which shows only what really changed (the time text once a second,
// the bar when its fill moves a pixel). The buttons' scale and the sheets
// follow the state at once.
//
// The playlist panel fills the right column; the two sheets are shown while
// showUserGuide / showNewPlaylistPrompt are true.
class ContentView : public Backdrop {
    Q_OBJECT

public:
    static constexpr int padding = 20;
    static constexpr int columnSpacing = 20;
    static constexpr int leftColumnSpacing = 20;
    static constexpr int rightColumnSpacing = 10;
    // The first window leaves the playlist column this much height at least.
    static constexpr int firstRightColumnHeight = 440;

    explicit ContentView(DefaultsStore& defaults, QWidget* parent = nullptr);
    ~ContentView() override;

    ContentState& state() { return m_state; }
    AudioPlayer& audioPlayer() { return m_state.audioPlayer(); }
    PlaylistLibrary& library() { return m_library; }
    // Files and folders from outside the Add Files dialog: dropped on the
    // window, or given on the command line.
    FileImport& fileImport() { return m_fileImport; }
    FileDropTarget* fileDropTarget() const { return m_fileDropTarget; }
    ImportStatus* importStatus() const { return m_importStatus; }

    // The playlist column: 250 wide, as tall as the window less its padding.
    // The panel covers it, reaching beyond it by its shadows' room.
    QWidget* rightColumn() const { return m_rightColumn; }
    PlaylistPanel* playlistPanel() const { return m_playlistPanel; }

    UserGuideSheet* userGuideSheet() const { return m_userGuideSheet; }
    NewPlaylistSheet* newPlaylistSheet() const { return m_newPlaylistSheet; }

    // The window's first size: what the content asks for, with room for the
    // playlist column.
    QSize firstWindowSize() const;

    // The buttons' actions.
    void playPause();
    void stop();
    void toggleUserGuide();
    void pressFeedback();

    PlayerCard* playerCard() const { return m_playerCard; }
    TransportRow* transportRow() const { return m_transportRow; }
    EventMonitorView* captureView() const { return m_captureView; }
    // Refreshes run so far, for tests and benches of the display's economy.
    quint64 refreshCount() const { return m_refreshCount; }
    const FramePacer& displayPacer() const { return m_displayPacer; }

    // Brings the display up to date with the state now.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void setUpKeyboardAccess();
    void onStateChanged(ContentState::Field field);
    void appear();
    void placePlaylistPanel();

    ContentState m_state;
    PlaylistLibrary m_library;
    FileImport m_fileImport;
    FramePacer m_displayPacer;
    DrillLine m_drillLine;
    bool m_hasAppeared = false;
    quint64 m_refreshCount = 0;

    EventMonitorView* m_captureView = nullptr;
    PlayerCard* m_playerCard = nullptr;
    TransportRow* m_transportRow = nullptr;
    QWidget* m_rightColumn = nullptr;
    PlaylistPanel* m_playlistPanel = nullptr;
    PressFeedback* m_pressFeedback = nullptr;
    UserGuideSheet* m_userGuideSheet = nullptr;
    NewPlaylistSheet* m_newPlaylistSheet = nullptr;
    FileDropTarget* m_fileDropTarget = nullptr;
    ImportStatus* m_importStatus = nullptr;
};
