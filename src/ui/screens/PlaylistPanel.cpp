#include "ui/screens/PlaylistPanel.h"

#include "library/PlaylistLibrary.h"
#include "state/ContentState.h"
#include "ui/kit/CardStyle.h"
#include "ui/kit/GradientCapsuleLabel.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PlainButton.h"
#include "ui/kit/TextButtonLabel.h"
#include "ui/kit/TextLabel.h"
#include "ui/kit/Typography.h"
#include "ui/screens/AudioFilePicker.h"
#include "ui/screens/PlaylistListView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace {

CardStyle listCardStyle()
{
    CardStyle style = CardStyle::standard();
    style.cornerRadius = PlaylistListView::cardCornerRadius;
    return style;
}

ShadowStyle addFilesShadow()
{
    return {Palette::black(0.2), 5, {0, 2}};
}

std::shared_ptr<TextButtonLabel> addFilesLabel()
{
    return std::make_shared<TextButtonLabel>(
        QObject::tr("Add Files"),
        TextButtonLabel::Style{Typography::font(TextStyle::Body), Palette::white(),
                               LinearGradient{{Palette::blue(0.8), Palette::cyan(0.8)}, UnitPoint::top(), UnitPoint::bottom()},
                               20, 10, {}, addFilesShadow()});
}

}  // namespace

QMargins PlaylistPanel::overflowMargins()
{
    // The card's shadow below it falls into the gap above Add Files; only the
    // button's own reaches past the column's bottom.
    const QMargins card = listCardStyle().shadowMargins().toMargins();
    const QMargins button = Shadow::margins(addFilesShadow());
    return {card.left(), 0, card.right(), button.bottom()};
}

int PlaylistPanel::columnWidth()
{
    return qRound(designedColumnWidth * std::max<qreal>(1.0, Typography::desktopTextScale()));
}

PlaylistPanel::PlaylistPanel(ContentState& state, PlaylistLibrary& library, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_title(makeTextLabel(tr("Playlists"), Typography::font(TextStyle::Headline), Palette::grayText(), this))
    , m_new(new PlainButton(std::make_shared<GradientCapsuleLabel>(tr("New"), Palette::blue(), Palette::cyan()), this))
    , m_delete(
          new PlainButton(std::make_shared<GradientCapsuleLabel>(tr("Delete"), Palette::red(), Palette::orange()), this))
    , m_list(new PlaylistListView(state, library, this))
    , m_addFiles(new PlainButton(addFilesLabel(), this))
{
    m_new->setText(tr("New"));
    m_delete->setText(tr("Delete"));
    m_addFiles->setText(tr("Add Files"));
    m_addFiles->setOverflowMargins(Shadow::margins(addFilesShadow()));
    m_list->setFixedWidth(columnWidth());
    m_list->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    const QMargins overflow = overflowMargins();
    setFixedWidth(columnWidth() + overflow.left() + overflow.right());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(overflow.left(), 0, overflow.right(),
                               overflow.bottom() - m_addFiles->overflowMargins().bottom());
    column->setSpacing(0);
    column->addWidget(m_title, 0, Qt::AlignHCenter);
    column->addSpacing(spacing);
    auto* header = new QHBoxLayout;
    header->setSpacing(spacing);
    header->addStretch(1);
    header->addWidget(m_new, 0, Qt::AlignVCenter);
    header->addWidget(m_delete, 0, Qt::AlignVCenter);
    header->addStretch(1);
    column->addLayout(header);
    column->addSpacing(spacing);
    column->addWidget(m_list, 1, Qt::AlignHCenter);
    // The button's shadow room sits inside the gap, which still looks 10 high.
    column->addSpacing(std::max(0, spacing - m_addFiles->overflowMargins().top()));
    column->addWidget(m_addFiles, 0, Qt::AlignHCenter);

    connect(m_new, &QAbstractButton::clicked, this, [this] { m_state.setShowNewPlaylistPrompt(true); });
    connect(m_delete, &QAbstractButton::clicked, &library, &PlaylistLibrary::deletePlaylist);
    connect(m_addFiles, &QAbstractButton::clicked, this, [this, &library] { AudioFilePicker::addTo(library, window()); });
    connect(&state, &ContentState::changed, this, [this](ContentState::Field field) {
        if (field == ContentState::Field::Playlists || field == ContentState::Field::CurrentPlaylist)
            followState();
    });
    followState();
}

void PlaylistPanel::followState()
{
    // The last playlist deleted from the keyboard: Qt would hand the focus
    // on to the next control enabled, past the list's disabled neighbours to
    // Help; New is the one thing left to do.
    if (m_state.playlists().isEmpty() && m_delete->hasFocus())
        m_new->setFocus(Qt::TabFocusReason);
    m_delete->setEnabled(!m_state.playlists().isEmpty());
    m_addFiles->setEnabled(!m_state.currentPlaylist().isEmpty());
}

void PlaylistPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    listCardStyle().paint(painter, QRectF(m_list->geometry()));
}
