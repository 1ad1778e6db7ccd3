// A file's sound through FFmpeg: its first audio stream decoded from a given
// time on and converted with libswresample to the boards' format (worker
// thread).
#include "screen/sound.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace {

// How far before its time a placing seek first lands.
#define SEEK_MARGIN_SECONDS 0.25

bool OpenAudioStream(AudioFile *a, const char *path)
{
    a->format = avformat_alloc_context();
    if (!a->format)
        return false;
    a->format->pb = a->reader.io;
    a->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&a->format, path, NULL, NULL) < 0 || avformat_find_stream_info(a->format, NULL) < 0)
        return false;
    const AVCodec *codec = NULL;
    a->stream = av_find_best_stream(a->format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (a->stream < 0 || !codec)
        return false;
    for (unsigned i = 0; i < a->format->nb_streams; i++)
        if ((int)i != a->stream)
            a->format->streams[i]->discard = AVDISCARD_ALL;
    AVStream *audio = a->format->streams[a->stream];
    a->decoder = avcodec_alloc_context3(codec);
    if (!a->decoder || avcodec_parameters_to_context(a->decoder, audio->codecpar) < 0)
        return false;
    a->decoder->thread_count = 1;
    a->decoder->pkt_timebase = audio->time_base;
    if (avcodec_open2(a->decoder, codec, NULL) < 0)
        return false;
    a->packet = av_packet_alloc();
    a->frame = av_frame_alloc();
    return a->packet && a->frame;
}

bool OpenConverter(AudioFile *a)
{
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    AVCodecContext *d = a->decoder;
    return swr_alloc_set_opts2(&a->converter, &stereo, AV_SAMPLE_FMT_S16, SOUND_RATE, &d->ch_layout, d->sample_fmt,
                               d->sample_rate, 0, NULL) == 0 &&
           swr_init(a->converter) == 0;
}

// Places the reader shortly before `seconds`, or at the start of the file
// (true) for a time at or before its first frame.
bool SeekBefore(AudioFile *a, double seconds)
{
    AVStream *audio = a->format->streams[a->stream];
    int64_t stamp = (int64_t)floor(seconds / av_q2d(audio->time_base));
    bool start = audio->start_time == AV_NOPTS_VALUE || stamp <= audio->start_time;
    if (start)
        av_seek_frame(a->format, -1, 0, AVSEEK_FLAG_BYTE);
    else
        av_seek_frame(a->format, a->stream, stamp, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(a->decoder);
    a->draining = false;
    a->ended = false;
    return start;
}

void FeedDecoder(AudioFile *a)
{
    if (FeedStreamDecoder(a->format, a->decoder, a->packet, a->stream))
        a->draining = true;
}

bool HoldRoom(AudioFile *a, int frames)
{
    if (frames <= a->heldRoom)
        return true;
    int16_t *grown = static_cast<int16_t *>(realloc(a->held, (size_t)frames * SOUND_FRAME_BYTES));
    if (!grown)
        return false;
    a->held = grown;
    a->heldRoom = frames;
    return true;
}

// Converts the frames (none: what the converter still holds) into the held
// frames, leaving out those before the start; false when nothing could be
// converted.
bool Convert(AudioFile *a, const uint8_t **input, int frames)
{
    int room = swr_get_out_samples(a->converter, frames);
    if (room <= 0 || !HoldRoom(a, room))
        return false;
    uint8_t *output = reinterpret_cast<uint8_t *>(a->held);
    int converted = swr_convert(a->converter, &output, room, input, frames);
    a->heldFrames = converted > 0 ? converted : 0;
    int64_t dropped = a->dropFrames < a->heldFrames ? a->dropFrames : a->heldFrames;
    a->dropFrames -= dropped;
    a->heldAt = (int)dropped;
    return converted > 0;
}

// The next decoded frame, in a->frame; false at the end of the file.
bool DecodeFrame(AudioFile *a)
{
    while (!a->ended) {
        int result = avcodec_receive_frame(a->decoder, a->frame);
        if (result == 0)
            return true;
        // A frame that does not decode is left out.
        if (result == AVERROR_EOF || a->draining)
            a->ended = true;
        else
            FeedDecoder(a);
    }
    return false;
}

bool ConvertFrame(AudioFile *a)
{
    bool converted = Convert(a, const_cast<const uint8_t **>(a->frame->extended_data), a->frame->nb_samples);
    av_frame_unref(a->frame);
    return converted;
}

// Converts the next decoded frame, or at the end what the converter still
// holds; false when nothing more comes.
bool ConvertNext(AudioFile *a)
{
    if (!DecodeFrame(a))
        return Convert(a, NULL, 0);
    ConvertFrame(a);
    return true;
}

// Decodes from shortly before `seconds` on; the first frame's time tells how
// many frames to leave out.  A seek that lands past the time goes further
// back, at last to the start of the file.
bool PlaceAt(AudioFile *a, double seconds)
{
    AVStream *audio = a->format->streams[a->stream];
    for (double margin = SEEK_MARGIN_SECONDS;; margin *= 4) {
        bool fromStart = SeekBefore(a, seconds - margin);
        if (!DecodeFrame(a))
            return false;
        int64_t stamp = a->frame->best_effort_timestamp;
        double frameSeconds = stamp == AV_NOPTS_VALUE ? seconds : (double)stamp * av_q2d(audio->time_base);
        double lead = seconds - frameSeconds;
        if (lead >= 0 || fromStart) {
            a->dropFrames = lead > 0 ? (int64_t)llround(lead * SOUND_RATE) : 0;
            a->firstSeconds = frameSeconds + (double)a->dropFrames / SOUND_RATE;
            ConvertFrame(a);
            return true;
        }
        av_frame_unref(a->frame);
    }
}

}  // namespace

bool AudioIsOpen(const AudioFile *a)
{
    return a->decoder != NULL;
}

void AudioClose(AudioFile *a)
{
    free(a->held);
    swr_free(&a->converter);
    av_frame_free(&a->frame);
    av_packet_free(&a->packet);
    avcodec_free_context(&a->decoder);
    avformat_close_input(&a->format);
    CloseFileReader(&a->reader);
    memset(a, 0, sizeof *a);
}

bool AudioOpen(AudioFile *a, const char *path, double seconds)
{
    memset(a, 0, sizeof *a);
    if (!OpenFileReader(&a->reader, path) || !OpenAudioStream(a, path) || !OpenConverter(a)) {
        AudioClose(a);
        return false;
    }
    if (!PlaceAt(a, seconds)) {
        AudioClose(a);
        return false;
    }
    return true;
}

int AudioRead(AudioFile *a, int16_t *out, int room)
{
    int given = 0;
    while (given < room) {
        if (a->heldAt >= a->heldFrames && !ConvertNext(a))
            break;
        int frames = a->heldFrames - a->heldAt;
        if (frames > room - given)
            frames = room - given;
        memcpy(out + (size_t)given * SOUND_CHANNELS, a->held + (size_t)a->heldAt * SOUND_CHANNELS,
               (size_t)frames * SOUND_FRAME_BYTES);
        a->heldAt += frames;
        given += frames;
    }
    return given;
}
