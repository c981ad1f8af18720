#pragma once

#include <QJsonParseError>
#include <QString>

// Why a text is not JSON, in English: QJsonParseError::errorString() is
// translated into the desktop's language by Qt's own translation, and the
// reason goes into the lines on standard output, which are the same in
// every language.
QString jsonErrorText(QJsonParseError::ParseError error);
