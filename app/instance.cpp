// The instance record, reached through the main window that owns it (main
// thread).
#include "app/instance.h"

InstanceRecord *GetInstanceRecord(HWND hwnd)
{
    return reinterpret_cast<InstanceRecord *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}
