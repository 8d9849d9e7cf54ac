// The library's single class factory. One class identifier serves every role the shell loads the
// library in, so the object is chosen by the interface asked for, not by the class.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "namespace/ComObject.h"

class ClassFactory : public ComObject<ClassFactory, IClassFactory> {
 public:
  static const InterfaceEntry* InterfaceTable();

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  // The shell may lock the server; the object count alone decides unloading, so this is a no-op.
  STDMETHODIMP LockServer(BOOL lock) override;
};
