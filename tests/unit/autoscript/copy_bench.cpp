// Copy benchmark: one COPY through CopyFiles on a worker thread while this
// thread serves the progress dialog's stand-in, as in a real run.  Prints
// the time the copy took.  Usage: copy_bench SOURCE DESTINATION-DIRECTORY\.
#include <windows.h>
#include <stdio.h>

#include "autoscript/autoscript.h"
#include "support.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: copy_bench SOURCE DESTINATION-DIRECTORY\\\n");
        return 2;
    }
    ProgressStandIn standIn;
    ResetAutoScript(standIn.dialog);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    RunOnWorker([&] { CopyFiles(argv[1], argv[2]); });
    QueryPerformanceCounter(&end);
    double seconds = (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
    printf("CopyFiles %.3f s, %zu progress updates\n", seconds, standIn.events.size());
    for (const std::string &message : LogMessages())
        printf("log: %s\n", message.c_str());
    return 0;
}
