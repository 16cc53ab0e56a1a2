// fail_allocation: a shim preloaded (LD_PRELOAD) into a program to make
// one of its allocations fail.  With VORN_FAIL_ALLOCATION=N the Nth call
// of malloc, calloc or realloc since the shim was loaded returns null
// (ENOMEM); with VORN_COUNT_ALLOCATIONS set, the program's exit writes
// "allocations N" and a line end to standard error.  The end-to-end tests
// use it to fail every allocation of a run in turn.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

// The C library's own allocator, which the shim's functions pass on to.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
}
// NOLINTEND(bugprone-reserved-identifier)

namespace {

unsigned long allocations = 0;
unsigned long failing = 0;
bool loaded = false;

__attribute__((constructor)) void Load() {
  const char* failing_text = std::getenv("VORN_FAIL_ALLOCATION");
  failing = failing_text != nullptr ? std::strtoul(failing_text, nullptr, 10) : 0;
  loaded = true;
}

__attribute__((destructor)) void Unload() {
  if (std::getenv("VORN_COUNT_ALLOCATIONS") == nullptr) return;
  char line[64];
  int size = std::snprintf(line, sizeof line, "allocations %lu\n", allocations);
  if (size > 0) (void)!write(STDERR_FILENO, line, static_cast<std::size_t>(size));
}

// Counts the allocations made since the shim was loaded (the C library's
// own start-up is not counted); true for the one that is to fail.
bool Fails() {
  if (!loaded) return false;
  if (++allocations != failing) return false;
  errno = ENOMEM;
  return true;
}

}  // namespace

// The names of the C library's declarations are reserved ones.
// NOLINTBEGIN(readability-inconsistent-declaration-parameter-name)
extern "C" {
void* malloc(std::size_t size) { return Fails() ? nullptr : __libc_malloc(size); }
void* calloc(std::size_t count, std::size_t size) {
  return Fails() ? nullptr : __libc_calloc(count, size);
}
void* realloc(void* block, std::size_t size) {
  return Fails() ? nullptr : __libc_realloc(block, size);
}
}
// NOLINTEND(readability-inconsistent-declaration-parameter-name)
