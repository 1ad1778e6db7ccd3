// The CD drive's tray, moved with MCI command strings (any thread).
#ifndef HRX_APP_CDTRAY_H
#define HRX_APP_CDTRAY_H

// Sends "open cdaudio", "set cdaudio door open" (or "door closed") and
// "close cdaudio"; their results are not looked at.
void SendCdDoorSequence(bool open);

#endif
