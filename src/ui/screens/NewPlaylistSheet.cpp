#include "ui/screens/NewPlaylistSheet.h"

#include "base/Log.h"
#include "library/PlaylistLibrary.h"
#include "state/ContentState.h"
#include "ui/kit/GradientCapsuleLabel.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PlainButton.h"
#include "ui/kit/TextButtonLabel.h"
#include "ui/kit/TextLabel.h"
#include "ui/kit/Typography.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

QLineEdit* makeNameField(QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setPlaceholderText(QObject::tr("Playlist Name"));
    // A placeholder reaches a screen reader as a description only: the
    // field would be heard as an unnamed one.
    field->setAccessibleName(field->placeholderText());
    field->setFont(Typography::font(TextStyle::Body, FontDesign::Default));
    field->setFixedWidth(NewPlaylistSheet::fieldWidth);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Text, Palette::black());
    palette.setColor(QPalette::PlaceholderText, Palette::grayText());
    field->setPalette(palette);
    // The rounded-border field: white, a thin grey border, blue while focused.
    field->setStyleSheet(QStringLiteral("QLineEdit { background: white; color: black; border: 1px solid %1;"
                                        " border-radius: 5px; padding: 3px 6px; }"
                                        "QLineEdit:focus { border: 1px solid %2; }")
                             .arg(Palette::black(0.2).name(QColor::HexArgb), Palette::blue(0.7).name(QColor::HexArgb)));
    return field;
}

std::shared_ptr<TextButtonLabel> cancelLabel()
{
    return std::make_shared<TextButtonLabel>(
        QObject::tr("Cancel"),
        TextButtonLabel::Style{Typography::font(TextStyle::Caption), Palette::black(), Palette::gray(0.3), 10, 5, {}, {}});
}

}  // namespace

NewPlaylistSheet::NewPlaylistSheet(ContentState& state, PlaylistLibrary& library, QWidget* parent)
    : SheetDialog(cardSize, parent)
    , m_state(state)
    , m_field(makeNameField(card()))
    , m_cancel(new PlainButton(cancelLabel(), card()))
    , m_create(new PlainButton(
          std::make_shared<GradientCapsuleLabel>(tr("Create"), Palette::blue(), Palette::cyan()), card()))
{
    setWindowTitle(tr("New Playlist"));
    m_cancel->setText(tr("Cancel"));
    m_create->setText(tr("Create"));

    QVBoxLayout* content = cardLayout();
    content->setSpacing(10);
    content->addStretch(1);
    content->addWidget(makeTextLabel(tr("New Playlist"),
                                     Typography::font(TextStyle::Headline, FontDesign::Rounded, FontWeight::Bold),
                                     Palette::grayText(), card()),
                       0, Qt::AlignHCenter);
    content->addWidget(m_field, 0, Qt::AlignHCenter);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(m_cancel, 0, Qt::AlignVCenter);
    buttons->addWidget(m_create, 0, Qt::AlignVCenter);
    content->addLayout(buttons);
    buttons->setAlignment(Qt::AlignHCenter);
    content->addStretch(1);

    // Only the user's edits go to the state; the state's changes come back
    // through followName, which leaves the field alone when it already agrees.
    connect(m_field, &QLineEdit::textEdited, this, [this](const QString& text) { m_state.setNewPlaylistName(text); });
    connect(m_cancel, &QAbstractButton::clicked, &library, &PlaylistLibrary::cancelNewPlaylist);
    connect(m_create, &QAbstractButton::pressed, this, &NewPlaylistSheet::finishComposing);
    connect(m_create, &QAbstractButton::clicked, &library, &PlaylistLibrary::addPlaylist);
    m_field->installEventFilter(this);
    connect(&state, &ContentState::changed, this, [this](ContentState::Field field) {
        if (field == ContentState::Field::NewPlaylistName)
            followName();
    });
    m_shownName = state.newPlaylistName();
    followName();
}

void NewPlaylistSheet::followName()
{
    const QString& name = m_state.newPlaylistName();
    if (m_field->text() != name)
        m_field->setText(name);
    enableCreate();
    if (name == m_shownName)
        return;
    m_shownName = name;
    if (isVisible())
        Log::line(QStringLiteral("TextField input: ") + name + QStringLiteral(", color: black"));
}

void NewPlaylistSheet::enableCreate()
{
    // The same trimming as addPlaylist; a syllable being composed counts, as
    // a click on Create ends it.
    m_create->setEnabled(!m_state.newPlaylistName().trimmed().isEmpty() || !m_composing.trimmed().isEmpty());
}

bool NewPlaylistSheet::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::InputMethod) {
        const auto* input = static_cast<QInputMethodEvent*>(event);
        m_composing = input->preeditString();
        // Text committed comes to the name next, which enables Create then:
        // disabled meanwhile, a press on it would be lost.
        if (input->commitString().isEmpty())
            enableCreate();
    }
    return SheetDialog::eventFilter(watched, event);
}

// Create takes no focus, so a click on it would leave a syllable still being
// composed out of the name ("영어" made "영"). The focus leaves the field for
// a moment, which ends the composing the way input methods expect of a click
// elsewhere (each commits on its own terms: asked to, or on losing the
// field); with none taking part, the sheet commits what the field showed.
void NewPlaylistSheet::finishComposing()
{
    if (m_composing.isEmpty())
        return;
    m_field->clearFocus();
    if (!m_composing.isEmpty()) {
        QInputMethodEvent commit;
        commit.setCommitString(m_composing);
        QCoreApplication::sendEvent(m_field, &commit);
    }
    m_field->setFocus(Qt::OtherFocusReason);
}

void NewPlaylistSheet::showEvent(QShowEvent* event)
{
    SheetDialog::showEvent(event);
    m_composing.clear();  // a new field: whatever was composed went with the last one
    followName();
    m_shownName = m_state.newPlaylistName();
    m_field->setFocus(Qt::OtherFocusReason);
}
