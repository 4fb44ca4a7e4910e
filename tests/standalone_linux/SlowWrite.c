/* Loaded into velmorloom by the tests (LD_PRELOAD): every fwrite and write to the file
 * named by VL_SLOW_WRITE_PATH first waits VL_SLOW_WRITE_MS milliseconds, as a disk that
 * stalls does. Other files are written at once. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int isSlowFile(int fd) {
    const char* slow = getenv("VL_SLOW_WRITE_PATH");
    if (!slow || !slow[0] || fd < 0) return 0;
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return 0;
    target[n] = '\0';
    return strcmp(target, slow) == 0;
}

static void stall(int fd) {
    if (!isSlowFile(fd)) return;
    const char* ms = getenv("VL_SLOW_WRITE_MS");
    const long wait = ms ? atol(ms) : 100;
    struct timespec t = {wait / 1000, (wait % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* file) {
    static size_t (*next)(const void*, size_t, size_t, FILE*);
    if (!next) next = (size_t(*)(const void*, size_t, size_t, FILE*))dlsym(RTLD_NEXT, "fwrite");
    stall(fileno(file));
    return next(data, size, count, file);
}

ssize_t write(int fd, const void* data, size_t size) {
    static ssize_t (*next)(int, const void*, size_t);
    if (!next) next = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    stall(fd);
    return next(fd, data, size);
}
