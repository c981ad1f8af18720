#include "ui/SheetPresenter.h"

#include <QDialog>
#include <QVBoxLayout>

SheetPresenter::SheetPresenter(QWidget* window, Binding<bool> isPresented, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_isPresented(std::move(isPresented))
{
}

SheetPresenter::~SheetPresenter()
{
    // The sheet belongs to the window; take it down with its presenter so it
    // never outlives what its content acts on.
    delete m_sheet;
}

void SheetPresenter::setContentFactory(ContentFactory makeContent)
{
    m_makeContent = std::move(makeContent);
    sync();
}

void SheetPresenter::sync()
{
    const bool wanted = m_isPresented.get && m_isPresented.get();
    if (wanted && !m_sheet)
        open();
    else if (!wanted && m_sheet)
        close();
}

void SheetPresenter::open()
{
    if (!m_makeContent || !m_window)
        return;
    auto* sheet = new QDialog(m_window->window());
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setWindowTitle(m_window->window()->windowTitle());
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_makeContent(sheet));
    connect(sheet, &QDialog::finished, this, &SheetPresenter::onFinished);
    m_sheet = sheet;
    sheet->show();
}

void SheetPresenter::close()
{
    QDialog* sheet = m_sheet;
    m_sheet = nullptr;
    sheet->disconnect(this);
    sheet->hide();
    sheet->deleteLater();
}

// The user closed the sheet without its content asking for it.
void SheetPresenter::onFinished()
{
    if (!m_sheet)
        return;
    close();
    if (m_isPresented.get && m_isPresented.get() && m_isPresented.set)
        m_isPresented.set(false);
}
