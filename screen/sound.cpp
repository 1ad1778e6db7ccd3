// A board's sound as its worker plays it: the device fed from the file on
// screen and then, without a gap, from the queued file, and where the device
// is on the stream clock of the file whose pictures are on screen (worker
// thread).
#include "screen/sound.h"

#include <math.h>
#include <string.h>

namespace {

// A file whose sound begins more than this after the pictures' time is
// played without it.
#define LONGEST_LEAD_SECONDS 10.0

void Forget(SoundMark *mark)
{
    mark->known = false;
}

void CloseAudio(AudioFile *a)
{
    if (AudioIsOpen(a))
        AudioClose(a);
}

// When the sound fed to the device ends, that of the next file follows:
// the queued file's, or the file's on screen when its pictures have gone on
// to it first.  Where it begins goes to the pictures of that file.
bool TakeFollowingFile(BoardSound *s, const char *filePath, const char *queuedPath, int64_t frame)
{
    const char *path = s->picturesAhead ? filePath : queuedPath;
    if (s->followingTried || path[0] == '\0')
        return false;
    s->followingTried = true;
    if (!AudioOpen(s->following, path, 0))
        return false;
    SoundMark begins = {true, frame, s->following->firstSeconds};
    if (s->picturesAhead)
        s->shown = begins;
    else
        s->queued = begins;
    s->picturesAhead = false;
    s->followingTried = false;
    CloseAudio(s->feeding);
    AudioFile *next = s->following;
    s->following = s->feeding;
    s->feeding = next;
    return true;
}

// Fills one buffer; false when there was nothing to put in it.
bool FillBuffer(BoardSound *s, WAVEHDR *buffer, const char *filePath, const char *queuedPath)
{
    int16_t *samples = reinterpret_cast<int16_t *>(buffer->lpData);
    int frames = s->leadFrames < SOUND_BUFFER_FRAMES ? (int)s->leadFrames : SOUND_BUFFER_FRAMES;
    memset(samples, 0, (size_t)frames * SOUND_FRAME_BYTES);
    s->leadFrames -= frames;
    while (frames < SOUND_BUFFER_FRAMES) {
        if (!AudioIsOpen(s->feeding) && !TakeFollowingFile(s, filePath, queuedPath, s->out.written + frames))
            break;
        int read = AudioRead(s->feeding, samples + (size_t)frames * SOUND_CHANNELS, SOUND_BUFFER_FRAMES - frames);
        frames += read;
        if (read == 0)
            CloseAudio(s->feeding);
    }
    return frames > 0 && SoundOutWrite(&s->out, buffer, frames);
}

}  // namespace

bool SoundInit(BoardSound *s)
{
    memset(s, 0, sizeof *s);
    s->feeding = &s->files[0];
    s->following = &s->files[1];
    s->played = CreateEventA(NULL, FALSE, FALSE, NULL);
    return s->played != NULL;
}

void SoundEnd(BoardSound *s)
{
    SoundSilence(s);
    if (SoundOutIsOpen(&s->out))
        SoundOutClose(&s->out);
    if (s->played)
        CloseHandle(s->played);
    s->played = NULL;
}

bool SoundBegin(BoardSound *s, const char *path, double seconds)
{
    SoundSilence(s);
    // The device is opened once and kept; a PC without one is asked again
    // at the next beginning (a device may have been plugged in).
    if (!SoundOutIsOpen(&s->out) && !SoundOutOpen(&s->out, s->played))
        return false;
    if (!AudioOpen(s->feeding, path, seconds))
        return false;
    // Silence until the file's sound begins.
    double lead = s->feeding->firstSeconds - seconds;
    if (lead > LONGEST_LEAD_SECONDS) {
        AudioClose(s->feeding);
        return false;
    }
    s->leadFrames = lead > 0 ? llround(lead * SOUND_RATE) : 0;
    s->shown = SoundMark{true, 0, lead > 0 ? seconds : s->feeding->firstSeconds};
    s->on = true;
    return true;
}

void SoundSilence(BoardSound *s)
{
    if (SoundOutIsOpen(&s->out))
        SoundOutReset(&s->out);
    CloseAudio(s->feeding);
    CloseAudio(s->following);
    s->followingTried = false;
    s->picturesAhead = false;
    Forget(&s->shown);
    Forget(&s->queued);
    s->leadFrames = 0;
    s->on = false;
}

void SoundFeed(BoardSound *s, const char *filePath, const char *queuedPath)
{
    if (!s->on)
        return;
    while (WAVEHDR *buffer = SoundOutFreeBuffer(&s->out))
        if (!FillBuffer(s, buffer, filePath, queuedPath))
            return;
}

void SoundPicturesSwitched(BoardSound *s)
{
    if (!s->on)
        return;
    s->shown = s->queued;
    s->picturesAhead = !s->queued.known;
    Forget(&s->queued);
}

bool SoundForgetQueue(BoardSound *s)
{
    bool stops = s->queued.known;
    if (stops)
        SoundSilence(s);
    s->followingTried = false;
    return stops;
}

// The device plays the file's sound as long as it holds some; once it has
// played all it was given, the pictures go by their own clock.
bool SoundSeconds(BoardSound *s, double *seconds)
{
    if (!s->on || !s->shown.known)
        return false;
    int64_t played;
    if (!SoundOutPlayed(&s->out, &played) || played >= s->out.written)
        return false;
    *seconds = s->shown.seconds + (double)(played - s->shown.frame) / SOUND_RATE;
    return true;
}
