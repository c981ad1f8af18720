#pragma once

#include <QString>

// The system's words for an error number, in English whatever the locale:
// they go into the lines on standard output, which are the same in every
// language. (The C library's strerror() speaks the desktop's language.)
QString systemErrorText(int errorNumber);

class QFileDevice;

// Why a call on a file failed, for those lines: the system's words for the
// error number the call left (the toolkit's own text words the commonest
// ones in the desktop's language, on any thread), or the file's own text
// where the failure was not the system's. Clear errno before the call.
QString fileErrorText(const QFileDevice& file, int errorNumber);

// For the life of the calling thread, the C library's messages in English:
// our own threads, which write nothing the learner reads in the window but
// through the log. The window's thread keeps the desktop's language (a
// native file dialog takes its texts from it).
void speakEnglishOnThisThread();
