// Stands in for an application that open-and-update starts on a member:
//   update_editor MODE FILE MARKER
// MODE "keep" leaves the file alone, "rewrite" writes new contents, "same" writes new contents
// and puts the last-write time back within the same second. MARKER is created when done.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const char* mode = argv[1];
  const char* file = argv[2];
  if (std::strcmp(mode, "keep") != 0) {
    HANDLE handle = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 3;
    FILETIME written = {};
    GetFileTime(handle, nullptr, nullptr, &written);
    const char text[] = "edited by the application";
    DWORD count = 0;
    WriteFile(handle, text, sizeof text - 1, &count, nullptr);
    SetEndOfFile(handle);
    if (std::strcmp(mode, "same") == 0) {
      ULARGE_INTEGER t = {{written.dwLowDateTime, written.dwHighDateTime}};
      t.QuadPart += 5000000;  // half a second later: the same whole second
      FILETIME later = {t.LowPart, t.HighPart};
      SetFileTime(handle, nullptr, nullptr, &later);
    }
    CloseHandle(handle);
  }
  HANDLE marker = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return 0;
}
