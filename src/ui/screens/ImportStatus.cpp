#include "ui/screens/ImportStatus.h"

#include "ui/kit/CardStyle.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal horizontalPadding = 12;
constexpr qreal verticalPadding = 5;

CardStyle capsuleStyle(const QSizeF& size)
{
    return {size.height() / 2, Palette::white(0.9), {{Palette::black(0.1), 4, {0, 1}}}};
}

// Room for the capsule's shadow on every side.
constexpr int shadowRoom = 8;

}  // namespace

ImportStatus::ImportStatus(FileImport& import, DefaultsStore& store, QWidget* window)
    : QWidget(window)
    , m_font(Typography::font(TextStyle::Caption))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    m_linger.setSingleShot(true);
    m_linger.setInterval(lingerMilliseconds);
    connect(&m_linger, &QTimer::timeout, this, [this] {
        m_importSays = false;
        showAtRest();
    });
    connect(&import, &FileImport::progressed, this, [this](int filesFound) {
        m_linger.stop();
        m_importSays = true;
        show(searchingText(filesFound));
    });
    connect(&import, &FileImport::finished, this, [this](const FileImport::Outcome& outcome) {
        m_importSays = true;
        show(outcomeText(outcome));
        m_linger.start();
    });
    // The reason, without the settings file's path that every one starts
    // with: the note has room for a line, and the reason is what matters.
    const auto reasonOf = [prefix = QStringLiteral("cannot write %1: ").arg(store.filePath())](const QString& error) {
        return error.startsWith(prefix) ? error.mid(prefix.size()) : error;
    };
    connect(&store, &DefaultsStore::lastWriteErrorChanged, this, [this, reasonOf](const QString& error) {
        m_saveProblem = reasonOf(error);
        if (!m_importSays)
            showAtRest();
    });
    m_saveProblem = reasonOf(store.lastWriteError());
    window->installEventFilter(this);
    QWidget::hide();
    showAtRest();
}

void ImportStatus::showAtRest()
{
    if (m_saveProblem.isEmpty())
        hide();
    else
        show(saveProblemText(m_saveProblem));
}

QString ImportStatus::saveProblemText(const QString& error)
{
    return tr("Not saved: %1").arg(error);
}

QString ImportStatus::searchingText(int filesFound)
{
    return tr("Looking for audio files… %n found", nullptr, filesFound);
}

QString ImportStatus::outcomeText(const FileImport::Outcome& outcome)
{
    // Plain English without a translation loaded; translations give the
    // plural forms of their own language through %n.
    const int outOfReach = outcome.namesNotInUtf8;
    const int unreadable = outcome.unreadableFolders;
    const QString folders = unreadable == 1 ? tr("; 1 folder could not be read")
        : unreadable > 1                    ? tr("; %n folders could not be read", nullptr, unreadable)
                                            : QString();
    if (outcome.added == 0) {
        if (outOfReach == 1)
            return tr("No audio added: 1 file’s name is not UTF-8") + folders;
        if (outOfReach > 1)
            return tr("No audio added: %n files’ names are not UTF-8", nullptr, outOfReach) + folders;
        if (unreadable == 1)
            return tr("No audio added: 1 folder could not be read");
        if (unreadable > 1)
            return tr("No audio added: %n folders could not be read", nullptr, unreadable);
        return tr("No MP3 or MPEG-4 audio found");
    }
    QString added = outcome.added == 1 ? tr("Added 1 file to “%1”").arg(outcome.playlist)
                                       : tr("Added %n files to “%1”", nullptr, outcome.added).arg(outcome.playlist);
    if (outOfReach > 0)
        added += tr("; %n left out (names not UTF-8)", nullptr, outOfReach);
    return added + folders;
}

QSize ImportStatus::sizeHint() const
{
    const QSizeF text = Typography::textSize(m_text, m_font);
    return QSize(int(std::ceil(text.width() + 2 * horizontalPadding)) + 2 * shadowRoom,
                 int(std::ceil(text.height() + 2 * verticalPadding)) + 2 * shadowRoom);
}

void ImportStatus::show(const QString& text)
{
    if (text != m_text) {
        m_text = text;
        place();
        update();
    }
    raise();
    QWidget::show();
}

void ImportStatus::setRightEdge(int x)
{
    m_rightEdge = x;
    place();
}

void ImportStatus::place()
{
    const QWidget* window = parentWidget();
    // As far from the edge it must stay left of as from the window's left.
    const int left = margin - shadowRoom;
    const int right = (m_rightEdge >= 0 ? std::min(m_rightEdge, window->width()) : window->width()) - left;
    const QSize size = sizeHint().boundedTo(QSize(std::max(0, right - left), window->height()));
    setGeometry(left, window->height() - margin + shadowRoom - size.height(), size.width(), size.height());
}

QRectF ImportStatus::textRect() const
{
    return QRectF(rect()).adjusted(shadowRoom + horizontalPadding, shadowRoom, -shadowRoom - horizontalPadding, -shadowRoom);
}

QString ImportStatus::shownText() const
{
    return QFontMetricsF(m_font).elidedText(m_text, Qt::ElideRight, textRect().width());
}

bool ImportStatus::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        place();
    return QWidget::eventFilter(watched, event);
}

void ImportStatus::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(shadowRoom, shadowRoom, -shadowRoom, -shadowRoom);
    capsuleStyle(capsule.size()).paint(painter, capsule);
    painter.setFont(m_font);
    painter.setPen(Palette::gray());
    painter.drawText(textRect(), Qt::AlignCenter | Qt::TextSingleLine, shownText());
}
