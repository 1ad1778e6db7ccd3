// Still images for DisplayImageMPEG: what kind of file a still is, and its
// picture, BMP, PNG and JPEG through GDI+'s flat interface, a one-picture
// MPEG file through FFmpeg.  The kind is told on the main thread, the
// picture decoded on the board's worker thread.
#include <string.h>

// GDI+ needs the OLE types that WIN32_LEAN_AND_MEAN leaves out.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "screen/media.h"
#include "screen/swmpeg.h"

namespace {

ULONG_PTR gdiplusToken;

const uint8_t kBmpMagic[] = {'B', 'M'};
const uint8_t kPngMagic[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const uint8_t kJpegMagic[] = {0xFF, 0xD8, 0xFF};
const uint8_t kPackHeader[] = {0x00, 0x00, 0x01, 0xBA};
const uint8_t kSequenceHeader[] = {0x00, 0x00, 0x01, 0xB3};

struct FileStart {
    uint8_t bytes[SNIFF_BYTES];
    DWORD length;
};

bool ReadFileStart(const char *path, FileStart *start)
{
    start->length = 0;
    if (!path || path[0] == '\0')
        return false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BOOL read = ReadFile(file, start->bytes, sizeof start->bytes, &start->length, NULL);
    CloseHandle(file);
    return read && start->length > 0;
}

bool BeginsWith(const FileStart &start, const uint8_t *magic, DWORD length)
{
    return start.length >= length && memcmp(start.bytes, magic, length) == 0;
}

bool Holds(const FileStart &start, const uint8_t *code, DWORD length)
{
    for (DWORD at = 0; at + length <= start.length; at++)
        if (memcmp(start.bytes + at, code, length) == 0)
            return true;
    return false;
}

bool HoldsMpegHeader(const FileStart &start)
{
    return Holds(start, kPackHeader, sizeof kPackHeader) || Holds(start, kSequenceHeader, sizeof kSequenceHeader);
}

}  // namespace

StillKind SniffStill(const char *path)
{
    FileStart start;
    if (!ReadFileStart(path, &start))
        return STILL_UNKNOWN;
    if (BeginsWith(start, kBmpMagic, sizeof kBmpMagic) || BeginsWith(start, kPngMagic, sizeof kPngMagic) ||
        BeginsWith(start, kJpegMagic, sizeof kJpegMagic))
        return STILL_IMAGE;
    return HoldsMpegHeader(start) ? STILL_MPEG : STILL_UNKNOWN;
}

bool LooksLikeMpeg(const char *path)
{
    FileStart start;
    return ReadFileStart(path, &start) && HoldsMpegHeader(start);
}

bool StartImageDecoder(void)
{
    Gdiplus::GdiplusStartupInput input;
    return Gdiplus::GdiplusStartup(&gdiplusToken, &input, NULL) == Gdiplus::Ok;
}

void StopImageDecoder(void)
{
    if (gdiplusToken)
        Gdiplus::GdiplusShutdown(gdiplusToken);
    gdiplusToken = 0;
}

bool LoadImagePicture(const char *path, ScreenPicture *p)
{
    using namespace Gdiplus;
    WCHAR widePath[MAX_PATH];
    if (!gdiplusToken || MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) == 0)
        return false;
    GpBitmap *bitmap = NULL;
    if (DllExports::GdipCreateBitmapFromFile(widePath, &bitmap) != Ok || !bitmap)
        return false;
    UINT width = 0;
    UINT height = 0;
    DllExports::GdipGetImageWidth(bitmap, &width);
    DllExports::GdipGetImageHeight(bitmap, &height);
    bool loaded = false;
    if (SizePicture(p, (int)width, (int)height)) {
        GpRect whole = {0, 0, (INT)width, (INT)height};
        BitmapData data;
        data.Width = width;
        data.Height = height;
        data.Stride = (INT)width * 4;
        data.PixelFormat = PixelFormat32bppRGB;
        data.Scan0 = p->pixels;
        data.Reserved = 0;
        // The pixels land in the picture itself (a caller-supplied buffer).
        loaded = DllExports::GdipBitmapLockBits(bitmap, &whole, ImageLockModeRead | ImageLockModeUserInputBuf,
                                                PixelFormat32bppRGB, &data) == Ok;
        if (loaded)
            DllExports::GdipBitmapUnlockBits(bitmap, &data);
        p->aspect = (double)width / (double)height;
    }
    DllExports::GdipDisposeImage(bitmap);
    return loaded;
}

bool LoadMpegPicture(const char *path, ScreenPicture *p)
{
    MediaFile file;
    AVFrame *picture = av_frame_alloc();
    SwsContext *scaler = NULL;
    bool loaded = picture && MediaOpen(&file, path, picture);
    if (loaded) {
        loaded = ConvertPicture(picture, &scaler, p, SIZE{0, 0});
        MediaClose(&file);
    }
    sws_freeContext(scaler);
    av_frame_free(&picture);
    return loaded;
}
