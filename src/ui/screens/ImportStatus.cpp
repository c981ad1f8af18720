#include "ui/screens/ImportStatus.h"

#include "ui/kit/CardStyle.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SheetDialog.h"
#include "ui/kit/Typography.h"

#include <QRegularExpression>
#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

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
    m_hold.setSingleShot(true);
    m_hold.setInterval(outcomeHoldMilliseconds);
    connect(&m_hold, &QTimer::timeout, this, [this] {
        if (!m_pendingOutcomes.isEmpty())
            showOutcome(m_pendingOutcomes.takeFirst());
        else if (!m_pendingSearch.isEmpty())
            showSearching(std::exchange(m_pendingSearch, QString()));
    });
    connect(&import, &FileImport::progressed, this, [this](int filesFound) {
        if (m_hold.isActive())
            m_pendingSearch = searchingText(filesFound);
        else
            showSearching(searchingText(filesFound));
    });
    connect(&import, &FileImport::finished, this, [this](const FileImport::Outcome& outcome) {
        if (m_hold.isActive()) {
            m_pendingOutcomes << outcomeText(outcome);
            m_pendingSearch.clear();  // that look is over
        } else {
            showOutcome(outcomeText(outcome));
        }
    });
    connect(&store, &DefaultsStore::lastWriteErrorChanged, this, [this, path = store.filePath()](const QString& error) {
        m_saveProblem = error.isEmpty() ? QString() : saveProblemText(error, path);
        if (!m_importSays)
            showAtRest();
    });
    m_saveProblem = store.lastWriteError().isEmpty() ? QString() : saveProblemText(store.lastWriteError(), store.filePath());
    window->installEventFilter(this);
    QWidget::hide();
    showAtRest();
}

void ImportStatus::showOutcome(const QString& text)
{
    m_importSays = true;
    show(text);
    m_linger.start();
    m_hold.start();
}

void ImportStatus::showSearching(const QString& text)
{
    m_linger.stop();
    m_importSays = true;
    show(text);
}

void ImportStatus::showAtRest()
{
    if (m_saveProblem.isEmpty())
        hide();
    else
        show(m_saveProblem);
}

QString ImportStatus::saveProblemText(const QString& error, const QString& settingsPath)
{
    // The reason, without the path every one starts with: the note has room
    // for a line, and the reason is what matters. The store words it in
    // English for the log; the note says it in the window's language, with
    // what the system said (in parentheses) as it said it.
    const QString prefix = QStringLiteral("cannot write %1: ").arg(settingsPath);
    const QString reason = error.startsWith(prefix) ? error.mid(prefix.size()) : error;
    struct Wording {
        const char* english;  // a pattern: (.*) stands for what %1 holds
        QString local;
    };
    const Wording wordings[] = {
        {"the folder is read-only", tr("the folder is read-only")},
        {"the file is read-only", tr("the file is read-only")},
        {"it is a directory", tr("it is a directory")},
        {"the folder (.*) cannot be created", tr("the folder %1 cannot be created")},
        {"its unreadable content could not be copied aside first \\((.*)\\)",
         tr("its unreadable content could not be copied aside first (%1)")},
        {"it could not be read at start \\((.*)\\), and a write would replace what it holds",
         tr("it could not be read at start (%1), and a write would replace what it holds")},
        {"(.*) \\(is the disk full\\?\\)", tr("%1 (is the disk full?)")},
    };
    // The store's own words for what failed in a write.
    const auto detail = [](const QString& what) {
        if (what == QStringLiteral("what was written does not read back whole"))
            return tr("what was written does not read back whole");
        if (what == QStringLiteral("the new content could not be written"))
            return tr("the new content could not be written");
        if (what == QStringLiteral("the folder cannot be made"))
            return tr("the folder cannot be made");
        if (what == QStringLiteral("the settings reader could not open it"))
            return tr("the settings reader could not open it");
        return what;
    };
    for (const Wording& wording : wordings) {
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(QString::fromLatin1(wording.english)));
        const QRegularExpressionMatch match = pattern.match(reason);
        if (match.hasMatch())
            return tr("Not saved: %1")
                .arg(match.lastCapturedIndex() > 0 ? wording.local.arg(detail(match.captured(1))) : wording.local);
    }
    return tr("Not saved: %1").arg(reason);
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
    const QString alreadyListed = outcome.alreadyListed > 0
        ? tr("; %n already there", nullptr, outcome.alreadyListed)
        : QString();
    const QString namesOutOfReach = outOfReach > 0 ? tr("; %n left out (names not UTF-8)", nullptr, outOfReach) : QString();
    const QString notAudio = outcome.givenNotAudio > 0
        ? tr("; %n left out (not MP3 or MPEG-4 audio)", nullptr, outcome.givenNotAudio)
        : QString();
    if (outcome.added == 0 && outcome.alreadyListed > 0)
        return tr("Already in “%1”").arg(outcome.playlist) + namesOutOfReach + notAudio + folders;
    if (outcome.added == 0) {
        if (outOfReach == 1)
            return tr("No audio added: 1 file’s name is not UTF-8") + notAudio + folders;
        if (outOfReach > 1)
            return tr("No audio added: %n files’ names are not UTF-8", nullptr, outOfReach) + notAudio + folders;
        if (unreadable == 1)
            return tr("No audio added: 1 folder could not be read") + notAudio;
        if (unreadable > 1)
            return tr("No audio added: %n folders could not be read", nullptr, unreadable) + notAudio;
        return tr("No MP3 or MPEG-4 audio found");
    }
    QString added = outcome.added == 1 ? tr("Added 1 file to “%1”").arg(outcome.playlist)
                                       : tr("Added %n files to “%1”", nullptr, outcome.added).arg(outcome.playlist);
    return added + namesOutOfReach + notAudio + alreadyListed + folders;
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
    // Above the window's content, but under a sheet that is open: the guide
    // or the new-playlist prompt is read there, and a sheet raises itself
    // only when it opens.
    raise();
    for (QObject* sibling : parentWidget()->children()) {
        auto* sheet = qobject_cast<SheetDialog*>(sibling);
        if (sheet && sheet->isVisible()) {
            stackUnder(sheet);
            break;
        }
    }
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
    painter.setPen(textColour());
    painter.drawText(textRect(), Qt::AlignCenter | Qt::TextSingleLine, shownText());
}

QColor ImportStatus::textColour()
{
    return Palette::grayText();
}
