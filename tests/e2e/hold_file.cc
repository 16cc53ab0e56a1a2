// hold_file NAME: opens the file NAME for reading and writing without
// sharing it, writes "held" and a line end to standard output, and keeps
// the file open until its standard input ends.  The end-to-end tests use
// it on Windows to make a file that another program has open.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD count = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &count, nullptr);
  char byte;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &count, nullptr) && count > 0) {
  }
  CloseHandle(file);
  return 0;
}
