/* A program that imports a function Windows XP lacks: the post-link import
 * check must refuse it. */
#include <windows.h>

int main(void)
{
    return (int)(GetTickCount64() & 1);
}
