#include "ui/kit/TextLine.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

TextLine::TextLine(QFont font, QColor colour, Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent)
    , m_font(std::move(font))
    , m_colour(std::move(colour))
    , m_alignment(alignment)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

void TextLine::setText(const QString& text)
{
    if (text == m_text)
        return;
    const int oldWidth = sizeHint().width();
    m_text = text;
    // A layout only needs to hear about widths that change its answer.
    if (sizeHint().width() != oldWidth)
        updateGeometry();
    update();
}

void TextLine::setShorterForms(const QStringList& forms, const QString& family)
{
    if (family != m_family) {
        m_family = family;
        m_firstForm = 0;
    }
    if (forms == m_shorterForms)
        return;
    m_shorterForms = forms;
    update();
}

void TextLine::resizeEvent(QResizeEvent* event)
{
    m_firstForm = 0;
    QWidget::resizeEvent(event);
}

void TextLine::setElideMode(Qt::TextElideMode mode)
{
    if (mode == m_elideMode)
        return;
    m_elideMode = mode;
    updateGeometry();
    update();
}

QString onOneLine(QString text)
{
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = u' ';
    return text;
}

QString TextLine::displayedText() const
{
    if (m_elideMode == Qt::ElideNone)
        return m_text;
    const QFontMetricsF metrics(m_font);
    if (m_shorterForms.isEmpty() || (m_firstForm == 0 && metrics.horizontalAdvance(m_text) <= width()))
        return metrics.elidedText(m_text, m_elideMode, width());
    m_firstForm = std::max(m_firstForm, 1);
    for (; m_firstForm <= m_shorterForms.size(); ++m_firstForm) {
        const QString& form = m_shorterForms[m_firstForm - 1];
        if (metrics.horizontalAdvance(form) <= width())
            return form;
    }
    m_firstForm = int(m_shorterForms.size());
    return metrics.elidedText(m_shorterForms.last(), m_elideMode, width());
}

QSize TextLine::sizeHint() const
{
    const QFontMetricsF metrics(m_font);
    return {int(std::ceil(metrics.horizontalAdvance(m_text))), int(std::ceil(metrics.height()))};
}

QSize TextLine::minimumSizeHint() const
{
    if (m_elideMode == Qt::ElideNone)
        return sizeHint();
    return {0, sizeHint().height()};
}

void TextLine::paintEvent(QPaintEvent*)
{
    if (m_text.isEmpty())
        return;
    QPainter painter(this);
    painter.setFont(m_font);
    painter.setPen(m_colour);
    painter.drawText(QRectF(rect()), int(m_alignment | Qt::AlignVCenter) | Qt::TextSingleLine, displayedText());
}
