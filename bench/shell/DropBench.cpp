// Dropping files onto an archive's icon against tnlzh's "a" over the same files, both under Wine
// in one run. The drop goes the whole way the shell's drop does: the class factory makes the drop
// handler, IPersistFile::Load names the archive, Drop hands a CF_HDROP list to an add-files job,
// and the job compresses on its worker thread and commits once. DialogDelay is -1, so no dialog.
//
//   drop_bench.exe TNLZH RUNS WORK_DIR NAME...
// Each NAME (a file or a folder inside WORK_DIR) is added to a new empty archive by both; the
// best time of RUNS runs of each is printed with their ratio (drop / tnlzh).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "commands/ArchiveDropTarget.h"
#include "dll/DropTestSupport.h"
#include "namespace/ClassFactory.h"
#include "namespace/ModuleState.h"
#include "namespace/Settings.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool EmptyArchive(const std::string& path) {
  DeleteFileA(path.c_str());
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// One drop onto the archive's icon; seconds until the job is gone, or -1.
double TimeDrop(const std::string& archive, const std::string& source) {
  if (!EmptyArchive(archive)) return -1;
  LONG baseline = ObjectCount();
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  IClassFactory* factory = nullptr;
  IPersistFile* file = nullptr;
  IDropTarget* target = nullptr;
  if (FAILED(CreateComObject<ClassFactory>(IID_IClassFactory, reinterpret_cast<void**>(&factory))))
    return -1;
  HRESULT made =
      factory->CreateInstance(nullptr, IID_IPersistFile, reinterpret_cast<void**>(&file));
  factory->Release();
  if (FAILED(made)) return -1;
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, archive.c_str(), -1, wide, MAX_PATH);
  file->Load(wide, STGM_READ);
  file->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target));
  file->Release();
  auto* data = new droptest::FileDropData({source});
  data->AddRef();
  POINTL point = {0, 0};
  DWORD effect = DROPEFFECT_COPY;
  target->DragEnter(data, MK_LBUTTON, point, &effect);
  effect = DROPEFFECT_COPY;
  HRESULT dropped = target->Drop(data, MK_LBUTTON, point, &effect);
  target->Release();
  data->Release();
  if (dropped != S_OK) return -1;
  if (!droptest::PumpUntil([&] { return ObjectCount() == baseline; }, 3600000)) return -1;
  QueryPerformanceCounter(&end);
  return Seconds(start, end);
}

double TimeTnlzh(const std::string& tnlzh, const std::string& archive, const std::string& folder,
                 const std::string& name) {
  if (!EmptyArchive(archive)) return -1;
  DeleteFileA(archive.c_str());  // tnlzh creates it
  std::string command = "\"" + tnlzh + "\" a \"" + archive + "\" -q -m 5 -h 2 -C \"" + folder +
                        "\" \"" + name + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code == 0 ? Seconds(start, end) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: drop_bench TNLZH RUNS WORK_DIR NAME...\n");
    return 2;
  }
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  LoadModuleState(GetModuleHandleA(nullptr));
  DialogDelay(-1);
  std::string tnlzh = argv[1];
  int runs = std::atoi(argv[2]);
  std::string work = argv[3];
  int status = 0;
  for (int i = 4; i < argc; ++i) {
    std::string name = argv[i];
    double drop = 1e9, cli = 1e9;
    for (int run = 0; run < runs; ++run) {
      double d = TimeDrop(work + "\\drop.lzh", work + "\\" + name);
      double t = TimeTnlzh(tnlzh, work + "\\cli.lzh", work, name);
      if (d < 0 || t < 0) {
        std::fprintf(stderr, "%s: a run failed (drop %.3f, tnlzh %.3f)\n", name.c_str(), d, t);
        status = 1;
        break;
      }
      if (d < drop) drop = d;
      if (t < cli) cli = t;
    }
    if (status) break;
    std::printf("%-24s drop %7.3f s   tnlzh a %7.3f s   ratio %.2f\n", name.c_str(), drop, cli,
                drop / cli);
  }
  UnloadModuleState();
  return status;
}
