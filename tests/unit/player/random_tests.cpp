// 100,000 random bytes through the LDP interpreter, with two boards and a
// chapter table: no crash, a sound heap, and every byte answered as the
// command tables allow.  Run with Wine's heap checking on.
#include "player_fixture.h"

#include <random>

namespace {

const std::string ACK = "\x0A", NAK = "\x0B", COMPLETION = "\x01", NOT_TARGET = "\x05";

bool IsNumberText(const std::string &answer, size_t length)
{
    if (answer.size() != length)
        return false;
    for (size_t i = 0; i < length; i++) {
        char c = answer[i];
        if (!(c >= '0' && c <= '9') && !(i == 0 && c == '-'))
            return false;
    }
    return true;
}

// What the controller may hear for one byte.  Only whether a number is
// being keyed in, and how long it is, is modelled.
struct EntryModel {
    bool active = false;
    int length = 0;

    bool Allows(unsigned char byte, const std::string &answer)
    {
        if (active) {
            if (byte == LDP_CLEARENTRY) {
                length = length > 0 ? length - 1 : 0;
                return answer == ACK;
            }
            if (byte >= '0' && byte <= '9') {
                if (length >= LDP_ENTRY_SIZE - 1)
                    return answer == NAK;
                length++;
                return answer == ACK;
            }
            if (byte != LDP_ENTER && byte != LDP_CLEARALL)
                return answer == NAK;
            active = false;
        }
        switch (byte) {
        case LDP_SEARCH:
        case LDP_SETSCRMODE:
            active = true;
            length = 1;
            return answer == ACK;
        case LDP_CLEARALL:
            length = 0;
            return answer == ACK;
        case LDP_ENTER:
            return answer == ACK || answer == ACK + COMPLETION || answer == ACK + NOT_TARGET;
        case LDP_SADDRENQ:
            return answer.empty() || IsNumberText(answer, LDP_FRAME_DIGITS);
        case LDP_CHPENQ:
        case LDP_SRCENQ:
            return IsNumberText(answer, LDP_NUMBER_DIGITS);
        case LDP_EJECT: case LDP_STILL: case LDP_FPLAY: case LDP_FSTEP: case LDP_SETCHPMODE:
        case LDP_SETFRMMODE: case LDP_FSLOW: case LDP_STOP: case LDP_REPEAT: case LDP_FFAST:
        case LDP_VIDEOON: case LDP_VIDEOOFF: case LDP_AUDIOON: case LDP_AUDIOOFF: case LDP_MOTORON:
        case LDP_VIDEO_MPEG: case LDP_VIDEO_EXTERNAL:
            return answer == ACK;
        default:
            return answer == NAK;
        }
    }
};

class LdpRandom : public PlayerTest {};

TEST_F(LdpRandom, HundredThousandBytesAllAnswered)
{
    LoadBoards(2);
    MakeChapters("random", 13);
    InterpretLdpCommand(hwnd, "V");
    // Trace lines only: the journal and the reply log would cost a file
    // open per call.
    SetEnvironmentVariableA("TRMPEG_JOURNAL", NULL);
    SetCommCaptureLog(NULL);
    Forget();

    const unsigned seed = 20261207;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> anyByte(0, 255);
    EntryModel model;
    int refused = 0;
    for (int i = 0; i < 100000; i++) {
        unsigned char byte = (unsigned char)anyByte(random);
        std::string answer = Send(std::string(1, (char)byte));
        if (!model.Allows(byte, answer) && refused++ < 10)
            ADD_FAILURE() << "seed " << seed << ", byte " << i << " (0x" << std::hex << (int)byte
                          << ") answered " << ReplyLine(answer);
        if (i % 500 == 0)
            WatchPlayback(hwnd);
    }
    EXPECT_EQ(refused, 0);
    EXPECT_GE(record->currentBoard, 0);
    EXPECT_LT(record->currentBoard, 2);
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, NULL));
    DeleteFileA(events.c_str());
}

}  // namespace
