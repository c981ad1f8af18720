#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

class FileImport;
class PlaylistListView;
class QDropEvent;
class QMimeData;

// Files and folders dragged onto the main window from a file manager. Over a
// playlist row the row is outlined, and a drop adds them to that playlist;
// anywhere else the whole window is outlined, and a drop adds them to the
// current playlist (or, when there is none, to a new one named after their
// folder). Only local files and folders are taken; their folders are looked
// through in the background by the FileImport.
//
// Installed on the window, which it makes accept drops; its children take
// none of their own, so every drag over the window comes here.
class FileDropTarget : public QObject {
    Q_OBJECT

public:
    FileDropTarget(QWidget& window, PlaylistListView& list, FileImport& import);

    // The local files and folders a drag carries, in its order.
    static QStringList localPaths(const QMimeData* data);
    // The dropped ones whose paths are not UTF-8, as bytes: they cannot be
    // added, but the note counts their audio.
    static QList<QByteArray> localPathsNotInUtf8(const QMimeData* data);

    // Where a drop at a point of the window would go: the name of the
    // playlist whose row is there, or none for the window itself.
    std::optional<QString> playlistAt(const QPoint& windowPoint) const;
    // The window's outline is shown while a drag that would drop on the
    // window itself is over it.
    bool isWindowOutlined() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::optional<int> groupAt(const QPoint& windowPoint) const;
    bool follow(QDropEvent* event);
    void showTarget(std::optional<std::optional<int>> target);
    void drop(QDropEvent* event);

    QWidget& m_window;
    PlaylistListView& m_list;
    FileImport& m_import;
    QWidget* m_outline;
};
