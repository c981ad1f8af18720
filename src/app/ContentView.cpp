#include "app/ContentView.h"

#include "input/CommandHandlers.h"
#include "input/EventMonitor.h"
#include "input/EventMonitorView.h"
#include "library/SavedLoopsLibrary.h"
#include "state/Transport.h"
#include "ui/kit/ControlAccessibility.h"
#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/CustomVerticalSlider.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PlainButton.h"
#include "ui/screens/DrillRow.h"
#include "ui/screens/FileDropTarget.h"
#include "ui/screens/ImportStatus.h"
#include "ui/screens/NewPlaylistSheet.h"
#include "ui/screens/PlayerCard.h"
#include "ui/screens/PlayerDisplay.h"
#include "ui/screens/PlaylistListAccessibility.h"
#include "ui/screens/PlaylistListView.h"
#include "ui/screens/PlaylistPanel.h"
#include "ui/screens/PressFeedback.h"
#include "ui/screens/SheetPresenter.h"
#include "ui/screens/TransportRow.h"
#include "ui/screens/UserGuideSheet.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace {

LinearGradient backgroundGradient()
{
    return {{Palette::white(), Palette::blue(0.1)}, UnitPoint::topLeading(), UnitPoint::bottomTrailing()};
}

}  // namespace

ContentView::ContentView(DefaultsStore& defaults, QWidget* parent)
    : Backdrop(backgroundGradient(), parent)
    , m_state(defaults)
    , m_library(m_state)
    , m_fileImport(m_state, m_library)
    , m_displayPacer(this, [this] { refresh(); })
{
    // Before any widget is made: a widget's interface is made once, the
    // first time anything asks for it.
    ControlAccessibility::install();
    PlaylistListAccessibility::install();
    CommandHandlers handlers(m_state);
    m_captureView = new EventMonitorView([handlers](QKeyEvent* event) mutable { handlers.handleKeyPress(event); },
                                         [handlers](double deltaY) mutable { handlers.handleWheel(deltaY); }, this);
    // A click on any bare part of the window (the cards, the margins) hands
    // the keys back to the capture view, as a click on the background does.
    setFocusPolicy(Qt::ClickFocus);
    setFocusProxy(m_captureView);

    buildLayout();
    setUpKeyboardAccess();

    m_userGuideSheet = new UserGuideSheet(m_state, this);
    new SheetPresenter(*m_userGuideSheet, m_state, ContentState::Field::ShowUserGuide);
    m_newPlaylistSheet = new NewPlaylistSheet(m_state, m_library, this);
    new SheetPresenter(*m_newPlaylistSheet, m_state, ContentState::Field::ShowNewPlaylistPrompt);

    m_pressFeedback = new PressFeedback({[this] { return m_state.buttonScale(); },
                                         [this](double scale) { m_state.setButtonScale(scale); }},
                                        this);
    connect(m_transportRow->playPauseButton(), &QAbstractButton::clicked, this, &ContentView::playPause);
    connect(m_transportRow->stopButton(), &QAbstractButton::clicked, this, &ContentView::stop);
    connect(m_transportRow->helpButton(), &QAbstractButton::clicked, this, &ContentView::toggleUserGuide);

    m_fileDropTarget = new FileDropTarget(*this, *m_playlistPanel->list(), m_fileImport);
    m_importStatus = new ImportStatus(m_fileImport, m_state.defaults(), this);

    connect(&m_state.audioPlayer(), &AudioPlayer::changed, this, [this] { m_displayPacer.request(); });
    connect(&m_state, &ContentState::changed, this, &ContentView::onStateChanged);

    refresh();
}

// The widgets' callbacks reach into the state, which is a member and goes
// before the QWidget base deletes the children: take them down first.
ContentView::~ContentView()
{
    disconnect(&m_state, nullptr, this, nullptr);
    disconnect(&m_state.audioPlayer(), nullptr, this, nullptr);
    delete m_pressFeedback;
    delete m_fileDropTarget;
    const QList<QWidget*> children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    qDeleteAll(children);
}

void ContentView::buildLayout()
{
    auto* leftColumn = new QWidget(this);
    m_playerCard = new PlayerCard(m_state, leftColumn);
    m_transportRow = new TransportRow(leftColumn);
    auto* leftLayout = new QVBoxLayout(leftColumn);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    // Measured from the card's edge to the buttons' shapes, not their shadows.
    leftLayout->setSpacing(leftColumnSpacing - m_transportRow->overflowMargins().top());
    leftLayout->addWidget(m_playerCard);
    leftLayout->addWidget(m_transportRow, 0, Qt::AlignHCenter);
    addCard(m_playerCard, CardStyle::standard());

    // The column holds the panel's place in the layout; the panel itself lies
    // over it, wider by the room its shadows need (a child cannot paint
    // outside its parent, so it is not the column's child).
    m_rightColumn = new QWidget(this);
    m_rightColumn->setFixedWidth(PlaylistPanel::columnWidth());
    m_playlistPanel = new PlaylistPanel(m_state, m_library, this);
    const QMargins overflow = PlaylistPanel::overflowMargins();
    m_rightColumn->setMinimumHeight(m_playlistPanel->minimumSizeHint().height() - overflow.top() - overflow.bottom());
    m_rightColumn->installEventFilter(this);

    auto* mainRow = new QHBoxLayout(this);
    mainRow->setContentsMargins(padding, padding, padding, padding);
    mainRow->setSpacing(columnSpacing);
    // The left column takes all the width the playlists leave, and sits
    // centred in the height.
    mainRow->addWidget(leftColumn, 1, Qt::AlignVCenter);
    mainRow->addWidget(m_rightColumn);
}

// Tab walks the controls from where a session starts, the playlists, through
// the transport to the finer controls of the card. Disabled buttons are
// passed over. The capture view is no stop of its own: Tab leaves it for the
// first control, and the command keys work whichever control has the focus.
void ContentView::setUpKeyboardAccess()
{
    new FocusRing(this);

    const PlaylistPanel& panel = *m_playlistPanel;
    const QList<QWidget*> order{panel.list(),
                                panel.newButton(),
                                panel.deleteButton(),
                                panel.addFilesButton(),
                                m_transportRow->playPauseButton(),
                                m_transportRow->stopButton(),
                                m_transportRow->helpButton(),
                                m_playerCard->progressBar(),
                                m_playerCard->volumeSlider(),
                                m_playerCard->drillRow()->passesButton(),
                                m_playerCard->drillRow()->pauseButton(),
                                m_playerCard->drillRow()->speedButton()};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void ContentView::placePlaylistPanel()
{
    m_playlistPanel->setGeometry(m_rightColumn->geometry().marginsAdded(PlaylistPanel::overflowMargins()));
    m_playlistPanel->raise();
}

bool ContentView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_rightColumn && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        placePlaylistPanel();
        m_importStatus->setRightEdge(m_rightColumn->geometry().left());
    }
    return Backdrop::eventFilter(watched, event);
}

QSize ContentView::firstWindowSize() const
{
    const QSize content = sizeHint().expandedTo(minimumSizeHint());
    // The user guide opens whole in it, its Close button in sight.
    const int guideHeight = UserGuideSheet::cardSize.height() + 2 * padding;
    return content.expandedTo({0, std::max(firstRightColumnHeight + 2 * padding, guideHeight)});
}

void ContentView::playPause()
{
    m_state.audioPlayer().togglePlayPause();
    pressFeedback();
}

void ContentView::stop()
{
    Transport::stop(m_state);
    pressFeedback();
}

void ContentView::toggleUserGuide()
{
    m_state.setShowUserGuide(!m_state.showUserGuide());
    pressFeedback();
}

void ContentView::pressFeedback()
{
    m_pressFeedback->run();
}

void ContentView::refresh()
{
    ++m_refreshCount;
    const PlayerDisplay display = PlayerDisplay::of(m_state.audioPlayer(), m_drillLine);
    m_playerCard->present(display);
    m_transportRow->setPlayPauseSymbol(display.playPauseSymbol);
    m_transportRow->setTransportEnabled(display.isTransportEnabled);
}

void ContentView::onStateChanged(ContentState::Field field)
{
    switch (field) {
    case ContentState::Field::ButtonScale:
        // Animated: shown at once, not on the next refresh.
        m_transportRow->setButtonScale(m_state.buttonScale());
        break;
    default:
        break;
    }
}

void ContentView::showEvent(QShowEvent* event)
{
    Backdrop::showEvent(event);
    if (!m_hasAppeared) {
        m_hasAppeared = true;
        appear();
    }
}

void ContentView::changeEvent(QEvent* event)
{
    // The drill line kept from the last frame is in the old language.
    if (event->type() == QEvent::LanguageChange) {
        m_drillLine.forget();
        m_displayPacer.request();
    }
    Backdrop::changeEvent(event);
}

void ContentView::appear()
{
    m_library.loadPlaylists();
    SavedLoopsLibrary::load(m_state);
    installEventMonitor(m_state);
    m_displayPacer.watchInputFirst();
}
