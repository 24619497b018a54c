/* The I/O floor of tovi-cli's writing commands: a plain C program that moves
 * the same bytes through the same files in the same way as the folder writer
 * (storage/folder_writer.cpp) and the checked loader, and does nothing else.
 *
 *   io_floor route DIR
 *       reads every file of the set in DIR (base.dat, d1.dat to d4.dat,
 *       tst.bmp, and tst1.bmp when there is one), takes the xxh3 checksum of
 *       each as the load's checks do, and writes them all back into DIR.
 *   io_floor capture OUTDIR REFDIR INPUT...
 *       reads the INPUT files (the screen pictures a capture reads), fills
 *       tables of the sizes of the files in REFDIR (a folder a capture
 *       wrote) in memory, and writes them into OUTDIR.
 *
 * A write is the writer's: the folder's lock (tovi.lock, flock, removed at
 * the end; for route held over the load too), a look for left-over files, every file under name.tovi-new
 * created exclusively, written, fsync'ed and closed, its xxh3 checksum; the
 * folder fsync'ed; the commit record tovi.commit.tovi-new with the sizes and
 * checksums written, fsync'ed and renamed to tovi.commit, the folder
 * fsync'ed; the old files renamed to name.tovi-old, the new ones into place,
 * the folder fsync'ed; the old files removed, the folder fsync'ed, the
 * commit record removed. Prints nothing; exit 1 with a message on failure.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

static const char* const Names[] = {"base.dat", "d1.dat", "d2.dat", "d3.dat", "d4.dat", "tst.bmp", "tst1.bmp"};
enum { Name_count = 7 };

struct part {
    const char* name;
    unsigned char* data;
    size_t size;
    uint64_t sum;
};

static void die(const char* what, const char* path) {
    fprintf(stderr, "io_floor: %s %s: %s\n", what, path, strerror(errno));
    exit(1);
}

static void join(char* out, size_t n, const char* folder, const char* name, const char* suffix) {
    snprintf(out, n, "%s/%s%s", folder, name, suffix);
}

static int exists(const char* path) {
    struct stat st;
    return lstat(path, &st) == 0;
}

static void flush_folder(const char* folder) {
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) die("flush", folder);
    close(fd);
}

static unsigned char* read_all(const char* path, size_t* size) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) die("open", path);
    struct stat st;
    if (fstat(fd, &st) != 0) die("stat", path);
    unsigned char* data = malloc(st.st_size ? (size_t)st.st_size : 1);
    if (!data) die("memory for", path);
    size_t got = 0;
    while (got < (size_t)st.st_size) {
        const ssize_t n = read(fd, data + got, (size_t)st.st_size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) die("read", path);
        got += (size_t)n;
    }
    close(fd);
    *size = got;
    return data;
}

static void write_new(const char* path, const void* data, size_t size) {
    if (unlink(path) != 0 && errno != ENOENT) die("remove", path);
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) die("create", path);
    const char* p = data;
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) die("write", path);
        p += n;
        size -= (size_t)n;
    }
    if (fsync(fd) != 0) die("flush", path);
    if (close(fd) != 0) die("close", path);
}

/* The folder's lock, as the program takes it for a load and for a write. */
static int lock_folder(const char* folder) {
    char path[4096];
    join(path, sizeof path, folder, "tovi.lock", "");
    const int lock = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) die("lock", path);
    return lock;
}

static void unlock_folder(const char* folder, int lock) {
    char path[4096];
    join(path, sizeof path, folder, "tovi.lock", "");
    unlink(path);
    close(lock);
}

/* The caller holds the folder's lock. */
static void folder_write(const char* folder, struct part* parts, int count) {
    char path[4096], temp[4096];
    /* The writer first looks for what an interrupted write left. */
    DIR* d = opendir(folder);
    if (!d) die("open", folder);
    int leftovers = 0;
    for (struct dirent* e; (e = readdir(d));) leftovers += strstr(e->d_name, ".tovi-") != NULL;
    closedir(d);
    (void)leftovers;

    /* 1. Every new file under its temporary name, on the disk. */
    char commit[8192];
    size_t at = (size_t)snprintf(commit, sizeof commit, "tovi commit 1\n");
    for (int i = 0; i < count; ++i) {
        join(temp, sizeof temp, folder, parts[i].name, ".tovi-new");
        write_new(temp, parts[i].data, parts[i].size);
        parts[i].sum = XXH3_64bits(parts[i].data, parts[i].size);
        at += (size_t)snprintf(commit + at, sizeof commit - at, "put %s %zu %016" PRIx64 "\n", parts[i].name,
                               parts[i].size, parts[i].sum);
    }
    flush_folder(folder);

    /* 2. The commit record. */
    at += (size_t)snprintf(commit + at, sizeof commit - at, "end %016" PRIx64 "\n", XXH3_64bits(commit, at));
    char commit_path[4096];
    join(commit_path, sizeof commit_path, folder, "tovi.commit", "");
    join(temp, sizeof temp, folder, "tovi.commit", ".tovi-new");
    write_new(temp, commit, at);
    if (rename(temp, commit_path) != 0) die("rename", temp);
    flush_folder(folder);

    /* 3. The old files aside, the new ones into place. */
    int aside[Name_count] = {0};
    for (int i = 0; i < count; ++i) {
        join(path, sizeof path, folder, parts[i].name, "");
        if (!exists(path)) continue;
        join(temp, sizeof temp, folder, parts[i].name, ".tovi-old");
        if (rename(path, temp) != 0) die("rename", path);
        aside[i] = 1;
    }
    for (int i = 0; i < count; ++i) {
        join(path, sizeof path, folder, parts[i].name, "");
        join(temp, sizeof temp, folder, parts[i].name, ".tovi-new");
        if (rename(temp, path) != 0) die("rename", temp);
    }
    flush_folder(folder);

    /* 4. Tidying. */
    for (int i = 0; i < count; ++i) {
        if (!aside[i]) continue;
        join(temp, sizeof temp, folder, parts[i].name, ".tovi-old");
        if (unlink(temp) != 0) die("remove", temp);
    }
    flush_folder(folder);
    if (unlink(commit_path) != 0) die("remove", commit_path);
}

int main(int argc, char** argv) {
    struct part parts[Name_count];
    int count = 0;
    char path[4096];
    if (argc == 3 && strcmp(argv[1], "route") == 0) {
        const char* dir = argv[2];
        /* One lock over the load and the write: the program takes it twice. */
        const int lock = lock_folder(dir);
        uint64_t seen = 0;
        for (int i = 0; i < Name_count; ++i) {
            join(path, sizeof path, dir, Names[i], "");
            if (!exists(path)) continue;
            parts[count].name = Names[i];
            parts[count].data = read_all(path, &parts[count].size);
            seen ^= XXH3_64bits(parts[count].data, parts[count].size);  /* the load's checks */
            ++count;
        }
        if (seen == 0x5eed) fputc('\n', stderr);  /* keeps the checksums */
        folder_write(dir, parts, count);
        unlock_folder(dir, lock);
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "capture") == 0) {
        const char* out = argv[2];
        const char* ref = argv[3];
        if (mkdir(out, 0755) != 0 && errno != EEXIST) die("make", out);
        uint64_t seen = 0;
        for (int i = 4; i < argc; ++i) {
            size_t size;
            unsigned char* data = read_all(argv[i], &size);
            seen ^= data[size / 2];
            free(data);
        }
        for (int i = 0; i < Name_count; ++i) {
            join(path, sizeof path, ref, Names[i], "");
            struct stat st;
            if (stat(path, &st) != 0) continue;
            parts[count].name = Names[i];
            parts[count].size = (size_t)st.st_size;
            parts[count].data = malloc(parts[count].size ? parts[count].size : 1);
            if (!parts[count].data) die("memory for", path);
            /* The tables as a flood leaves them: every page written. */
            memset(parts[count].data, (int)(0x5a ^ seen ^ (uint64_t)i), parts[count].size);
            ++count;
        }
        if (count == 0) {
            errno = ENOENT;
            die("no files of a set in", ref);
        }
        const int lock = lock_folder(out);
        folder_write(out, parts, count);
        unlock_folder(out, lock);
        return 0;
    }
    fprintf(stderr, "usage: io_floor route DIR | io_floor capture OUTDIR REFDIR INPUT...\n");
    return 2;
}
