#include "ui/screens/UserGuideSheet.h"

#include "state/ContentState.h"
#include "state/SeekInterval.h"
#include "ui/kit/MenuPopup.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PlainButton.h"
#include "ui/kit/Shapes.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/TextButtonLabel.h"
#include "ui/kit/TextLabel.h"
#include "ui/kit/Typography.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

namespace {

QFont captionFont()
{
    return Typography::font(TextStyle::Caption);
}

// The menu control: the value on a light grey plate, and a small chevron
// that says a list opens here, centred together in the menu's width.
class SeekIntervalMenuLabel : public ButtonLabel {
public:
    static constexpr qreal chevronSize = 7;
    static constexpr qreal chevronGap = 4;

    explicit SeekIntervalMenuLabel(QString text)
        : m_text(std::move(text))
        , m_font(captionFont())
    {
    }

    QSizeF sizeHint() const override
    {
        return {qreal(UserGuideSheet::menuWidth), plateSize(m_text).height()};
    }

    void paint(QPainter& painter, const QRectF& rect) const override
    {
        const qreal chevronWidth = Symbols::size(Symbol::ChevronDown, chevronSize).width();
        const qreal maxPlateWidth = rect.width() - chevronGap - chevronWidth;
        // A value too long for the menu is cut short rather than spilling out.
        const QString text = QFontMetricsF(m_font).elidedText(m_text, Qt::ElideRight, maxPlateWidth - 16);
        QSizeF plate = plateSize(text);
        plate.setWidth(std::min(plate.width(), maxPlateWidth));
        const qreal left = rect.left() + (rect.width() - plate.width() - chevronGap - chevronWidth) / 2;
        const QRectF plateRect(left, rect.center().y() - plate.height() / 2, plate.width(), plate.height());

        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(Shapes::roundedRect(plateRect, 6), Palette::gray(0.2));
        painter.restore();
        Typography::drawCentered(painter, text, m_font, Palette::black(), plateRect.center());
        Symbols::draw(painter, Symbol::ChevronDown, chevronSize,
                      {plateRect.right() + chevronGap, rect.center().y() - chevronSize / 2}, Palette::gray());
    }

private:
    QSizeF plateSize(const QString& text) const
    {
        const QSizeF size = Typography::textSize(text, m_font);
        return {size.width() + 16, size.height() + 8};
    }

    QString m_text;
    QFont m_font;
};

QIcon checkmarkIcon()
{
    const qreal pointSize = Typography::pointSize(TextStyle::Caption);
    const QSizeF size = Symbols::size(Symbol::Checkmark, pointSize);
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        QPixmap pixmap((size * ratio).toSize());
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        Symbols::draw(painter, Symbol::Checkmark, pointSize, {0, 0}, Palette::black());
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

std::shared_ptr<TextButtonLabel> closeLabel()
{
    return std::make_shared<TextButtonLabel>(
        QObject::tr("Close"),
        TextButtonLabel::Style{captionFont(), Palette::white(),
                               LinearGradient{{Palette::blue(0.8), Palette::cyan(0.8)}, UnitPoint::top(), UnitPoint::bottom()},
                               16, 8, {}, {}});
}

}  // namespace

// The interval as the guide shows it, in the window's language ("2초" in
// Korean); the log keeps seekIntervalLabel's.
QString UserGuideSheet::shownSeekInterval(double seconds)
{
    QString number = seekIntervalLabel(seconds);
    number.chop(1);  // its "s"
    return tr("%1s", "a seek interval in whole seconds").arg(number);
}

QStringList UserGuideSheet::drillingKeyLines()
{
    return {tr("[ / ]: Loop Start/End Here"),
            tr(", / .: Loop Start Earlier/Later (50 ms)"),
            tr("; / ': Loop End Earlier/Later (50 ms)"),
            tr("Ctrl with , . ; ': by 10 ms"),
            tr("S or ㄴ: Save Loop · 1–9: Recall Saved Loop"),
            tr("Delete or Backspace: Remove Saved Loop"),
            tr("P or ㅔ / N or ㅜ: Previous/Next Phrase"),
            tr("L or ㅣ: Loop This Phrase"),
            tr("- or _ / = or +: Slower/Faster"),
            tr("0: Normal Speed"),
            tr("Wheel over the Speed: Slower/Faster"),
            tr("Right-Click or Menu Key on the Bar: Saved Loops"),
            tr("↑/↓: Playlists' Rows · Volume ±5 %"),
            tr("PgUp/PgDn · Home/End: Page · First/Last Row"),
            tr("Enter or Return: Play Track · Open/Close Playlist"),
            tr("Tab / Shift+Tab: Move Focus · Esc: Close")};
}

UserGuideSheet::UserGuideSheet(ContentState& state, QWidget* parent)
    : SheetDialog(cardSize, parent)
    , m_state(state)
    , m_row(makeTextLabel(QString(), captionFont(), Palette::grayText(), card()))
    , m_menuButton(new PlainButton(card()))
    , m_menu(new QMenu(this))
    , m_close(new PlainButton(closeLabel(), card()))
    , m_checkmark(checkmarkIcon())
{
    setWindowTitle(tr("User Guide"));
    m_row->setObjectName(QStringLiteral("seekIntervalRow"));
    m_close->setText(tr("Close"));
    m_menuButton->setFixedWidth(menuWidth);

    QVBoxLayout* outer = cardLayout();
    outer->setSpacing(0);
    auto* content = new QVBoxLayout;
    content->setSpacing(10);
    outer->addStretch(1);
    outer->addLayout(content);
    outer->addStretch(1);

    content->addWidget(makeTextLabel(tr("User Guide"),
                                     Typography::font(TextStyle::Headline, FontDesign::Rounded, FontWeight::Bold),
                                     Palette::grayText(), card()));

    auto* rule = new QWidget(card());
    rule->setFixedHeight(1);
    rule->setAutoFillBackground(true);
    QPalette rulePalette = rule->palette();
    rulePalette.setColor(QPalette::Window, Palette::gray(0.3));
    rule->setPalette(rulePalette);
    content->addWidget(rule);

    auto* keys = new QVBoxLayout;
    keys->setSpacing(8);
    for (const QString& line : {tr("Space: Play/Pause"), tr("B or ㅠ: Loop Start/End/Clear"),
                                tr("←/→: Seek Backward/Forward"), tr("Mouse Wheel: Seek Backward/Forward")})
        keys->addWidget(makeTextLabel(line, captionFont(), Palette::grayText(0.8), card()));
    content->addLayout(keys);

    // The drilling keys, smaller: a reference to come back to.
    auto* drilling = new QVBoxLayout;
    drilling->setSpacing(2);
    const QFont small = Typography::font(TextStyle::Caption2);
    for (const QString& line : drillingKeyLines())
        drilling->addWidget(makeTextLabel(line, small, Palette::grayText(0.8), card()));
    content->addLayout(drilling);

    auto* row = new QHBoxLayout;
    row->addWidget(m_row, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(m_menuButton, 0, Qt::AlignVCenter);
    content->addLayout(row);

    auto* credits = new QVBoxLayout;
    credits->setSpacing(4);
    credits->setContentsMargins(0, 8, 0, 0);
    const QFont creditFont = Typography::font(TextStyle::Caption2);
    credits->addWidget(makeTextLabel(tr("Developer: ") + developerName, creditFont, Palette::grayText(0.6), card()));
    credits->addWidget(makeTextLabel(tr("Contact: ") + contactAddress, creditFont, Palette::grayText(0.6), card()));
    content->addLayout(credits);

    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(m_close);
    closeRow->addStretch(1);
    content->addLayout(closeRow);

    for (const double seconds : seekIntervalChoicesSeconds) {
        QAction* item = m_menu->addAction(shownSeekInterval(seconds));
        item->setData(seconds);
        connect(item, &QAction::triggered, this, [this, seconds] { setSeekInterval(m_state, seconds); });
    }

    connect(m_menuButton, &QAbstractButton::clicked, this, [this] {
        popUpMenuBy(*m_menu, *m_menuButton);
    });
    connect(m_close, &QAbstractButton::clicked, this, [this] { m_state.setShowUserGuide(false); });
    connect(&state, &ContentState::changed, this, [this](ContentState::Field field) {
        if (field == ContentState::Field::SeekInterval)
            followSeekInterval();
    });
    followSeekInterval();
}

void UserGuideSheet::followSeekInterval()
{
    const double seconds = m_state.seekInterval();
    const QString label = shownSeekInterval(seconds);
    m_row->setText(tr("Seek Interval: ") + label);
    m_menuButton->setLabel(std::make_shared<SeekIntervalMenuLabel>(label));
    m_menuButton->setText(label);
    // Heard alone, "2s" says nothing of what it is (the row beside it is text).
    m_menuButton->setAccessibleName(tr("Seek Interval: ") + label);
    for (QAction* item : m_menu->actions())
        item->setIcon(item->data().toDouble() == seconds ? m_checkmark : QIcon());  // exact: 2.5 marks nothing
}
