#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QWidget>

// Text as one line shows it: control characters (a tab or a line break in a
// file's name) as spaces. Measured as they are, a tab would count as a tab
// stop's width where a one-line drawing gives it a space's, and cut short a
// name that fits.
QString onOneLine(QString text);

// One line of text in a fixed font and colour, never wrapped: when it does not
// fit, it is elided. Setting the same text again costs nothing, so a fast
// timer may feed it freely; it repaints only when the text really changes.
class TextLine : public QWidget {
    Q_OBJECT

public:
    TextLine(QFont font, QColor colour, Qt::Alignment alignment, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return m_text; }
    // What to show, shortest last, where the text does not fit whole: the
    // first of them that fits, or else the last cut short. Texts of one
    // family (a loop's line, its pass and pause changing) keep the shortest
    // form one of them needed, so that the line's start does not jump back
    // and forth as its end grows and shrinks; a new family or width starts
    // afresh.
    void setShorterForms(const QStringList& forms, const QString& family = QString());

    // ElideNone keeps the whole text and asks for its full width as minimum.
    void setElideMode(Qt::TextElideMode mode);
    Qt::TextElideMode elideMode() const { return m_elideMode; }

    // The text as drawn at the current width.
    QString displayedText() const;

    const QFont& textFont() const { return m_font; }
    const QColor& colour() const { return m_colour; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QFont m_font;
    QColor m_colour;
    QStringList m_shorterForms;
    QString m_family;
    mutable int m_firstForm = 0;  // 0: the text; n: the nth shorter form
    Qt::Alignment m_alignment;
    Qt::TextElideMode m_elideMode = Qt::ElideRight;
    QString m_text;
};
