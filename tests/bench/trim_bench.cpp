// Bench: TrimFile of a text file down to a number of lines, timed in the
// process around the call alone, so Wine's start-up is left out.  Prints
// "TrimFile <ms> ms".  Usage: trim_bench PATH LINES.  Main thread.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "app/trace.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: trim_bench PATH LINES\n");
        return 2;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    TrimFile(NULL, argv[1], atoi(argv[2]));
    QueryPerformanceCounter(&end);
    printf("TrimFile %.3f ms\n", (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart);
    return 0;
}
