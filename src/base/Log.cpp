#include "base/Log.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace Log {
namespace {

std::mutex& logMutex()
{
    static std::mutex mutex;
    return mutex;
}

Capture* g_capture = nullptr;  // guarded by logMutex()

// Lines waiting behind a reserved place, in order; a place is an entry of
// its own. Guarded by logMutex().
struct Waiting {
    std::shared_ptr<Reserved::Place> place;  // none: a line
    QString text;
    Capture* capture = nullptr;  // where it goes: the innermost capture when it was written
};
std::deque<Waiting>& waiting()
{
    // Never freed: a line written while statics are destroyed still finds it.
    static auto* queue = new std::deque<Waiting>;
    return *queue;
}

bool isControl(char32_t scalar)
{
    return scalar < 0x20 || (scalar >= 0x7F && scalar < 0xA0) || scalar == 0x2028 || scalar == 0x2029;
}

// A control character as an escape that reads as what it is.
QString escaped(char32_t scalar)
{
    switch (scalar) {
    case U'\n': return QStringLiteral("\\n");
    case U'\r': return QStringLiteral("\\r");
    case U'\t': return QStringLiteral("\\t");
    case U'\0': return QStringLiteral("\\0");
    default: return QStringLiteral("\\u{") + QString::number(uint(scalar), 16) + u'}';
    }
}

// One event is one line: a name with a line break in it (a file, a
// playlist) must not print as two lines, the second of which could pass for
// an event of its own.
QString oneLine(const QString& text)
{
    const QList<uint> scalars = text.toUcs4();
    if (std::none_of(scalars.begin(), scalars.end(), [](uint scalar) { return isControl(scalar); }))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const char32_t scalar : scalars)
        out += isControl(scalar) ? escaped(scalar) : QString::fromUcs4(&scalar, 1);
    return out;
}

}  // namespace

struct Reserved::Place {
    std::chrono::steady_clock::time_point heldUntil;
    bool settled = false;  // written, let go, or held too long
    bool givenUp = false;  // held too long: its text goes out when it comes
    std::optional<QString> text;
};

// Under logMutex(): to the capture, or standard output.
void emitLocked(const QString& text, Capture* capture)
{
    if (capture) {
        capture->append(text);
        if (!capture->m_echo)
            return;
    }
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// Under logMutex(): what no unsettled place holds back goes out.
void releaseLocked()
{
    std::deque<Waiting>& queue = waiting();
    const auto now = std::chrono::steady_clock::now();
    while (!queue.empty()) {
        Waiting& front = queue.front();
        if (front.place && !front.place->settled) {
            if (now < front.place->heldUntil)
                return;
            front.place->settled = true;
            front.place->givenUp = true;
        }
        if (!front.place)
            emitLocked(front.text, front.capture);
        else if (front.place->text)
            emitLocked(*front.place->text, front.capture);
        queue.pop_front();
    }
}

// Under logMutex(): out at once, or behind what waits.
void lineLocked(const QString& text)
{
    if (waiting().empty()) {
        emitLocked(text, g_capture);
        return;
    }
    waiting().push_back({nullptr, text, g_capture});
    releaseLocked();
}

void line(const QString& raw)
{
    const QString text = oneLine(raw);
    std::lock_guard lock(logMutex());
    lineLocked(text);
}

void releaseOverdue()
{
    std::lock_guard lock(logMutex());
    releaseLocked();
}

Reserved::Reserved(std::chrono::milliseconds heldLongest)
    : m_place(std::make_shared<Place>())
{
    m_place->heldUntil = std::chrono::steady_clock::now() + heldLongest;
    {
        std::lock_guard lock(logMutex());
        waiting().push_back({m_place, QString(), g_capture});
    }
    // A place still held at exit holds nothing back: what waits goes out.
    static const bool releasedAtExit = std::atexit([] {
        std::lock_guard lock(logMutex());
        for (Waiting& entry : waiting())
            if (entry.place)
                entry.place->settled = true;
        releaseLocked();
    }) == 0;
    Q_UNUSED(releasedAtExit);
    // Given up when its time is over, not only at the next line: the
    // lines behind it may be the last for a while.
    if (QCoreApplication* application = QCoreApplication::instance();
        application && QThread::currentThread() == application->thread())
        QTimer::singleShot(heldLongest + std::chrono::milliseconds(1), application, &releaseOverdue);
}

Reserved::~Reserved()
{
    std::lock_guard lock(logMutex());
    m_place->settled = true;
    releaseLocked();
}

void Reserved::write(const QString& raw)
{
    const QString text = oneLine(raw);
    std::lock_guard lock(logMutex());
    if (m_place->givenUp) {
        m_place->givenUp = false;  // once, where it is now
        lineLocked(text);
        return;
    }
    if (m_place->settled)
        return;
    m_place->text = text;
    m_place->settled = true;
    releaseLocked();
}

QString formatDouble(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    if (value == 0)
        return std::signbit(value) ? QStringLiteral("-0.0") : QStringLiteral("0.0");

    // Shortest round-trip digits, then laid out by hand: to_chars' own choice
    // between fixed and exponent form is not the one we want.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string scientific(buffer, result.ptr);
    const auto ePos = scientific.find('e');
    std::string mantissa = scientific.substr(0, ePos);
    const int exponent = std::stoi(scientific.substr(ePos + 1));

    std::string sign;
    if (mantissa.front() == '-') {
        sign = "-";
        mantissa.erase(0, 1);
    }
    std::string digits;
    for (char c : mantissa)
        if (c != '.')
            digits += c;

    if (exponent < -4 || exponent >= 16) {
        std::string text = sign + digits.substr(0, 1);
        if (digits.size() > 1)
            text += "." + digits.substr(1);
        char exponentText[16];
        std::snprintf(exponentText, sizeof exponentText, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return QString::fromStdString(text + exponentText);
    }

    std::string integral;
    std::string fraction;
    if (exponent < 0) {
        integral = "0";
        fraction = std::string(size_t(-exponent - 1), '0') + digits;
    } else if (size_t(exponent) + 1 >= digits.size()) {
        integral = digits + std::string(size_t(exponent) + 1 - digits.size(), '0');
    } else {
        integral = digits.substr(0, size_t(exponent) + 1);
        fraction = digits.substr(size_t(exponent) + 1);
    }
    if (fraction.empty())
        fraction = "0";
    return QString::fromStdString(sign + integral + "." + fraction);
}

QString quoted(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (const char32_t scalar : text.toUcs4()) {
        switch (scalar) {
        case U'"': out += QStringLiteral("\\\""); break;
        case U'\\': out += QStringLiteral("\\\\"); break;
        default:
            out += isControl(scalar) ? escaped(scalar) : QString::fromUcs4(&scalar, 1);
        }
    }
    out += u'"';
    return out;
}

QString formatNameList(const QStringList& names)
{
    QStringList items;
    items.reserve(names.size());
    for (const QString& name : names)
        items << quoted(name);
    return u'[' + items.join(QStringLiteral(", ")) + u']';
}

Capture::Capture(bool echo)
    : m_echo(echo)
{
    std::lock_guard lock(logMutex());
    m_outer = g_capture;
    g_capture = this;
}

Capture::~Capture()
{
    std::lock_guard lock(logMutex());
    if (g_capture == this)
        g_capture = m_outer;
    // What is still held back for it goes where it would have gone next.
    for (Waiting& entry : waiting())
        if (entry.capture == this)
            entry.capture = m_outer;
}

QStringList Capture::lines() const
{
    std::lock_guard lock(logMutex());
    // A copy of its own: a shared one would let the next line, written from
    // another thread once the caller let go, go into the array in place with
    // nothing ordering it after the caller's reads.
    QStringList copy = m_lines;
    copy.detach();
    return copy;
}

void Capture::clear()
{
    std::lock_guard lock(logMutex());
    m_lines.clear();
}

void Capture::append(const QString& text)
{
    m_lines << text;
}

}  // namespace Log
