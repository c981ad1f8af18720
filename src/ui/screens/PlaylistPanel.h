#pragma once

#include <QMargins>
#include <QWidget>

class ContentState;
class PlainButton;
class PlaylistLibrary;
class PlaylistListView;
class QLabel;

// The main window's right-hand column: the "Playlists" title, New and Delete,
// the scrolling list of playlists and their tracks on a white card, and Add
// Files. New raises the new-playlist sheet (showNewPlaylistPrompt); every
// other control runs a library operation. Delete is enabled while there are
// playlists, Add Files while there is a current playlist. Holds no state.
//
// The column is columnWidth() wide; the widget is wider by overflowMargins() on
// its sides (and taller at the bottom) so that the card's and Add Files'
// shadows are not cut off: let those margins overlap the window's padding
// and the spacing to the left column.
class PlaylistPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int designedColumnWidth = 250;
    // Wider in proportion with a larger desktop font, so that it holds as
    // much of a name; never narrower.
    static int columnWidth();
    static constexpr int spacing = 10;

    PlaylistPanel(ContentState& state, PlaylistLibrary& library, QWidget* parent = nullptr);

    static QMargins overflowMargins();

    QLabel* title() const { return m_title; }
    PlainButton* newButton() const { return m_new; }
    PlainButton* deleteButton() const { return m_delete; }
    PlaylistListView* list() const { return m_list; }
    PlainButton* addFilesButton() const { return m_addFiles; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void followState();

    ContentState& m_state;
    QLabel* m_title;
    PlainButton* m_new;
    PlainButton* m_delete;
    PlaylistListView* m_list;
    PlainButton* m_addFiles;
};
