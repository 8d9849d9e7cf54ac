// Stands in for an application that open-and-update starts on a member:
//   update_editor MODE FILE MARKER
// MODE "keep" leaves the file alone, "rewrite" writes new contents, "same" writes new contents
// and puts the last-write time back within the same second, "putback" writes contents of the
// same size and puts the last-write time back exactly, "handoff" passes the file on to a second
// instance of itself and exits at once, the second ("later") rewriting it 3 s afterwards, as
// editors that hand a file to their running instance do. MARKER is created when the file is
// done with, holding the file's path.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

int Edit(const char* mode, const char* file) {
  HANDLE handle = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 3;
  FILETIME written = {};
  GetFileTime(handle, nullptr, nullptr, &written);
  const bool putBack = std::strcmp(mode, "putback") == 0;
  const char* text = putBack ? "ORIGINAL" : "edited by the application";
  DWORD count = 0;
  WriteFile(handle, text, static_cast<DWORD>(std::strlen(text)), &count, nullptr);
  SetEndOfFile(handle);
  if (std::strcmp(mode, "same") == 0) {
    ULARGE_INTEGER t = {{written.dwLowDateTime, written.dwHighDateTime}};
    t.QuadPart += 5000000;  // half a second later: the same whole second
    written = FILETIME{t.LowPart, t.HighPart};
  }
  if (putBack || std::strcmp(mode, "same") == 0) SetFileTime(handle, nullptr, nullptr, &written);
  CloseHandle(handle);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const char* mode = argv[1];
  const char* file = argv[2];
  if (std::strcmp(mode, "handoff") == 0) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string command = std::string("\"") + self + "\" later \"" + file + "\" \"" + argv[3] + "\"";
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
      return 4;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
  }
  if (std::strcmp(mode, "later") == 0) Sleep(3000);
  int result = std::strcmp(mode, "keep") == 0 ? 0 : Edit(mode, file);
  HANDLE marker = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (marker != INVALID_HANDLE_VALUE) {
    DWORD count = 0;
    WriteFile(marker, file, static_cast<DWORD>(std::strlen(file)), &count, nullptr);
    CloseHandle(marker);
  }
  return result;
}
