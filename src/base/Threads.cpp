#include "base/Threads.h"

#include <QtGlobal>

#include <pthread.h>

void noteThreadStart(const char* what)
{
    static const bool forbidden = qEnvironmentVariableIsSet("RIVETONE_SINGLE_THREADED_TEST");
    if (forbidden)
        qFatal("%s started a thread in a test labelled single-threaded: label it threaded", what);
}

void nameThisThread(const char* name)
{
    pthread_setname_np(pthread_self(), name);
}
