/* Starts two commands in turn, many times, and reports for each the median wall time from start
   to end, the spread, and the largest resident set of any process of the run; then the ratio of
   the medians. Alternating keeps both commands under the same machine load.

     launchTimer ROUNDS NAME_A -- COMMAND_A... -- NAME_B -- COMMAND_B...

   Standard input, output and error of the commands are /dev/null. A command that ends with a
   status other than 0 stops the timer with an error, since its time would mean nothing.

   Written in C and linked statically on purpose: a child's peak resident set starts from what its
   parent had mapped when it was started, so the timer must itself stay as small as it can. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

struct command {
    const char* name;
    char** words; /* ends with a null pointer */
    double* milliseconds;
    int runs;
    long peakKilobytes;
};

static double now(void) {
    struct timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return (double)time.tv_sec * 1e3 + (double)time.tv_nsec / 1e6;
}

/* Runs the command once and records its time and peak memory. Returns 0 on failure. */
static int runOnce(struct command* command, const posix_spawn_file_actions_t* actions) {
    const double start = now();
    pid_t child = 0;
    const int error = posix_spawn(&child, command->words[0], actions, NULL, command->words, environ);
    if (error != 0) {
        fprintf(stderr, "launchTimer: cannot start %s: %s\n", command->words[0], strerror(error));
        return 0;
    }
    int status = 0;
    struct rusage usage;
    /* The usage wait4 gives covers the child and every descendant it waited for, so ru_maxrss is
       the largest of all the processes the command started. */
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            return 0;
    }
    command->milliseconds[command->runs++] = now() - start;
    if (usage.ru_maxrss > command->peakKilobytes)
        command->peakKilobytes = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "launchTimer: %s ended with status %d\n", command->name, status);
        return 0;
    }
    return 1;
}

static int compareDoubles(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

/* The value at `fraction` of the sorted times. */
static double percentile(const struct command* command, double fraction) {
    return command->milliseconds[(int)(fraction * (command->runs - 1) + 0.5)];
}

/* Reads "NAME -- WORDS..." up to the next "--" or the end; returns 0 when it is not there. */
static int readCommand(int* index, int argc, char** argv, struct command* command) {
    if (*index + 2 >= argc || strcmp(argv[*index + 1], "--") != 0)
        return 0;
    command->name = argv[*index];
    *index += 2;
    command->words = argv + *index;
    while (*index < argc && strcmp(argv[*index], "--") != 0)
        ++*index;
    if (*index < argc)
        argv[(*index)++] = NULL; /* the separator ends this command's words */
    return command->words[0] != NULL;
}

int main(int argc, char** argv) {
    struct command first = {0}, second = {0};
    int index = 2;
    const int rounds = argc > 1 ? atoi(argv[1]) : 0;
    if (rounds < 1 || !readCommand(&index, argc, argv, &first) ||
        !readCommand(&index, argc, argv, &second)) {
        fprintf(stderr, "usage: launchTimer ROUNDS NAME_A -- COMMAND_A... -- NAME_B -- "
                        "COMMAND_B...\n");
        return 2;
    }
    const int warmUp = rounds / 20 > 3 ? rounds / 20 : 3;
    first.milliseconds = malloc(sizeof(double) * (size_t)(rounds + warmUp));
    second.milliseconds = malloc(sizeof(double) * (size_t)(rounds + warmUp));
    if (first.milliseconds == NULL || second.milliseconds == NULL)
        return 1;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    for (int round = 0; round < warmUp + rounds; ++round) {
        if (!runOnce(&first, &actions) || !runOnce(&second, &actions))
            return 1;
        if (round + 1 == warmUp) {
            /* Warm-up rounds fill the page cache; they are not counted. */
            first.runs = second.runs = 0;
            first.peakKilobytes = second.peakKilobytes = 0;
        }
    }
    posix_spawn_file_actions_destroy(&actions);

    struct command* commands[] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        struct command* command = commands[i];
        qsort(command->milliseconds, (size_t)command->runs, sizeof(double), compareDoubles);
        printf("%-12s median %7.3f ms   p10 %7.3f   p90 %7.3f   peak RSS %6.2f MiB   (%d runs)\n",
               command->name, percentile(command, 0.5), percentile(command, 0.1),
               percentile(command, 0.9), (double)command->peakKilobytes / 1024.0, command->runs);
    }
    printf("ratio %s / %s: %.2f\n", second.name, first.name,
           percentile(&second, 0.5) / percentile(&first, 0.5));
    free(first.milliseconds);
    free(second.milliseconds);
    return 0;
}
