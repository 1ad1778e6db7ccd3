/* The bytes of the Sony LDP protocol: the commands with their names and the
 * answers.  Plain C, shared by the player, the controller console and the
 * bench's native controller; no thread of its own. */
#ifndef HRX_PLAYER_LDPBYTES_H
#define HRX_PLAYER_LDPBYTES_H

/* Answer bytes. */
#define LDP_ACK 0x0A
#define LDP_NAK 0x0B
#define LDP_COMPLETION 0x01
#define LDP_NOT_TARGET 0x05

/* Command bytes and their names, X(name, byte) for each, in the order the
 * interpreter looks them up. */
#define LDP_COMMANDS(X)      \
    X(EJECT, 0x2A)           \
    X(CLEARALL, 0x56)        \
    X(STILL, 0x4F)           \
    X(FPLAY, 0x3A)           \
    X(FSTEP, 0x2B)           \
    X(SEARCH, 0x43)          \
    X(SETCHPMODE, 0x69)      \
    X(SETFRMMODE, 0x55)      \
    X(ENTER, 0x40)           \
    X(SADDRENQ, 0x60)        \
    X(CHPENQ, 0x76)          \
    X(FSLOW, 0x3C)           \
    X(SETSCRMODE, 0x53)      \
    X(SRCENQ, 0x54)          \
    X(STOP, 0x3F)            \
    X(REPEAT, 0x44)          \
    X(CLEARENTRY, 0x41)      \
    X(FFAST, 0x3B)           \
    X(VIDEOON, 0x27)         \
    X(VIDEOOFF, 0x26)        \
    X(AUDIOON, 0x25)         \
    X(AUDIOOFF, 0x24)        \
    X(MOTORON, 0x62)         \
    X(VIDEO_MPEG, 0x57)      \
    X(VIDEO_EXTERNAL, 0x58)

#define LDP_COMMAND_BYTE(name, byte) LDP_##name = byte,
enum LdpCommandByte { LDP_COMMANDS(LDP_COMMAND_BYTE) };
#undef LDP_COMMAND_BYTE

/* The name of a command byte ("FPLAY"), or null for any other byte. */
static inline const char *LdpCommandName(unsigned char code)
{
#define LDP_COMMAND_CASE(name, byte) \
    case byte:                       \
        return #name;
    switch (code) {
        LDP_COMMANDS(LDP_COMMAND_CASE)
    default:
        return 0;
    }
#undef LDP_COMMAND_CASE
}

#endif
