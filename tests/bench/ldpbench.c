/* Bench: a native Linux show controller on the pty master of the player's
 * line.  Measures reply latency one command at a time and checks that a
 * burst or a line-rate stream of commands is answered exactly once each.
 *
 *   ldpbench latency FD COUNT CHAPTERS   COUNT commands of the mix, timed
 *   ldpbench still FD COUNT              COUNT STILL commands, timed
 *   ldpbench enquiry FD COUNT            COUNT SRCENQ commands, timed: they
 *                                        change nothing a board does
 *   ldpbench native COUNT                the same against a native echo on a
 *                                        pty of its own: the machine's floor
 *   ldpbench burst FD COUNT              COUNT STILL bytes at once
 *   ldpbench paced FD COUNT RATE         COUNT STILL bytes at RATE bytes/s
 *
 * FD is the pty master, inherited from the caller.  The player must be in
 * chapter mode with board 0 selected and no number entry open; CHAPTERS
 * files must be in its chapter table.  Each mode prints one JSON object and
 * ends with 0 when every answer was right.  Times of the slowest answers
 * are given from the start, whose CLOCK_MONOTONIC_RAW reading (the clock of
 * Wine's performance counter) is printed too.  With LDPBENCH_SAMPLES naming
 * a file, the latency modes write every timed command to it, one line each:
 * milliseconds from the start to its write, its latency, its name.
 * Single-threaded. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "player/ldpbytes.h"

#define ANSWER_TIMEOUT_MS 5000
#define QUIET_MS 300
#define SLOWEST_KEPT 10
#define MAX_ANSWER 8
#define MAX_WRONG 20

/* What is timed: a command, by its byte, or any digit of a number. */
enum kind { K_STILL, K_CHPENQ, K_SRCENQ, K_SEARCH, K_DIGIT, K_ENTER, KINDS };
static const unsigned char kind_bytes[KINDS] = {
    LDP_STILL, LDP_CHPENQ, LDP_SRCENQ, LDP_SEARCH, '0', LDP_ENTER};

/* The answers the mix expects: one ACK, and an ENTER's ACK then COMPLETION. */
static const char ack[] = {LDP_ACK};
static const char ack_completion[] = {LDP_ACK, LDP_COMPLETION};

struct sample {
    double ms;    /* write of the byte to arrival of its last answer byte */
    double at_s;  /* when it was sent, seconds from the start */
    int index;
    enum kind kind;
};

/* The command's name; a digit has none of its own. */
static const char *kind_name(enum kind kind)
{
    const char *name = LdpCommandName(kind_bytes[kind]);
    return name ? name : "digit";
}

static double clock_ms(clockid_t clock)
{
    struct timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static double now_ms(void)
{
    return clock_ms(CLOCK_MONOTONIC);
}

static void print_start(double start)
{
    printf("\"start_raw_ms\": %.3f, ", clock_ms(CLOCK_MONOTONIC_RAW) - (now_ms() - start));
}

static int write_byte(int fd, unsigned char byte)
{
    for (;;) {
        ssize_t n = write(fd, &byte, 1);
        if (n == 1)
            return 1;
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return 0;
    }
}

/* Reads exactly count bytes; 0 on time-out or when the line has gone. */
static int read_exact(int fd, unsigned char *buf, size_t count, int timeout_ms)
{
    size_t got = 0;
    double deadline = now_ms() + timeout_ms;
    while (got < count) {
        int left = (int)ceil(deadline - now_ms());
        if (left <= 0)
            return 0;
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0)
            continue;
        ssize_t n = read(fd, buf + got, count - got);
        if (n > 0)
            got += (size_t)n;
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            return 0;
    }
    return 1;
}

/* Reads and counts whatever arrives until the line has been quiet. */
static long drain(int fd, int quiet_ms)
{
    unsigned char buf[4096];
    long total = 0;
    struct pollfd p = {fd, POLLIN, 0};
    while (poll(&p, 1, quiet_ms) > 0) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

static int compare_doubles(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

static int slower_first(const void *a, const void *b)
{
    double x = ((const struct sample *)a)->ms, y = ((const struct sample *)b)->ms;
    return x > y ? -1 : x < y;
}

/* Nearest-rank percentile of sorted values. */
static double percentile(const double *sorted, int count, double p)
{
    int rank = (int)ceil(p * count);
    return sorted[rank < 1 ? 0 : rank - 1];
}

static void print_figures(const char *name, double *values, int count)
{
    qsort(values, (size_t)count, sizeof *values, compare_doubles);
    printf("\"%s\": {\"count\": %d", name, count);
    if (count > 0)
        printf(", \"min_ms\": %.4f, \"median_ms\": %.4f, \"p99_ms\": %.4f, \"max_ms\": %.4f", values[0],
               percentile(values, count, 0.5), percentile(values, count, 0.99), values[count - 1]);
    printf("}");
}

/* -- latency ----------------------------------------------------------------- */

struct latency_run {
    int fd;
    double start;
    struct sample *samples;
    int count;
    int wrong;
    int lost;  /* commands that got no answer at all */
    int chapter;  /* the current chapter; -1 while not known */
};

/* Sends one command and times its answer; 0 when the answer is wrong or
 * missing (expected NULL: any answer of that length will do). */
static int timed(struct latency_run *run, enum kind kind, unsigned char command, const char *expected,
                 size_t answer_len)
{
    unsigned char answer[MAX_ANSWER];
    double start = now_ms();
    if (!write_byte(run->fd, command) || !read_exact(run->fd, answer, answer_len, ANSWER_TIMEOUT_MS)) {
        run->lost++;
        return 0;
    }
    double end = now_ms();
    if (expected && memcmp(answer, expected, answer_len) != 0) {
        run->wrong++;
        return 0;
    }
    struct sample *s = &run->samples[run->count];
    s->ms = end - start;
    s->at_s = (start - run->start) / 1e3;
    s->index = run->count;
    s->kind = kind;
    run->count++;
    return 1;
}

/* Brings the player back to a known state after a wrong answer: CLEARALL
 * ends any entry and selects frame mode and chapter 0, then chapter mode. */
static void resynchronise(struct latency_run *run)
{
    static const unsigned char reset[] = {LDP_CLEARALL, LDP_SETCHPMODE};
    drain(run->fd, QUIET_MS);
    for (size_t i = 0; i < sizeof reset; i++)
        write_byte(run->fd, reset[i]);
    drain(run->fd, QUIET_MS);
    run->chapter = 0;
}

/* SEARCH, the chapter's digits, ENTER: answered ACK per byte, and the ENTER
 * ACK then COMPLETION. */
static int search(struct latency_run *run, int chapter, const char *digits)
{
    if (!timed(run, K_SEARCH, LDP_SEARCH, ack, sizeof ack))
        return 0;
    for (int i = 0; digits[i]; i++)
        if (!timed(run, K_DIGIT, (unsigned char)digits[i], ack, sizeof ack))
            return 0;
    if (!timed(run, K_ENTER, LDP_ENTER, ack_completion, sizeof ack_completion))
        return 0;
    run->chapter = chapter;
    return 1;
}

/* The mix's CHAPTERS for a run of SRCENQ alone. */
#define ENQUIRIES_ONLY (-1)

static int one_of_the_mix(struct latency_run *run, int room, int chapters)
{
    if (chapters == ENQUIRIES_ONLY)
        return timed(run, K_SRCENQ, LDP_SRCENQ, "00", 2);
    if (chapters == 0)
        return timed(run, K_STILL, LDP_STILL, ack, sizeof ack);
    int chapter = rand() % chapters;
    char digits[16], current[16];
    int search_length = snprintf(digits, sizeof digits, "%d", chapter) + 2;
    snprintf(current, sizeof current, "%2.2d", run->chapter);
    switch (rand() % 4) {
    case 0:
        return timed(run, K_STILL, LDP_STILL, ack, sizeof ack);
    case 1:
        /* The chapter as two digits, cut to its first two. */
        return timed(run, K_CHPENQ, LDP_CHPENQ, run->chapter >= 0 ? current : NULL, 2);
    case 2:
        return timed(run, K_SRCENQ, LDP_SRCENQ, "00", 2);
    default:
        /* A search never straddles the end of the run: an entry left open
         * would make the next measurement's STILL answer NAK. */
        return search_length <= room ? search(run, chapter, digits)
                                     : timed(run, K_STILL, LDP_STILL, ack, sizeof ack);
    }
}

static void print_slowest(struct sample *samples, int count)
{
    qsort(samples, (size_t)count, sizeof *samples, slower_first);
    printf("\"slowest\": [");
    for (int i = 0; i < count && i < SLOWEST_KEPT; i++) {
        const struct sample *s = &samples[i];
        printf("%s{\"command\": \"%s\", \"ms\": %.4f, \"index\": %d, \"at_s\": %.3f}", i ? ", " : "",
               kind_name(s->kind), s->ms, s->index, s->at_s);
    }
    printf("]");
}

static void write_samples(const struct sample *samples, int count)
{
    const char *path = getenv("LDPBENCH_SAMPLES");
    FILE *file = path && path[0] ? fopen(path, "w") : NULL;
    if (!file)
        return;
    for (int i = 0; i < count; i++)
        fprintf(file, "%.4f %.4f %s\n", samples[i].at_s * 1e3, samples[i].ms, kind_name(samples[i].kind));
    fclose(file);
}

static int latency(int fd, int count, int chapters)
{
    struct latency_run run = {fd, 0, calloc((size_t)count, sizeof(struct sample)), 0, 0, 0, -1};
    double *values = calloc((size_t)count, sizeof(double));
    if (!run.samples || !values || chapters < ENQUIRIES_ONLY)
        return 2;
    srand(12345);
    drain(fd, QUIET_MS);
    run.start = now_ms();
    while (run.count < count && run.lost == 0 && run.wrong < MAX_WRONG) {
        if (!one_of_the_mix(&run, count - run.count, chapters) && run.lost == 0)
            resynchronise(&run);
    }
    double seconds = (now_ms() - run.start) / 1e3;
    write_samples(run.samples, run.count);

    printf("{\"wrong\": %d, \"lost\": %d, \"seconds\": %.3f, ", run.wrong, run.lost, seconds);
    print_start(run.start);
    for (int i = 0; i < run.count; i++)
        values[i] = run.samples[i].ms;
    print_figures("all", values, run.count);
    printf(", \"by_command\": {");
    for (int k = 0; k < KINDS; k++) {
        int n = 0;
        for (int i = 0; i < run.count; i++)
            if (run.samples[i].kind == (enum kind)k)
                values[n++] = run.samples[i].ms;
        if (k)
            printf(", ");
        print_figures(kind_name((enum kind)k), values, n);
    }
    printf("}, ");
    print_slowest(run.samples, run.count);
    printf("}\n");
    free(values);
    free(run.samples);
    return run.wrong || run.lost ? 1 : 0;
}

/* -- burst and paced streams ------------------------------------------------- */

/* Waits at most ms for answers; true when some can be read. */
static int wait_for_answers(int fd, double ms)
{
    if (ms < 0)
        ms = 0;
    struct timespec ts = {(time_t)(ms / 1e3), (long)(fmod(ms, 1e3) * 1e6)};
    struct pollfd p = {fd, POLLIN, 0};
    return ppoll(&p, 1, &ts, NULL) > 0;
}

/* Writes count STILL bytes, at rate bytes a second (0: as fast as the line
 * takes them), while reading the answers; every answer must be one ACK.
 * The i-th ACK answers the i-th byte, which gives each byte's lag. */
static int stream(int fd, int count, double rate)
{
    double *sent_at = calloc((size_t)count, sizeof(double));
    double *lag = calloc((size_t)count, sizeof(double));
    struct sample *samples = calloc((size_t)count, sizeof(struct sample));
    unsigned char buf[4096];
    int sent = 0, acks = 0, others = 0, stalled = 0;
    if (!sent_at || !lag || !samples)
        return 2;
    drain(fd, QUIET_MS);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    double start = now_ms(), last_answer = start;
    while (acks + others < count) {
        double t = now_ms();
        int due = rate > 0 ? (int)((t - start) * rate / 1e3) + 1 : count;
        if (due > count)
            due = count;
        if (sent < due) {
            int chunk = due - sent < (int)sizeof buf ? due - sent : (int)sizeof buf;
            memset(buf, LDP_STILL, (size_t)chunk);
            ssize_t n = write(fd, buf, (size_t)chunk);
            for (ssize_t i = 0; i < n; i++)
                sent_at[sent + i] = t;
            if (n > 0)
                sent += (int)n;
        }
        double next_send = rate > 0 && sent < count ? start + sent * 1e3 / rate : now_ms() + 1;
        if (wait_for_answers(fd, next_send - now_ms())) {
            ssize_t n = read(fd, buf, sizeof buf);
            double arrived = now_ms();
            for (ssize_t i = 0; i < n; i++) {
                if (buf[i] == LDP_ACK && acks < sent) {
                    lag[acks] = arrived - sent_at[acks];
                    samples[acks] = (struct sample){lag[acks], (sent_at[acks] - start) / 1e3, acks, K_STILL};
                    acks++;
                } else {
                    others++;
                }
            }
            if (n > 0)
                last_answer = arrived;
        }
        if (now_ms() - last_answer > ANSWER_TIMEOUT_MS) {
            stalled = 1;
            break;
        }
    }
    double drained_s = (last_answer - start) / 1e3;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    /* Anything more would be an answer given twice. */
    others += (int)drain(fd, QUIET_MS);
    printf("{\"sent\": %d, \"acks\": %d, \"others\": %d, \"stalled\": %d, \"seconds\": %.3f, ", sent, acks,
           others, stalled, drained_s);
    print_start(start);
    print_figures("lag", lag, acks);
    printf(", ");
    print_slowest(samples, acks);
    printf("}\n");
    free(samples);
    free(lag);
    free(sent_at);
    return acks == count && others == 0 ? 0 : 1;
}

/* -- the machine's floor -------------------------------------------------------- */

static int open_raw_pty(int *slave)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    *slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    if (*slave < 0)
        return -1;
    struct termios raw;
    for (int i = 0; i < 2; i++) {
        int fd = i ? *slave : master;
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    return master;
}

/* A child process answers every byte with an ACK at once, the least any
 * player could do on this machine's ptys. */
static int native(int count)
{
    int slave;
    int master = open_raw_pty(&slave);
    if (master < 0) {
        perror("pty");
        return 2;
    }
    pid_t child = fork();
    if (child == 0) {
        unsigned char buf[4096];
        ssize_t n;
        close(master);
        while ((n = read(slave, buf, sizeof buf)) > 0) {
            memset(buf, LDP_ACK, (size_t)n);
            if (write(slave, buf, (size_t)n) != n)
                break;
        }
        _exit(0);
    }
    close(slave);
    int result = latency(master, count, 0);
    kill(child, SIGTERM);
    waitpid(child, NULL, 0);
    close(master);
    return result;
}

int main(int argc, char **argv)
{
    if (argc == 5 && strcmp(argv[1], "latency") == 0)
        return latency(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]));
    if (argc == 4 && strcmp(argv[1], "still") == 0)
        return latency(atoi(argv[2]), atoi(argv[3]), 0);
    if (argc == 4 && strcmp(argv[1], "enquiry") == 0)
        return latency(atoi(argv[2]), atoi(argv[3]), ENQUIRIES_ONLY);
    if (argc == 3 && strcmp(argv[1], "native") == 0)
        return native(atoi(argv[2]));
    if (argc == 4 && strcmp(argv[1], "burst") == 0)
        return stream(atoi(argv[2]), atoi(argv[3]), 0);
    if (argc == 5 && strcmp(argv[1], "paced") == 0)
        return stream(atoi(argv[2]), atoi(argv[3]), atof(argv[4]));
    fprintf(stderr, "usage: ldpbench latency FD COUNT CHAPTERS | still FD COUNT | enquiry FD COUNT | native COUNT | "
                    "burst FD COUNT | paced FD COUNT RATE\n");
    return 2;
}
