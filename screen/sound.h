// A board's sound: the audio of the file it plays, decoded with FFmpeg,
// converted with libswresample to the one format every board plays, and
// played through the Windows waveform output (winmm waveOut; Windows mixes
// the boards' streams).  Everything here belongs to one board's worker
// thread.
#ifndef HRX_SCREEN_SOUND_H
#define HRX_SCREEN_SOUND_H

#include <windows.h>
#include <mmsystem.h>
#include <stdint.h>

#include "screen/media.h"

struct SwrContext;

// The format every board plays: 16-bit stereo at 44.1 kHz, which every
// sound device of a Windows PC takes.
#define SOUND_RATE 44100
#define SOUND_CHANNELS 2
#define SOUND_FRAME_BYTES 4
// What the device holds queued: enough to ride out a picture search on
// a busy PC.
#define SOUND_BUFFERS 6
#define SOUND_BUFFER_FRAMES 2048

// The first audio stream of a file, decoded from a given time on.
struct AudioFile {
    FileReader reader;
    AVFormatContext *format;
    AVCodecContext *decoder;
    AVPacket *packet;
    AVFrame *frame;
    SwrContext *converter;
    int stream;
    double firstSeconds;  // the stream's time of the first frame given out
    int64_t dropFrames;   // frames before the start still to be left out
    bool draining;        // the end of the file has been handed to the decoder
    bool ended;           // and everything has come out
    // Converted frames not given out yet.
    int16_t *held;
    int heldRoom;
    int heldFrames;
    int heldAt;
};

// Opens the file's first audio stream placed at `seconds` on the stream's
// clock (its first frame for any earlier time).  False, nothing left open,
// when the file has no sound the decoder can play.
bool AudioOpen(AudioFile *a, const char *path, double seconds);
void AudioClose(AudioFile *a);
bool AudioIsOpen(const AudioFile *a);
// Up to `room` frames of sound in the boards' format; 0 at the end.
int AudioRead(AudioFile *a, int16_t *out, int room);

// The waveform output of one board.
struct SoundOut {
    HWAVEOUT wave;
    WAVEHDR headers[SOUND_BUFFERS];
    int16_t *samples;
    int64_t written;  // frames handed to the device since it was last reset
    DWORD lastPosition;
    int64_t positionWraps;
};

// Opens the default device in the boards' format, signalling `played`
// each time a buffer has been played.  False (nothing open) when the PC
// has no device that takes it.
bool SoundOutOpen(SoundOut *s, HANDLE played);
void SoundOutClose(SoundOut *s);
bool SoundOutIsOpen(const SoundOut *s);
// Stops at once and forgets what was queued; the count starts again at 0.
void SoundOutReset(SoundOut *s);
// A buffer the device is done with, or null; its room is SOUND_BUFFER_FRAMES.
WAVEHDR *SoundOutFreeBuffer(SoundOut *s);
bool SoundOutWrite(SoundOut *s, WAVEHDR *buffer, int frames);
// Frames the device has played since it was last reset; false when it
// cannot tell.
bool SoundOutPlayed(SoundOut *s, int64_t *frames);

// Where a file's sound begins in what the device plays.
struct SoundMark {
    bool known;
    int64_t frame;   // frames of the device before it
    double seconds;  // its time on the file's stream clock
};

struct BoardSound {
    SoundOut out;
    HANDLE played;          // auto-reset, set by the device
    AudioFile files[2];
    AudioFile *feeding;     // the file whose sound goes to the device
    AudioFile *following;   // the next file's, opened when `feeding` ends
    bool followingTried;    // and that could not be opened
    int64_t leadFrames;     // silence before the sound begins
    bool on;
    bool picturesAhead;     // the pictures have gone on to the queued file before its sound
    SoundMark shown;        // of the file whose pictures are on screen
    SoundMark queued;       // of the queued file, once its sound has begun
};

bool SoundInit(BoardSound *s);
void SoundEnd(BoardSound *s);
// Sound from `seconds` on the file's stream clock; false (silent) when the
// file has no sound or the PC no device.
bool SoundBegin(BoardSound *s, const char *path, double seconds);
void SoundSilence(BoardSound *s);
// Keeps the device's buffers full; the sound of the next file (the queued
// one, if any) follows without a gap.  filePath: the file on screen.
void SoundFeed(BoardSound *s, const char *filePath, const char *queuedPath);
// The pictures have gone on to the queued file.
void SoundPicturesSwitched(BoardSound *s);
// The queue is forgotten; when its sound had already begun, the sound
// stops (true; the worker begins it again at the picture on screen).
bool SoundForgetQueue(BoardSound *s);
// Where the device is on the stream clock of the file on screen; false
// while no sound of it plays.
bool SoundSeconds(BoardSound *s, double *seconds);

#endif
