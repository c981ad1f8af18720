#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

// Diagnostic lines on standard output: one whole line per event, flushed as it
// is written, no levels and no timestamps. Every subsystem writes through here.
namespace Log {

// Writes one line (a newline is added). Control characters in it (a line
// break in a file name) are written as escapes ("\n", "\u{1b}"), so one
// event is always one line. Safe from any thread.
void line(const QString& text);

// A double as the shortest text that reads back as the same double, always
// with a digit after the point ("0.0", "12.5"); tiny magnitudes and huge ones
// in exponent form ("1e-05", "1.5e+16"); "nan", "inf" and "-inf" otherwise.
QString formatDouble(double value);

// A quoted, escaped item list: ["a", "b \"c\""]; [] when empty.
QString formatNameList(const QStringList& names);

// One item of such a list: the text in double quotes, with quotes,
// backslashes and control characters escaped.
QString quoted(const QString& text);

// A place in the order of lines whose text is known only later (how a write
// on another thread went): lines written meanwhile, from any thread, wait
// behind it, so the late one still reads where it happened. Let go unwritten,
// its place is given up. Held longer than heldLongest (a write that hangs),
// it stops holding the others back (when its time is over, if made on the
// thread of the application's event loop; else at the next line), and its
// text, when it comes, goes where a line written then would.
class Reserved {
public:
    static constexpr std::chrono::milliseconds heldLongestDefault{5000};

    explicit Reserved(std::chrono::milliseconds heldLongest = heldLongestDefault);
    ~Reserved();
    Reserved(const Reserved&) = delete;
    Reserved& operator=(const Reserved&) = delete;

    void write(const QString& text);  // once; a later call writes nothing

    struct Place;  // the log's own

private:
    std::shared_ptr<Place> m_place;
};

// Lets out the lines a place held past its time holds back.
void releaseOverdue();

// While one exists, lines are collected here instead of going to stdout
// (or in addition, with echo). Captures nest; the innermost one collects.
class Capture {
public:
    explicit Capture(bool echo = false);
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    QStringList lines() const;
    void clear();

private:
    friend void line(const QString& text);
    friend void emitLocked(const QString& text, Capture* capture);
    void append(const QString& text);

    Capture* m_outer = nullptr;
    bool m_echo = false;
    QStringList m_lines;  // guarded by the log mutex
};

}  // namespace Log
