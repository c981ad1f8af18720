#include "base/Threads.h"

#include <QtGlobal>

void noteThreadStart(const char* what)
{
    static const bool forbidden = qEnvironmentVariableIsSet("RIVETONE_SINGLE_THREADED_TEST");
    if (forbidden)
        qFatal("%s started a thread in a test labelled single-threaded: label it threaded", what);
}
