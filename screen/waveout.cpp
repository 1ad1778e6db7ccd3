// The waveform output of one board (winmm waveOut): a few buffers handed
// to the device in turn, and the device's position (worker thread).
#include "screen/sound.h"

#include <stdlib.h>
#include <string.h>

namespace {

#define POSITION_WRAP 0x100000000LL

WAVEFORMATEX BoardFormat(void)
{
    WAVEFORMATEX format;
    ZeroMemory(&format, sizeof format);
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = SOUND_CHANNELS;
    format.nSamplesPerSec = SOUND_RATE;
    format.wBitsPerSample = 16;
    format.nBlockAlign = SOUND_FRAME_BYTES;
    format.nAvgBytesPerSec = SOUND_RATE * SOUND_FRAME_BYTES;
    return format;
}

}  // namespace

bool SoundOutIsOpen(const SoundOut *s)
{
    return s->wave != NULL;
}

bool SoundOutOpen(SoundOut *s, HANDLE played)
{
    memset(s, 0, sizeof *s);
    WAVEFORMATEX format = BoardFormat();
    if (waveOutOpen(&s->wave, WAVE_MAPPER, &format, (DWORD_PTR)played, 0, CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        s->wave = NULL;
        return false;
    }
    s->samples = static_cast<int16_t *>(malloc((size_t)SOUND_BUFFERS * SOUND_BUFFER_FRAMES * SOUND_FRAME_BYTES));
    bool prepared = s->samples != NULL;
    for (int i = 0; i < SOUND_BUFFERS && prepared; i++) {
        WAVEHDR *h = &s->headers[i];
        h->lpData = reinterpret_cast<LPSTR>(s->samples + (size_t)i * SOUND_BUFFER_FRAMES * SOUND_CHANNELS);
        h->dwBufferLength = SOUND_BUFFER_FRAMES * SOUND_FRAME_BYTES;
        prepared = waveOutPrepareHeader(s->wave, h, sizeof *h) == MMSYSERR_NOERROR;
    }
    if (!prepared)
        SoundOutClose(s);
    return prepared;
}

void SoundOutClose(SoundOut *s)
{
    if (s->wave) {
        waveOutReset(s->wave);
        for (WAVEHDR &h : s->headers)
            if (h.dwFlags & WHDR_PREPARED)
                waveOutUnprepareHeader(s->wave, &h, sizeof h);
        waveOutClose(s->wave);
    }
    free(s->samples);
    memset(s, 0, sizeof *s);
}

void SoundOutReset(SoundOut *s)
{
    if (s->wave)
        waveOutReset(s->wave);
    s->written = 0;
    s->lastPosition = 0;
    s->positionWraps = 0;
}

WAVEHDR *SoundOutFreeBuffer(SoundOut *s)
{
    for (WAVEHDR &h : s->headers)
        if ((h.dwFlags & WHDR_PREPARED) && !(h.dwFlags & WHDR_INQUEUE))
            return &h;
    return NULL;
}

bool SoundOutWrite(SoundOut *s, WAVEHDR *buffer, int frames)
{
    buffer->dwBufferLength = (DWORD)frames * SOUND_FRAME_BYTES;
    if (waveOutWrite(s->wave, buffer, sizeof *buffer) != MMSYSERR_NOERROR)
        return false;
    s->written += frames;
    return true;
}

// The device counts in samples, or in bytes where it cannot; either
// count wraps at 32 bits.
bool SoundOutPlayed(SoundOut *s, int64_t *frames)
{
    MMTIME time;
    time.wType = TIME_SAMPLES;
    if (!s->wave || waveOutGetPosition(s->wave, &time, sizeof time) != MMSYSERR_NOERROR ||
        (time.wType != TIME_SAMPLES && time.wType != TIME_BYTES))
        return false;
    DWORD position = time.wType == TIME_BYTES ? time.u.cb : time.u.sample;
    if (position < s->lastPosition)
        s->positionWraps += POSITION_WRAP;
    s->lastPosition = position;
    int64_t count = s->positionWraps + position;
    *frames = time.wType == TIME_BYTES ? count / SOUND_FRAME_BYTES : count;
    return true;
}
