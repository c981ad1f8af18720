#include "base/JsonErrorText.h"

QString jsonErrorText(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::NoError:
        return QStringLiteral("no error occurred");
    case QJsonParseError::UnterminatedObject:
        return QStringLiteral("unterminated object");
    case QJsonParseError::MissingNameSeparator:
        return QStringLiteral("missing name separator");
    case QJsonParseError::UnterminatedArray:
        return QStringLiteral("unterminated array");
    case QJsonParseError::MissingValueSeparator:
        return QStringLiteral("missing value separator");
    case QJsonParseError::IllegalValue:
        return QStringLiteral("illegal value");
    case QJsonParseError::TerminationByNumber:
        return QStringLiteral("invalid termination by number");
    case QJsonParseError::IllegalNumber:
        return QStringLiteral("illegal number");
    case QJsonParseError::IllegalEscapeSequence:
        return QStringLiteral("invalid escape sequence");
    case QJsonParseError::IllegalUTF8String:
        return QStringLiteral("invalid UTF8 string");
    case QJsonParseError::UnterminatedString:
        return QStringLiteral("unterminated string");
    case QJsonParseError::MissingObject:
        return QStringLiteral("object is missing after a comma");
    case QJsonParseError::DeepNesting:
        return QStringLiteral("too deeply nested document");
    case QJsonParseError::DocumentTooLarge:
        return QStringLiteral("too large document");
    case QJsonParseError::GarbageAtEnd:
        return QStringLiteral("garbage at the end of the document");
    }
    return QStringLiteral("unknown error");
}
