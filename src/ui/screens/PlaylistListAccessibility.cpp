#include "ui/screens/PlaylistListAccessibility.h"

#include "ui/screens/PlaylistListView.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace {

// One row, by its place in the list: whatever row stands there now.
class AccessibleRow : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessibleRow(PlaylistListView* list, int index)
        : m_list(list)
        , m_index(index)
    {
    }

    bool isValid() const override { return m_list && m_index < m_list->rowCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override
    {
        return m_list ? m_list->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_list); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text type) const override
    {
        if (type != QAccessible::Name || !isValid())
            return {};
        return m_list->rowName(m_index);
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local = m_list->rowRect(m_index).toAlignedRect();
        return {m_list->viewport()->mapToGlobal(local.topLeft()), local.size()};
    }

    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.focusable = true;
        state.selectable = true;
        state.focused = m_list->hasFocus() && m_list->cursorRow() == m_index;
        state.selected = m_list->isRowHighlighted(m_index);
        if (m_list->row(m_index).track < 0) {
            state.expandable = true;
            state.expanded = m_list->isRowExpanded(m_index);
            state.collapsed = !state.expanded;
        }
        const QRectF shown = m_list->viewport()->rect();
        state.offscreen = !shown.intersects(m_list->rowRect(m_index));
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    void doAction(const QString& action) override
    {
        if (!isValid())
            return;
        if (action == pressAction()) {
            m_list->activateRow(m_index);
        } else if (action == setFocusAction()) {
            m_list->setFocus(Qt::OtherFocusReason);
            m_list->setCursorRow(m_index);
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<PlaylistListView> m_list;
    int m_index;
};

class AccessiblePlaylistList : public QAccessibleWidget {
public:
    explicit AccessiblePlaylistList(PlaylistListView* list)
        : QAccessibleWidget(list, QAccessible::List)
        // Rows held from before a rebuild may stand for other rows now: they
        // go at once, so a tool holding one finds it gone rather than renamed.
        , m_rebuilt(QObject::connect(list, &PlaylistListView::rowsRebuilt, list, [this] { dropRows(); }))
    {
    }

    ~AccessiblePlaylistList() override
    {
        QObject::disconnect(m_rebuilt);
        dropRows();
    }

    int childCount() const override { return list()->rowCount(); }

    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= list()->rowCount())
            return nullptr;
        if (size_t(index) >= m_rows.size())
            m_rows.resize(size_t(index) + 1, 0);
        QAccessible::Id& id = m_rows[size_t(index)];
        if (!id)
            id = QAccessible::registerAccessibleInterface(new AccessibleRow(list(), index));
        return QAccessible::accessibleInterface(id);
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (size_t index = 0; index < m_rows.size(); ++index)
            if (m_rows[index] && QAccessible::accessibleInterface(m_rows[index]) == child)
                return int(index);
        return -1;
    }

    QAccessibleInterface* focusChild() const override
    {
        if (!list()->hasFocus())
            return nullptr;
        return child(list()->cursorRow());
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint point = list()->viewport()->mapFromGlobal(QPoint(x, y));
        for (int index = 0; index < list()->rowCount(); ++index) {
            const QRectF rect = list()->rowRect(index);
            if (rect.top() > point.y())
                break;
            if (rect.contains(point))
                return child(index);
        }
        return nullptr;
    }

private:
    PlaylistListView* list() const { return static_cast<PlaylistListView*>(widget()); }

    void dropRows()
    {
        for (const QAccessible::Id id : m_rows)
            if (id)
                QAccessible::deleteAccessibleInterface(id);
        m_rows.clear();
    }

    mutable std::vector<QAccessible::Id> m_rows;  // by row index; 0 where none was asked for
    QMetaObject::Connection m_rebuilt;
};

QAccessibleInterface* listFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(PlaylistListView::staticMetaObject.className()))
        if (auto* list = qobject_cast<PlaylistListView*>(object))
            return new AccessiblePlaylistList(list);
    return nullptr;
}

}  // namespace

void PlaylistListAccessibility::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(listFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
