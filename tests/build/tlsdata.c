/* A DLL that keeps a thread-local of its own: the post-link step that
 * clears TLS directories must refuse it. */
static __thread int counter;

__declspec(dllexport) int NextCount(void)
{
    return ++counter;
}
