#include "base/SystemErrorText.h"

#include <QFileDevice>

#include <clocale>
#include <cstring>
#include <locale.h>

namespace {

locale_t englishLocale()
{
    static const locale_t english = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return english;
}

}  // namespace

QString systemErrorText(int errorNumber)
{
    const locale_t english = englishLocale();
    return QString::fromLocal8Bit(english ? strerror_l(errorNumber, english) : std::strerror(errorNumber));
}

QString fileErrorText(const QFileDevice& file, int errorNumber)
{
    return errorNumber != 0 ? systemErrorText(errorNumber) : file.errorString();
}

void speakEnglishOnThisThread()
{
    if (const locale_t english = englishLocale())
        uselocale(english);
}
