// A program that only waits: something for the close run to find and end.
#include <windows.h>

int main() {
  Sleep(INFINITE);
  return 0;
}
