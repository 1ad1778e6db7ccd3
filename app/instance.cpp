// The instance record's owner handle, shared with the property pages.
#include "app/instance.h"

HWND hMainWindow;

InstanceRecord *GetInstanceRecord(HWND hwnd)
{
    return reinterpret_cast<InstanceRecord *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}
