#pragma once

#include "ui/Binding.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

// Shows content as a sheet over a window while a flag of the window's state is
// true: a window-modal dialog holding a widget made for the occasion. The flag
// is the one truth: call sync() whenever it may have changed and the sheet
// opens or closes to match. When the user dismisses the sheet (Escape, or the
// window manager's close), the presenter writes false through the binding.
class SheetPresenter : public QObject {
    Q_OBJECT

public:
    // Makes the sheet's content, parented to the sheet.
    using ContentFactory = std::function<QWidget*(QWidget* sheet)>;

    SheetPresenter(QWidget* window, Binding<bool> isPresented, QObject* parent = nullptr);
    ~SheetPresenter() override;

    // Without content the flag changes and nothing is shown. A sheet that is
    // open keeps its content; the next one uses the new factory.
    void setContentFactory(ContentFactory makeContent);
    bool hasContentFactory() const { return bool(m_makeContent); }

    void sync();

    // The open sheet, or null.
    QDialog* sheet() const { return m_sheet; }

private:
    void open();
    void close();
    void onFinished();

    QPointer<QWidget> m_window;
    Binding<bool> m_isPresented;
    ContentFactory m_makeContent;
    QPointer<QDialog> m_sheet;
};
