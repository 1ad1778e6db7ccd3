// Replacing an imported function of the test program for a test, to make
// a Windows call fail or misbehave as the bench never does (test thread).
#ifndef HRX_TESTS_SUPPORT_IMPORTPATCH_H
#define HRX_TESTS_SUPPORT_IMPORTPATCH_H

// Points this program's import of dll!function at replacement until it is
// destroyed.
class ImportPatch {
public:
    ImportPatch(const char *dll, const char *function, void *replacement);
    ~ImportPatch();
    bool Applied() const { return slot_ != nullptr; }

private:
    void **slot_ = nullptr;
    void *original_ = nullptr;
};

// The function itself, as its DLL exports it: what a replacement calls to
// go on as the original would.
void *RealFunction(const char *dll, const char *function);

#endif
