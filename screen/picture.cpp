// The screen pictures that boards show: room for one picture, grown as
// pictures grow (any thread; each picture belongs to one thread at a time).
#include <stdlib.h>

#include "screen/swmpeg.h"

// Larger pictures are refused rather than given hundreds of megabytes.
#define LARGEST_PICTURE_SIDE 4096
#define BYTES_PER_PIXEL 4

bool SizePicture(ScreenPicture *p, int width, int height)
{
    if (width <= 0 || height <= 0 || width > LARGEST_PICTURE_SIDE || height > LARGEST_PICTURE_SIDE)
        return false;
    size_t bytes = (size_t)width * (size_t)height * BYTES_PER_PIXEL;
    if (bytes > p->bytes) {
        uint8_t *grown = static_cast<uint8_t *>(malloc(bytes));
        if (!grown)
            return false;
        free(p->pixels);
        p->pixels = grown;
        p->bytes = bytes;
    }
    p->width = width;
    p->height = height;
    return true;
}

RECT FitRect(const RECT &client, double aspect)
{
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    RECT fit = client;
    if (aspect <= 0 || width <= 0 || height <= 0)
        return fit;
    if (width > height * aspect) {
        int fitted = (int)(height * aspect + 0.5);
        fit.left = client.left + (width - fitted) / 2;
        fit.right = fit.left + fitted;
    } else {
        int fitted = (int)(width / aspect + 0.5);
        fit.top = client.top + (height - fitted) / 2;
        fit.bottom = fit.top + fitted;
    }
    return fit;
}

void FreePicture(ScreenPicture *p)
{
    free(p->pixels);
    p->pixels = NULL;
    p->bytes = 0;
    p->width = 0;
    p->height = 0;
}
