/* The least a whole-file rewrite can cost: read the file whole into a fresh
 * buffer and write that buffer whole to a new file.  A reference for
 * bench/compare.sh, not part of vorn.
 *
 *   naive_copy [--fsync] INPUT OUTPUT
 *
 * With --fsync the output is flushed to disk before it is closed, as vorn
 * flushes its own output. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int fail(const char *what) {
  perror(what);
  return 1;
}

int main(int argc, char **argv) {
  int sync = argc == 4 && strcmp(argv[1], "--fsync") == 0;
  if (argc != 3 + sync) {
    fprintf(stderr, "usage: naive_copy [--fsync] INPUT OUTPUT\n");
    return 2;
  }
  const char *input = argv[1 + sync];
  const char *output = argv[2 + sync];

  int in = open(input, O_RDONLY);
  if (in < 0) return fail(input);
  struct stat st;
  if (fstat(in, &st) != 0) return fail(input);
  size_t size = (size_t)st.st_size;
  unsigned char *buffer = malloc(size == 0 ? 1 : size);
  if (buffer == NULL) return fail("malloc");
  size_t done = 0;
  while (done < size) {
    ssize_t got = read(in, buffer + done, size - done);
    if (got < 0) return fail(input);
    if (got == 0) break;
    done += (size_t)got;
  }
  close(in);

  int out = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (out < 0) return fail(output);
  for (size_t written = 0; written < done;) {
    ssize_t put = write(out, buffer + written, done - written);
    if (put <= 0) return fail(output);
    written += (size_t)put;
  }
  if (sync && fsync(out) != 0) return fail(output);
  if (close(out) != 0) return fail(output);
  free(buffer);
  return 0;
}
