/* The least a dry run over camera photos must do, spread over THREADS
 * threads: for each file of FOLDER, open it, walk its header segment by
 * segment with 4 KiB reads where a segment ends beyond what was read, stop
 * at SOS, close. Usage: header_floor FOLDER THREADS */
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char** paths;
static int path_count;
static atomic_int next_path;

static void walk(const char* path) {
  unsigned char block[4096];
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return;
  long start = 0;
  ssize_t have = pread(fd, block, sizeof block, 0);
  long at = 2;
  while (have > 0) {
    if (at + 4 > start + have) {
      start = at;
      have = pread(fd, block, sizeof block, start);
      if (have < 4) break;
    }
    const unsigned char* marker = block + (at - start);
    if (marker[0] != 0xFF || marker[1] == 0xDA) break;
    at += 2 + ((marker[2] << 8) | marker[3]);
  }
  close(fd);
}

static void* work(void* unused) {
  (void)unused;
  for (int i; (i = atomic_fetch_add(&next_path, 1)) < path_count;) walk(paths[i]);
  return NULL;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  DIR* folder = opendir(argv[1]);
  if (!folder) return 1;
  struct dirent* entry;
  int capacity = 0;
  while ((entry = readdir(folder)) != NULL) {
    if (entry->d_name[0] == '.') continue;
    if (path_count == capacity) {
      capacity = capacity ? 2 * capacity : 1024;
      paths = realloc(paths, sizeof *paths * (size_t)capacity);
    }
    paths[path_count] = malloc(strlen(argv[1]) + strlen(entry->d_name) + 2);
    sprintf(paths[path_count++], "%s/%s", argv[1], entry->d_name);
  }
  closedir(folder);
  const int threads = atoi(argv[2]);
  pthread_t workers[256];
  for (int i = 0; i < threads && i < 256; ++i) pthread_create(&workers[i], NULL, work, NULL);
  for (int i = 0; i < threads && i < 256; ++i) pthread_join(workers[i], NULL);
  return 0;
}
