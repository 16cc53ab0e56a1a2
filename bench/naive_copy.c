/* The least a whole-file rewrite can cost: read the file whole into a fresh
 * buffer and write that buffer whole.  A reference for bench/compare.sh,
 * not part of vorn.
 *
 *   naive_copy [--fsync | --replace] INPUT OUTPUT
 *
 * Plain: OUTPUT is created or truncated and written.  --fsync: the same,
 * and OUTPUT is flushed to disk before it is closed.  --replace: the bytes
 * go to a new file beside OUTPUT, which is flushed to disk and renamed over
 * OUTPUT, and the folder is flushed too: the whole-or-nothing replacement
 * vorn does, with nothing else. */
#define _POSIX_C_SOURCE 200809L
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int fail(const char* what) {
  perror(what);
  return 1;
}

int main(int argc, char** argv) {
  int sync = argc == 4 && strcmp(argv[1], "--fsync") == 0;
  int replace = argc == 4 && strcmp(argv[1], "--replace") == 0;
  int flagged = sync || replace;
  if (argc != 3 + flagged) {
    fprintf(stderr, "usage: naive_copy [--fsync | --replace] INPUT OUTPUT\n");
    return 2;
  }
  const char* input = argv[1 + flagged];
  const char* output = argv[2 + flagged];

  int in = open(input, O_RDONLY);
  if (in < 0) return fail(input);
  struct stat st;
  if (fstat(in, &st) != 0) return fail(input);
  size_t size = (size_t)st.st_size;
  unsigned char* buffer = malloc(size == 0 ? 1 : size);
  if (buffer == NULL) return fail("malloc");
  size_t done = 0;
  while (done < size) {
    ssize_t got = read(in, buffer + done, size - done);
    if (got < 0) return fail(input);
    if (got == 0) break;
    done += (size_t)got;
  }
  close(in);

  char temp[4096];
  int out;
  if (replace) {
    if (snprintf(temp, sizeof temp, "%s.naive-XXXXXX", output) >= (int)sizeof temp) {
      fprintf(stderr, "naive_copy: name too long\n");
      return 2;
    }
    out = mkstemp(temp);
  } else {
    out = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  }
  if (out < 0) return fail(output);
  for (size_t written = 0; written < done;) {
    ssize_t put = write(out, buffer + written, done - written);
    if (put <= 0) return fail(output);
    written += (size_t)put;
  }
  if ((sync || replace) && fsync(out) != 0) return fail(output);
  if (close(out) != 0) return fail(output);
  if (replace) {
    if (rename(temp, output) != 0) return fail(output);
    char folder_name[4096];
    snprintf(folder_name, sizeof folder_name, "%s", output);
    int folder = open(dirname(folder_name), O_RDONLY);
    if (folder < 0 || fsync(folder) != 0) return fail("folder");
    close(folder);
  }
  free(buffer);
  return 0;
}
