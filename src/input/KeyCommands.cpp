#include "input/KeyCommands.h"

#include <QKeyEvent>
#include <QWheelEvent>

#include <cmath>

namespace {

const QString playPauseCharacters = QStringLiteral(" ");
const QString loopCharacters = QStringLiteral("b");
const QString koreanLoopCharacters = QString(QChar(0x3160));  // ㅠ

// Letters by what they type, on both layouts: the Korean letter is the one
// the same key types there.
struct Letter {
    QChar latin;
    QChar korean;
    KeyCommand command;
};
constexpr Letter letterCommands[] = {
    {u's', QChar(0x3134), KeyCommand::SaveLoop},        // ㄴ
    {u'p', QChar(0x3154), KeyCommand::PreviousPhrase},  // ㅔ
    {u'n', QChar(0x315C), KeyCommand::NextPhrase},      // ㅜ
    {u'l', QChar(0x3163), KeyCommand::LoopPhrase},      // ㅣ
};

}  // namespace

KeyCommand keyCommandFor(int qtKey, const QString& characters)
{
    if (qtKey == Qt::Key_Right)
        return KeyCommand::SeekForward;
    if (qtKey == Qt::Key_Left)
        return KeyCommand::SeekBackward;
    if (characters == playPauseCharacters)
        return KeyCommand::TogglePlayPause;
    if (characters == loopCharacters || characters == koreanLoopCharacters)
        return KeyCommand::CycleLoop;
    return KeyCommand::None;
}

KeyCommand keyCommandFor(const QKeyEvent& event)
{
    return keyCommandFor(event.key(), event.text());
}

KeyAction keyActionFor(int qtKey, const QString& characters, Qt::KeyboardModifiers modifiers)
{
    if (const KeyCommand command = keyCommandFor(qtKey, characters); command != KeyCommand::None)
        return {command};
    const bool fine = modifiers.testFlag(Qt::ControlModifier);
    switch (qtKey) {
    case Qt::Key_BracketLeft:
        return {KeyCommand::SetLoopStart};
    case Qt::Key_BracketRight:
        return {KeyCommand::SetLoopEnd};
    case Qt::Key_Comma:
        return {KeyCommand::NudgeLoopStartEarlier, 0, fine};
    case Qt::Key_Period:
        return {KeyCommand::NudgeLoopStartLater, 0, fine};
    case Qt::Key_Semicolon:
        return {KeyCommand::NudgeLoopEndEarlier, 0, fine};
    case Qt::Key_Apostrophe:
    case Qt::Key_Dead_Acute:  // the apostrophe of layouts that make it a dead key (US international)
        return {KeyCommand::NudgeLoopEndLater, 0, fine};
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        return {KeyCommand::RemoveLoop};
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return {KeyCommand::Slower};
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return {KeyCommand::Faster};
    default:
        break;
    }
    // Capital letters too (Caps Lock left on): unlike B, these keys are ours.
    if (characters.size() == 1)
        for (const Letter& letter : letterCommands)
            if (characters[0].toLower() == letter.latin || characters[0] == letter.korean)
                return {letter.command};
    // A digit by what it types; with Ctrl held, X types a control character
    // for 2 to 8 (1 and 9 still type themselves), so then by the key.
    QChar digit = characters.size() == 1 ? characters[0] : QChar();
    if (modifiers.testFlag(Qt::ControlModifier) && qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9
        && (digit.isNull() || digit.category() == QChar::Other_Control))
        digit = QChar(qtKey);
    if (digit == u'0')
        return {KeyCommand::NormalSpeed};
    if (digit >= u'1' && digit <= u'9')
        return {KeyCommand::RecallLoop, digit.unicode() - u'0'};
    return {};
}

KeyAction keyActionFor(const QKeyEvent& event)
{
    return keyActionFor(event.key(), event.text(), event.modifiers());
}

WheelCommand wheelCommandFor(double deltaY)
{
    if (deltaY > 0)
        return WheelCommand::SeekForward;
    if (deltaY < 0)
        return WheelCommand::SeekBackward;
    return WheelCommand::None;  // zero, or NaN which compares false both ways
}

double verticalWheelDelta(const QWheelEvent& event)
{
    const int angle = event.angleDelta().y();
    return angle != 0 ? double(angle) : double(event.pixelDelta().y());
}

bool isModifierOnlyKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

bool repeatsWhileHeld(KeyCommand command)
{
    switch (command) {
    case KeyCommand::SetLoopStart:
    case KeyCommand::SetLoopEnd:
    case KeyCommand::SaveLoop:
    case KeyCommand::RecallLoop:
    case KeyCommand::RemoveLoop:
    case KeyCommand::LoopPhrase:
    case KeyCommand::NormalSpeed:  // nothing to step: a repeat would only store and say it again
        return false;
    default:
        return true;
    }
}

bool actsBehindSheets(KeyCommand command)
{
    switch (command) {
    case KeyCommand::SeekForward:
    case KeyCommand::SeekBackward:
    case KeyCommand::TogglePlayPause:
    case KeyCommand::CycleLoop:
        return true;
    default:
        return false;
    }
}
