// The exports the shell calls: DllMain, DllGetClassObject and DllCanUnloadNow.
#include <windows.h>
#include <objbase.h>

#include "namespace/ClassFactory.h"
#include "namespace/ClassId.h"
#include "namespace/ModuleState.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LoadModuleState(instance);
  else if (reason == DLL_PROCESS_DETACH) UnloadModuleState();
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(classId, CLSID_Tanuvia)) return CLASS_E_CLASSNOTAVAILABLE;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
  return CreateComObject<ClassFactory>(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ObjectCount() == 0 ? S_OK : S_FALSE; }
