#include "namespace/ClassFactory.h"

#include "commands/ArchiveDropTarget.h"
#include "commands/ArchiveFileExtension.h"
#include "namespace/ArchiveFolder.h"

namespace {

// What the factory can make: the interface the shell asks for and the function that makes the
// object answering it. One line per kind of object.
struct ObjectMaker {
  const IID* iid;
  HRESULT (*make)(REFIID iid, void** out);
};

const ObjectMaker kMakers[] = {
    {&IID_IShellFolder, &ArchiveFolder::Create},
    {&IID_IShellExtInit, &ArchiveFileExtension::Create},
    {&IID_IPersistFile, &ArchiveDropTarget::Create},
    {nullptr, nullptr},
};

}  // namespace

const InterfaceEntry* ClassFactory::InterfaceTable() {
  static const InterfaceEntry table[] = {
      Offer<ClassFactory, IClassFactory>(IID_IClassFactory),
      EndOfInterfaces(),
  };
  return table;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  for (const ObjectMaker* maker = kMakers; maker->iid; ++maker) {
    if (IsEqualIID(iid, *maker->iid)) return maker->make(iid, out);
  }
  return E_NOINTERFACE;  // IID_IUnknown included: the role must be named
}

STDMETHODIMP ClassFactory::LockServer(BOOL) { return S_OK; }
