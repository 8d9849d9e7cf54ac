// Shared plumbing of every COM object of the library: the reference count that starts at 0,
// QueryInterface driven by a table of the interfaces the object offers, and the library's object
// count raised by construction and lowered by destruction.
//
//   class Thing : public ComObject<Thing, IShellFolder, IPersistFolder> {
//    public:
//     static const InterfaceEntry* InterfaceTable() {
//       static const InterfaceEntry table[] = {
//           Offer<Thing, IShellFolder>(IID_IShellFolder),
//           Offer<Thing, IPersistFolder>(IID_IPersistFolder),
//           Offer<Thing, IPersistFolder>(IID_IPersist),
//           EndOfInterfaces()};
//       return table;
//     }
//     ...
//   };
//
// IID_IUnknown is always answered, with the first interface of the table.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>
#include <new>

#include "namespace/ModuleState.h"

struct InterfaceEntry {
  const IID* iid;         // null ends the table
  std::ptrdiff_t offset;  // from the object's start to the interface's vtable pointer
};

template <class Object, class Interface>
InterfaceEntry Offer(const IID& iid) {
  // Any properly aligned non-null address works for computing a base class offset.
  alignas(Object) static char probe[sizeof(Object)];
  Object* object = reinterpret_cast<Object*>(probe);
  Interface* face = static_cast<Interface*>(object);
  return InterfaceEntry{&iid, reinterpret_cast<char*>(face) - reinterpret_cast<char*>(object)};
}

inline InterfaceEntry EndOfInterfaces() { return InterfaceEntry{nullptr, 0}; }

template <class Object, class... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() { IncrementObjectCount(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    const InterfaceEntry* table = Object::InterfaceTable();
    char* self = reinterpret_cast<char*>(static_cast<Object*>(this));
    if (IsEqualIID(iid, IID_IUnknown) && table[0].iid) {
      *out = self + table[0].offset;
    } else {
      for (const InterfaceEntry* entry = table; entry->iid; ++entry) {
        if (IsEqualIID(iid, *entry->iid)) {
          *out = self + entry->offset;
          break;
        }
      }
    }
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  // Interlocked: a worker thread (adding files) holds references to objects of the shell's thread.
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }

  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = static_cast<ULONG>(InterlockedDecrement(&references_));
    if (left == 0) delete this;
    return left;
  }

  // References held right now (for tests and diagnostics).
  ULONG References() const { return static_cast<ULONG>(references_); }

 protected:
  virtual ~ComObject() { DecrementObjectCount(); }

 private:
  volatile LONG references_ = 0;
};

// Creates an object and hands out its interface `iid` (which takes the first reference). When the
// object does not offer `iid` it is destroyed again and nothing is left behind.
template <class Object, class... Args>
HRESULT CreateComObject(REFIID iid, void** out, Args&&... args) {
  if (!out) return E_POINTER;
  *out = nullptr;
  Object* object = new (std::nothrow) Object(static_cast<Args&&>(args)...);
  if (!object) return E_OUTOFMEMORY;
  object->AddRef();
  HRESULT result = object->QueryInterface(iid, out);
  object->Release();  // leaves the reference of QueryInterface, or destroys the object
  return result;
}
