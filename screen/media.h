// An MPEG file decoded with FFmpeg, picture by picture in display order,
// with frame-exact seeking.  Each MediaFile belongs to one thread (a
// board's worker).
#ifndef HRX_SCREEN_MEDIA_H
#define HRX_SCREEN_MEDIA_H

#include <windows.h>
#include <stdint.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "screen/swmpeg.h"

// FFmpeg's reader over a Win32 handle, shared for reading and deleting: an
// AutoScript copy may replace or delete the file while it plays; the board
// goes on with what it holds open.
struct FileReader {
    HANDLE file;
    AVIOContext *io;
};

// False (nothing left open) when the file cannot be opened.
bool OpenFileReader(FileReader *r, const char *path);
void CloseFileReader(FileReader *r);

// Hands the decoder the next packet of the stream, or the end of the file
// when there is none (a read error counts as the end); true when the end
// went.  A packet the decoder refuses (damaged data) is dropped.
bool FeedStreamDecoder(AVFormatContext *format, AVCodecContext *decoder, AVPacket *packet, int stream);

// A key picture of an elementary stream: where its packet begins.
struct KeyPicture {
    int64_t position;
    int number;
};

struct MediaFile {
    FileReader reader;
    AVFormatContext *format;
    AVCodecContext *decoder;
    AVPacket *packet;
    int stream;
    AVRational timeBase;
    AVRational frameRate;
    bool stamped;        // pictures carry time stamps: numbers come from them
    int64_t firstStamp;  // of picture 0
    // An elementary stream's time stamps are made up in decoding order:
    // its pictures are counted, and a seek goes to a key picture seen before.
    bool counted;
    int awaitedKey;      // after such a seek: the number of the key picture
    KeyPicture *keys;    // in the order of their numbers
    int keyCount;
    int keyRoom;
    bool draining;       // the end of the file has been handed to the decoder
    bool ended;          // and every picture has come out
    bool counting;       // numbers follow on from lastNumber (no seek since)
    int lastNumber;      // of the latest picture decoded; NO_PICTURE: none
    int lastKeyNumber;
    int keyInterval;     // the longest run from one key picture to the next
    int count;           // pictures in the file; -1 while not known
};

// Opens the file, learns how many pictures it holds and decodes picture 0
// into `picture`.  False (everything released) when it is not a file the
// decoder can show a picture of.
bool MediaOpen(MediaFile *m, const char *path, AVFrame *picture);
void MediaClose(MediaFile *m);
bool MediaIsOpen(const MediaFile *m);

// The next picture in display order and its number; false at the end of
// the file.
bool MediaNext(MediaFile *m, AVFrame *picture, int *number);
// Picture `target`, or the last picture when the file ends before it: from
// the pictures that follow when it is close ahead, else by a seek.
bool MediaPicture(MediaFile *m, int target, AVFrame *picture, int *number);

double MediaFrameMs(const MediaFile *m);
// Whether the file's pictures carry the time stamps of its stream's clock,
// which the sound of the file follows too.
bool MediaHasClock(const MediaFile *m);
// The time on the stream's clock, in seconds, of picture `number`.
double MediaPictureSeconds(const MediaFile *m, double number);
// Display width / height of a decoded picture (square pixels when the file
// does not say).
double PictureAspect(const AVFrame *picture);
// The Adler-32 of the picture's planes, rows without padding, as FFmpeg's
// framecrc prints it for the same picture.
uint32_t PictureAdler(const AVFrame *picture);
// Converts a decoded picture, or scales a still, into a screen picture of
// the size it takes in a view of that size (its own size for an empty
// view); the scaler context is the caller's, made or replaced as needed.
bool ConvertPicture(const AVFrame *picture, SwsContext **scaler, ScreenPicture *out, SIZE view);
bool ScaleStill(const ScreenPicture *still, SwsContext **scaler, ScreenPicture *out, SIZE view);

// FFmpeg stays silent: the player has no console.
void QuietenMedia(void);

#endif
