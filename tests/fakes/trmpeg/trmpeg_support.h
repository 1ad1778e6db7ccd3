// Installing the recording TRmpeg.dll in the working directory, for tests
// that drive the player against it.  Test thread only.
#ifndef HRX_TESTS_FAKES_TRMPEG_SUPPORT_H
#define HRX_TESTS_FAKES_TRMPEG_SUPPORT_H

// Copies TRmpeg.dll (all 19 exports, or TRInitMPEG only) into the working
// directory, where LoadLibraryA("TRmpeg") finds it.
bool InstallTrmpeg(bool partial = false);
// Removes it again, so that board type 1 finds no library.
void RemoveTrmpeg();

#endif
