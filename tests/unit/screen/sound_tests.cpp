// A file's sound as a screen board decodes it, against FFmpeg's own decode
// of the same file in the boards' format: from the start, from a time in the
// file, and converted from another rate.
#include <gtest/gtest.h>
#include <windows.h>

#include <math.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "screen/sound.h"
#include "tests/unit/drivers/testsupport.h"

namespace {

// Every frame of the sound from the time on.
std::string DecodeAll(const char *name, double seconds, double *first)
{
    AudioFile audio;
    std::string path = StreamPath(name);
    if (!AudioOpen(&audio, path.c_str(), seconds))
        return "";
    *first = audio.firstSeconds;
    std::string pcm;
    std::vector<int16_t> buffer(SOUND_BUFFER_FRAMES * SOUND_CHANNELS);
    while (int frames = AudioRead(&audio, buffer.data(), SOUND_BUFFER_FRAMES))
        pcm.append(reinterpret_cast<const char *>(buffer.data()), (size_t)frames * SOUND_FRAME_BYTES);
    AudioClose(&audio);
    return pcm;
}

int LargestDifference(const std::string &a, const std::string &b)
{
    const int16_t *x = reinterpret_cast<const int16_t *>(a.data());
    const int16_t *y = reinterpret_cast<const int16_t *>(b.data());
    int largest = 0;
    for (size_t i = 0; i < a.size() / 2 && i < b.size() / 2; i++)
        largest = std::max(largest, abs(x[i] - y[i]));
    return largest;
}

TEST(Sound, EveryFrameAsFfmpegDecodesIt)
{
    struct Case {
        const char *name;
        double from;  // seconds after the sound's first frame
    } cases[] = {{"two.mpg", 0}, {"two.mpg", 1.25}, {"tone48k.mpg", 0}};
    for (const Case &c : cases) {
        std::string reference = ReadWholeFile(StreamPath(c.name) + ".pcm");
        ASSERT_GT(reference.size(), (size_t)SOUND_RATE * SOUND_FRAME_BYTES) << c.name;
        double start;
        DecodeAll(c.name, 0, &start);
        double first;
        std::string pcm = DecodeAll(c.name, start + c.from, &first);
        // Frames are left out from the start, to the frame.
        size_t skipped = (size_t)llround(c.from * SOUND_RATE) * SOUND_FRAME_BYTES;
        EXPECT_NEAR(first, start + c.from, 0.5 / SOUND_RATE) << c.name;
        ASSERT_EQ(pcm.size() + skipped, reference.size()) << c.name << " from " << c.from;
        // From the start the samples are FFmpeg's own; from within the file
        // the decoder's filters start afresh and round a sample here and
        // there the other way (one sample late would differ by hundreds).
        if (c.from == 0)
            EXPECT_TRUE(pcm == reference) << c.name;
        EXPECT_LE(LargestDifference(pcm, reference.substr(skipped)), 1) << c.name << " from " << c.from;
    }
    AudioFile none;
    EXPECT_FALSE(AudioOpen(&none, StreamPath("hd.mpg").c_str(), 0)) << "a file without sound";
    EXPECT_FALSE(AudioOpen(&none, StreamPath("missing.mpg").c_str(), 0));
}

}  // namespace
