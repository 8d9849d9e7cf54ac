// The exports the shell calls: DllMain, DllGetClassObject and DllCanUnloadNow.
//
// DllMain runs under the system's loader lock, where calling into another library (OLE, the
// registry, SHELL32, USER32's clipboard formats) can deadlock the host: it does only the kernel's
// half of the process-wide state. The rest is set up by the first DllGetClassObject, since every
// object the shell gets from the library starts there, and released again when DllCanUnloadNow
// finds nothing alive.
#include <windows.h>
#include <objbase.h>

#include "namespace/ClassFactory.h"
#include "namespace/ClassId.h"
#include "namespace/ModuleState.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    AttachModuleState(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    // A non-null `reserved` means the process is ending rather than the library being freed.
    DetachModuleState(reserved != nullptr);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(classId, CLSID_Tanuvia)) return CLASS_E_CLASSNOTAVAILABLE;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
  // Held until the factory is counted, so DllCanUnloadNow on another thread cannot release the
  // state between the two.
  ModuleStateUse use;
  return CreateComObject<ClassFactory>(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ReleaseUnusedModuleState() ? S_OK : S_FALSE; }
