/* Preloaded into Wine's loader by wine_retry.sh: it takes the page where
 * Windows' shared user data must go (0x7ffe0000) in the first
 * SHARED_DATA_TAKEN starts (counted in the file SHARED_DATA_COUNT) of the
 * Wine processes whose command line holds SHARED_DATA_WHO, as the kernel's
 * heap does now and then when address randomization is on. The loader then
 * fails as it does then. It acts in the loader's second start only, the
 * one that maps the page (WINELOADERNOEXEC is set there). */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

__attribute__((constructor)) static void take(void) {
    const char *who = getenv("SHARED_DATA_WHO"), *count = getenv("SHARED_DATA_COUNT");
    char line[4096] = "", taken[32] = "";
    if (!getenv("WINELOADERNOEXEC") || !who || !count) return;
    int fd = open("/proc/self/cmdline", O_RDONLY);
    ssize_t n = read(fd, line, sizeof line - 1);
    close(fd);
    for (ssize_t i = 0; i < n; i++) line[i] = line[i] ? line[i] : ' ';
    if (!strstr(line, who)) return;
    fd = open(count, O_RDWR | O_CREAT, 0644);
    flock(fd, LOCK_EX);
    n = read(fd, taken, sizeof taken - 1);
    if (atoi(taken) < atoi(getenv("SHARED_DATA_TAKEN") ? getenv("SHARED_DATA_TAKEN") : "1")) {
        lseek(fd, 0, SEEK_SET);
        dprintf(fd, "%d\n", atoi(taken) + 1);
        mmap((void *)0x7ffe0000, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    }
    close(fd);
}
