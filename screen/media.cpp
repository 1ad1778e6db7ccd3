// MPEG files through FFmpeg: a reader over a Win32 handle, the decoder set
// to give the same pictures as FFmpeg's bit-exact reference decode, picture
// numbers from time stamps, and frame-exact seeking.  Runs on the worker
// thread that owns the MediaFile.
#include "screen/media.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

extern "C" {
#include <libavutil/adler32.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

#define READ_BUFFER_BYTES 65536
// Pictures from one key picture to the next until the file shows its own.
#define DEFAULT_KEY_INTERVAL 15
// The seek lands this many pictures further back than the key interval
// asks: a time stamp search finds a packet by its decoding time, which runs
// ahead of the display time by the pictures held back for reordering.
#define SEEK_SLACK 3
#define SEEK_ATTEMPTS 4
// A file whose key pictures lie further apart is decoded from its start.
#define LONGEST_KEY_INTERVAL 1200
#define FALLBACK_FRAME_RATE 25
// Key pictures an elementary stream remembers; past them, the seek decodes
// on from the last.
#define MOST_KEY_PICTURES (1 << 20)

int ReadFromHandle(void *opaque, uint8_t *buffer, int size)
{
    FileReader *r = static_cast<FileReader *>(opaque);
    DWORD read = 0;
    if (!ReadFile(r->file, buffer, (DWORD)size, &read, NULL))
        return AVERROR(EIO);
    return read == 0 ? AVERROR_EOF : (int)read;
}

int64_t SeekHandle(void *opaque, int64_t offset, int whence)
{
    FileReader *r = static_cast<FileReader *>(opaque);
    LARGE_INTEGER value;
    if (whence & AVSEEK_SIZE)
        return GetFileSizeEx(r->file, &value) ? value.QuadPart : AVERROR(EIO);
    DWORD method;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: method = FILE_BEGIN; break;
    case SEEK_CUR: method = FILE_CURRENT; break;
    case SEEK_END: method = FILE_END; break;
    default: return AVERROR(EINVAL);
    }
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(r->file, distance, &value, method))
        return AVERROR(EIO);
    return value.QuadPart;
}

bool OpenDemuxer(MediaFile *m, const char *path)
{
    m->format = avformat_alloc_context();
    if (!m->format)
        return false;
    m->format->pb = m->reader.io;
    m->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure the context is freed and the pointer cleared.
    if (avformat_open_input(&m->format, path, NULL, NULL) < 0)
        return false;
    if (avformat_find_stream_info(m->format, NULL) < 0)
        return false;
    const AVCodec *codec = NULL;
    m->stream = av_find_best_stream(m->format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (m->stream < 0 || !codec)
        return false;
    for (unsigned i = 0; i < m->format->nb_streams; i++)
        if ((int)i != m->stream)
            m->format->streams[i]->discard = AVDISCARD_ALL;
    // Demuxers of raw streams index what they read, with stamps of their own.
    m->counted = (m->format->iformat->flags & AVFMT_GENERIC_INDEX) != 0;
    AVStream *video = m->format->streams[m->stream];
    m->timeBase = video->time_base;
    m->frameRate = av_guess_frame_rate(m->format, video, NULL);
    if (m->frameRate.num <= 0 || m->frameRate.den <= 0)
        m->frameRate = AVRational{FALLBACK_FRAME_RATE, 1};
    return true;
}

// One decoding thread, the simple integer IDCT and bit-exact arithmetic:
// the pictures are those of `ffmpeg -flags +bitexact -idct simple`.
bool OpenDecoder(MediaFile *m)
{
    AVStream *video = m->format->streams[m->stream];
    const AVCodec *codec = avcodec_find_decoder(video->codecpar->codec_id);
    if (!codec)
        return false;
    m->decoder = avcodec_alloc_context3(codec);
    if (!m->decoder || avcodec_parameters_to_context(m->decoder, video->codecpar) < 0)
        return false;
    m->decoder->thread_count = 1;
    m->decoder->flags |= AV_CODEC_FLAG_BITEXACT;
    m->decoder->idct_algo = FF_IDCT_SIMPLE;
    m->decoder->pkt_timebase = video->time_base;
    if (avcodec_open2(m->decoder, codec, NULL) < 0)
        return false;
    m->packet = av_packet_alloc();
    return m->packet != NULL;
}

// A picture's number from its display time; counted on from the one before
// when it has none.  NO_PICTURE after a seek until a picture tells.
int NumberOfPicture(const MediaFile *m, const AVFrame *picture)
{
    if (m->counting && (m->counted || !m->stamped || picture->pts == AV_NOPTS_VALUE))
        return m->lastNumber + 1;
    if (m->counted)
        return picture->key_frame ? m->awaitedKey : NO_PICTURE;
    if (!m->stamped || picture->pts == AV_NOPTS_VALUE)
        return NO_PICTURE;
    int64_t number = av_rescale_q_rnd(picture->pts - m->firstStamp, m->timeBase, av_inv_q(m->frameRate),
                                      (AVRounding)(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    if (m->counting && number <= m->lastNumber)
        return m->lastNumber + 1;
    if (number < 0 || number > INT_MAX - 1)
        return NO_PICTURE;
    return (int)number;
}

void RememberKeyPicture(MediaFile *m, int64_t position, int number)
{
    if (position < 0 || (m->keyCount > 0 && m->keys[m->keyCount - 1].number >= number))
        return;
    if (m->keyCount == m->keyRoom) {
        int room = m->keyRoom ? m->keyRoom * 2 : 256;
        KeyPicture *grown = room <= MOST_KEY_PICTURES
                                ? static_cast<KeyPicture *>(realloc(m->keys, (size_t)room * sizeof *grown))
                                : NULL;
        if (!grown)
            return;
        m->keys = grown;
        m->keyRoom = room;
    }
    m->keys[m->keyCount].position = position;
    m->keys[m->keyCount].number = number;
    m->keyCount++;
}

void NoteKeyPicture(MediaFile *m, const AVFrame *picture, int number)
{
    if (!picture->key_frame)
        return;
    if (m->lastKeyNumber != NO_PICTURE) {
        int interval = number - m->lastKeyNumber;
        if (interval > m->keyInterval && interval <= LONGEST_KEY_INTERVAL)
            m->keyInterval = interval;
    }
    m->lastKeyNumber = number;
    if (m->counted)
        RememberKeyPicture(m, picture->pkt_pos, number);
}

void FeedDecoder(MediaFile *m)
{
    if (FeedStreamDecoder(m->format, m->decoder, m->packet, m->stream))
        m->draining = true;
}

// The next decoded picture, whatever its number.
bool DecodePicture(MediaFile *m, AVFrame *picture)
{
    while (!m->ended) {
        int result = avcodec_receive_frame(m->decoder, picture);
        if (result == 0)
            return true;
        // A damaged picture is left out; the file goes on with the next.
        if (result == AVERROR_EOF || m->draining) {
            m->ended = true;
            break;
        }
        FeedDecoder(m);
    }
    if (m->lastNumber != NO_PICTURE && m->count < 0)
        m->count = m->lastNumber + 1;
    return false;
}

int DefaultKeyInterval(const MediaFile *m)
{
    return m->keyInterval > 0 ? m->keyInterval : DEFAULT_KEY_INTERVAL;
}

// The last key picture of an elementary stream at or before `number`.
const KeyPicture *KeyPictureBefore(const MediaFile *m, int number)
{
    const KeyPicture *found = NULL;
    int low = 0;
    int high = m->keyCount - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        if (m->keys[middle].number <= number) {
            found = &m->keys[middle];
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return found;
}

// Places the reader so that decoding starts shortly before picture
// `number` (from the start of the file for 0 or less).
bool SeekBefore(MediaFile *m, int number)
{
    const KeyPicture *key = m->counted ? KeyPictureBefore(m, number) : NULL;
    int result;
    if (key) {
        result = av_seek_frame(m->format, -1, key->position, AVSEEK_FLAG_BYTE);
        m->awaitedKey = key->number;
        m->counting = false;
    } else if (number <= 0 || !m->stamped || m->counted) {
        result = av_seek_frame(m->format, -1, 0, AVSEEK_FLAG_BYTE);
        m->counting = true;
    } else {
        int64_t stamp = m->firstStamp + av_rescale_q(number, av_inv_q(m->frameRate), m->timeBase);
        result = av_seek_frame(m->format, m->stream, stamp, AVSEEK_FLAG_BACKWARD);
        m->counting = false;
    }
    avcodec_flush_buffers(m->decoder);
    m->draining = false;
    m->ended = false;
    m->lastNumber = NO_PICTURE;
    m->lastKeyNumber = NO_PICTURE;
    return result >= 0;
}

// Decodes on while the picture in hand lies before the target; keeps the
// last picture when the file ends first.
void DecodeUpTo(MediaFile *m, int target, AVFrame *picture, int *number, AVFrame *scratch)
{
    int next;
    while (*number < target && MediaNext(m, scratch, &next)) {
        av_frame_unref(picture);
        av_frame_move_ref(picture, scratch);
        *number = next;
    }
}

// Seeks back from the target by the key interval and decodes forward; a
// seek that lands past the target's key picture goes further back.
bool SeekToPicture(MediaFile *m, int target, AVFrame *picture, int *number)
{
    AVFrame *scratch = av_frame_alloc();
    if (!scratch)
        return false;
    // An elementary stream knows its key pictures' numbers: no margin.
    int margin = m->counted ? 0 : DefaultKeyInterval(m) + SEEK_SLACK;
    bool found = false;
    for (int attempt = 0; attempt <= SEEK_ATTEMPTS && !found; attempt++) {
        int from = attempt == SEEK_ATTEMPTS ? 0 : target - margin;
        int first;
        bool placed = SeekBefore(m, from);
        if (placed && MediaNext(m, scratch, &first) && (first <= target || from <= 0)) {
            av_frame_unref(picture);
            av_frame_move_ref(picture, scratch);
            *number = first;
            DecodeUpTo(m, target, picture, number, scratch);
            found = true;
        } else if (from <= 0) {
            break;
        }
        margin = margin * 2 + 1;
    }
    av_frame_free(&scratch);
    return found;
}

// The number of pictures, from a decode of the file's last pictures: the
// demuxer's duration only tells where to look.
void CountPictures(MediaFile *m)
{
    AVStream *video = m->format->streams[m->stream];
    if (!m->stamped || m->format->duration_estimation_method != AVFMT_DURATION_FROM_PTS ||
        video->duration == AV_NOPTS_VALUE || video->duration <= 0)
        return;
    int64_t estimate = av_rescale_q(video->duration, m->timeBase, av_inv_q(m->frameRate));
    if (estimate > INT_MAX / 2)
        return;
    AVFrame *picture = av_frame_alloc();
    if (!picture)
        return;
    int number;
    SeekToPicture(m, (int)estimate + SEEK_SLACK, picture, &number);
    while (MediaNext(m, picture, &number))
        av_frame_unref(picture);
    av_frame_free(&picture);
}

}  // namespace

bool OpenFileReader(FileReader *r, const char *path)
{
    r->file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    r->io = NULL;
    if (r->file == INVALID_HANDLE_VALUE) {
        r->file = NULL;
        return false;
    }
    uint8_t *buffer = static_cast<uint8_t *>(av_malloc(READ_BUFFER_BYTES));
    if (buffer)
        r->io = avio_alloc_context(buffer, READ_BUFFER_BYTES, 0, r, ReadFromHandle, NULL, SeekHandle);
    if (r->io)
        return true;
    av_free(buffer);
    CloseFileReader(r);
    return false;
}

void CloseFileReader(FileReader *r)
{
    if (r->io) {
        av_freep(&r->io->buffer);
        avio_context_free(&r->io);
    }
    if (r->file)
        CloseHandle(r->file);
    r->file = NULL;
}

bool FeedStreamDecoder(AVFormatContext *format, AVCodecContext *decoder, AVPacket *packet, int stream)
{
    for (;;) {
        if (av_read_frame(format, packet) < 0) {
            avcodec_send_packet(decoder, NULL);
            return true;
        }
        bool ours = packet->stream_index == stream;
        if (ours)
            avcodec_send_packet(decoder, packet);
        av_packet_unref(packet);
        if (ours)
            return false;
    }
}

bool MediaIsOpen(const MediaFile *m)
{
    return m->decoder != NULL;
}

void MediaClose(MediaFile *m)
{
    free(m->keys);
    av_packet_free(&m->packet);
    avcodec_free_context(&m->decoder);
    avformat_close_input(&m->format);
    CloseFileReader(&m->reader);
    memset(m, 0, sizeof *m);
}

bool MediaOpen(MediaFile *m, const char *path, AVFrame *picture)
{
    memset(m, 0, sizeof *m);
    m->lastNumber = NO_PICTURE;
    m->lastKeyNumber = NO_PICTURE;
    m->count = -1;
    m->counting = true;
    if (!OpenFileReader(&m->reader, path) || !OpenDemuxer(m, path) || !OpenDecoder(m) || !DecodePicture(m, picture)) {
        MediaClose(m);
        return false;
    }
    m->firstStamp = picture->pts;
    m->stamped = m->firstStamp != AV_NOPTS_VALUE;
    m->lastNumber = 0;
    NoteKeyPicture(m, picture, 0);
    if (!m->stamped || m->counted)
        return true;
    CountPictures(m);
    int number;
    if (!SeekToPicture(m, 0, picture, &number)) {
        MediaClose(m);
        return false;
    }
    return true;
}

bool MediaNext(MediaFile *m, AVFrame *picture, int *number)
{
    while (DecodePicture(m, picture)) {
        int n = NumberOfPicture(m, picture);
        if (n == NO_PICTURE) {
            av_frame_unref(picture);
            continue;
        }
        NoteKeyPicture(m, picture, n);
        m->lastNumber = n;
        m->counting = true;
        *number = n;
        return true;
    }
    return false;
}

bool MediaPicture(MediaFile *m, int target, AVFrame *picture, int *number)
{
    if (m->count > 0 && target >= m->count)
        target = m->count - 1;
    bool closeAhead = m->counting && m->lastNumber != NO_PICTURE && m->lastNumber < target &&
                      target - m->lastNumber <= DefaultKeyInterval(m) + SEEK_SLACK;
    if (!closeAhead)
        return SeekToPicture(m, target, picture, number);
    if (!MediaNext(m, picture, number))
        return false;
    AVFrame *scratch = av_frame_alloc();
    if (!scratch)
        return true;
    DecodeUpTo(m, target, picture, number, scratch);
    av_frame_free(&scratch);
    return true;
}

double MediaFrameMs(const MediaFile *m)
{
    return 1000.0 * m->frameRate.den / m->frameRate.num;
}

bool MediaHasClock(const MediaFile *m)
{
    return m->stamped && !m->counted;
}

double MediaPictureSeconds(const MediaFile *m, double number)
{
    return (double)m->firstStamp * av_q2d(m->timeBase) + number * av_q2d(av_inv_q(m->frameRate));
}

double PictureAspect(const AVFrame *picture)
{
    AVRational sar = picture->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0)
        sar = AVRational{1, 1};
    if (picture->height <= 0)
        return 1.0;
    return (double)picture->width * sar.num / ((double)picture->height * sar.den);
}

uint32_t PictureAdler(const AVFrame *picture)
{
    AVPixelFormat format = (AVPixelFormat)picture->format;
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(format);
    int rowBytes[4] = {0, 0, 0, 0};
    if (!descriptor || av_image_fill_linesizes(rowBytes, format, picture->width) < 0)
        return 0;
    unsigned long adler = 0;
    int planes = av_pix_fmt_count_planes(format);
    for (int plane = 0; plane < planes && plane < 4; plane++) {
        bool chroma = plane == 1 || plane == 2;
        int rows = chroma ? AV_CEIL_RSHIFT(picture->height, descriptor->log2_chroma_h) : picture->height;
        for (int row = 0; row < rows; row++)
            adler = av_adler32_update(adler, picture->data[plane] + (ptrdiff_t)row * picture->linesize[plane],
                                      (size_t)rowBytes[plane]);
    }
    return (uint32_t)adler;
}

namespace {

// Scales and converts a picture into one of the size it takes in the view
// (its own size when the view has none), in one pass, as FFmpeg's own scale
// filter does: the window then paints it pixel for pixel.
bool ScaleInto(const uint8_t *const planes[4], const int strides[4], int width, int height, AVPixelFormat format,
               double aspect, SwsContext **scaler, ScreenPicture *out, SIZE view)
{
    RECT client = {0, 0, view.cx, view.cy};
    RECT fit = FitRect(client, aspect);
    int outWidth = fit.right - fit.left, outHeight = fit.bottom - fit.top;
    if (outWidth <= 0 || outHeight <= 0) {
        outWidth = width;
        outHeight = height;
    }
    if (!SizePicture(out, outWidth, outHeight))
        return false;
    *scaler = sws_getCachedContext(*scaler, width, height, format, outWidth, outHeight, AV_PIX_FMT_BGRA,
                                   SWS_BICUBIC, NULL, NULL, NULL);
    if (!*scaler)
        return false;
    uint8_t *outPlanes[4] = {out->pixels, NULL, NULL, NULL};
    int outStrides[4] = {outWidth * 4, 0, 0, 0};
    if (sws_scale(*scaler, planes, strides, 0, height, outPlanes, outStrides) <= 0)
        return false;
    out->aspect = aspect;
    return true;
}

}  // namespace

bool ConvertPicture(const AVFrame *picture, SwsContext **scaler, ScreenPicture *out, SIZE view)
{
    return ScaleInto(picture->data, picture->linesize, picture->width, picture->height,
                     (AVPixelFormat)picture->format, PictureAspect(picture), scaler, out, view);
}

bool ScaleStill(const ScreenPicture *still, SwsContext **scaler, ScreenPicture *out, SIZE view)
{
    const uint8_t *planes[4] = {still->pixels, NULL, NULL, NULL};
    const int strides[4] = {still->width * 4, 0, 0, 0};
    return ScaleInto(planes, strides, still->width, still->height, AV_PIX_FMT_BGRA, still->aspect, scaler, out,
                     view);
}

void QuietenMedia(void)
{
    av_log_set_level(AV_LOG_QUIET);
}
