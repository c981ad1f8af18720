#include "ui/screens/FileDropTarget.h"

#include "library/AudioFiles.h"
#include "library/FileImport.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Shapes.h"
#include "ui/kit/SheetDialog.h"
#include "ui/screens/PlaylistListView.h"

#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

#include <algorithm>

namespace {

// A blue rounded frame just inside the window's edge, over everything and
// transparent to the pointer: the whole window takes the drop.
class WindowOutline : public QWidget {
public:
    explicit WindowOutline(QWidget* window)
        : QWidget(window)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPainterPath frame = Shapes::roundedRect(QRectF(rect()).adjusted(5, 5, -5, -5), 12);
        painter.fillPath(frame, Palette::blue(0.05));
        painter.strokePath(frame, QPen(Palette::blue(0.7), 2.5));
    }
};

// Files are added, never moved: a copy, or a link where the source offers
// only that.
std::optional<Qt::DropAction> dropActionFor(Qt::DropActions possible)
{
    if (possible & Qt::CopyAction)
        return Qt::CopyAction;
    if (possible & Qt::LinkAction)
        return Qt::LinkAction;
    return std::nullopt;
}

}  // namespace

FileDropTarget::FileDropTarget(QWidget& window, PlaylistListView& list, FileImport& import)
    : QObject(&window)
    , m_window(window)
    , m_list(list)
    , m_import(import)
    , m_outline(new WindowOutline(&window))
{
    window.setAcceptDrops(true);
    window.installEventFilter(this);
}

QStringList FileDropTarget::localPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (AudioFiles::localPathNotInUtf8(url))
            continue;
        // "file:Music" is relative to nothing a drag's source could mean
        // here (taken against this program's working folder, it would name
        // whatever lies there); the command line's own are another matter.
        if (const std::optional<QString> path = AudioFiles::localPathOf(url); path && QDir::isAbsolutePath(*path))
            paths << *path;
    }
    return paths;
}

QList<QByteArray> FileDropTarget::localPathsNotInUtf8(const QMimeData* data)
{
    QList<QByteArray> paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (const std::optional<QByteArray> path = AudioFiles::localPathNotInUtf8(url); path && path->startsWith('/'))
            paths << *path;
    }
    return paths;
}

std::optional<int> FileDropTarget::groupAt(const QPoint& windowPoint) const
{
    const QWidget* viewport = m_list.viewport();
    if (!viewport->isVisible())
        return std::nullopt;
    return m_list.groupAt(viewport->mapFrom(&m_window, windowPoint));
}

std::optional<QString> FileDropTarget::playlistAt(const QPoint& windowPoint) const
{
    const std::optional<int> group = groupAt(windowPoint);
    if (!group)
        return std::nullopt;
    return m_list.groupName(*group);
}

bool FileDropTarget::isWindowOutlined() const
{
    return m_outline->isVisible();
}

bool FileDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
        follow(static_cast<QDropEvent*>(event));
        return true;
    case QEvent::DragLeave:
        showTarget(std::nullopt);
        return true;
    case QEvent::Drop:
        drop(static_cast<QDropEvent*>(event));
        return true;
    case QEvent::Resize:
        m_outline->setGeometry(m_window.rect());
        return false;
    default:
        return false;
    }
}

// Accepts a drag of local files where Copy (or Link) is possible, and shows
// where it would go.
bool FileDropTarget::follow(QDropEvent* event)
{
    // A sheet over the window (the guide, the new-playlist prompt) holds
    // its input: a drop behind it would add files the learner cannot see go.
    const QList<SheetDialog*> sheets = m_window.findChildren<SheetDialog*>();
    const bool blocked = std::any_of(sheets.begin(), sheets.end(), [](const SheetDialog* sheet) { return sheet->isVisible(); });
    const std::optional<Qt::DropAction> action = dropActionFor(event->possibleActions());
    if (blocked || !action || (localPaths(event->mimeData()).isEmpty() && localPathsNotInUtf8(event->mimeData()).isEmpty())) {
        event->ignore();
        showTarget(std::nullopt);
        return false;
    }
    event->setDropAction(*action);
    event->accept();
    showTarget(groupAt(event->position().toPoint()));
    return true;
}

// None: nothing shown. A group: that row. An empty group: the window.
void FileDropTarget::showTarget(std::optional<std::optional<int>> target)
{
    m_list.setDropTargetGroup(target ? *target : std::nullopt);
    const bool window = target && !*target;
    if (window) {
        m_outline->setGeometry(m_window.rect());
        m_outline->raise();
    }
    m_outline->setVisible(window);
}

void FileDropTarget::drop(QDropEvent* event)
{
    const QPoint point = event->position().toPoint();
    const bool accepted = follow(event);
    showTarget(std::nullopt);
    if (!accepted)
        return;
    FileImport::Request request;
    request.paths = localPaths(event->mimeData());
    request.pathsNotInUtf8 = localPathsNotInUtf8(event->mimeData());
    request.playlist = playlistAt(point);
    m_import.add(std::move(request));
}
