#include "namespace/ItemIcon.h"

#include <shellapi.h>

#include <cstring>

#include "archive/Archive.h"
#include "archive/PathName.h"
#include "namespace/IconFromMemberImage.h"
#include "namespace/ModuleState.h"

namespace {

constexpr UINT FileTypeIconFlags = SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | SHGFI_SHELLICONSIZE;

// Copies at most size - 1 bytes and terminates; nothing for a zero size.
void CopyOut(char* out, UINT size, const char* text) {
  if (!out || size == 0) return;
  CopyCut(out, size, text, std::strlen(text));
}

void CopyOut(wchar_t* out, UINT size, const char* text) {
  if (!out || size == 0) return;
  wchar_t wide[MAX_PATH];
  if (MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, text, -1, wide, MAX_PATH) == 0) wide[0] = 0;
  wide[MAX_PATH - 1] = L'\0';
  lstrcpynW(out, wide, static_cast<int>(size));
}

// Large and small icon of a file type, by the name alone.
HRESULT TypeIconA(const char* location, UINT index, HICON* large, HICON* small) {
  UINT flags = FileTypeIconFlags | ((index & 1) ? SHGFI_OPENICON : 0);
  SHFILEINFOA info = {};
  if (!SHGetFileInfoA(location, 0, &info, sizeof info, flags)) return E_UNEXPECTED;
  if (large) *large = info.hIcon;
  else DestroyIcon(info.hIcon);
  if (small) {
    info = SHFILEINFOA();
    *small = SHGetFileInfoA(location, 0, &info, sizeof info, flags | SHGFI_SMALLICON)
                 ? info.hIcon
                 : nullptr;
  }
  return S_OK;
}

HRESULT TypeIconW(const wchar_t* location, UINT index, HICON* large, HICON* small) {
  UINT flags = FileTypeIconFlags | ((index & 1) ? SHGFI_OPENICON : 0);
  SHFILEINFOW info = {};
  if (!ShGetFileInfoW(location, 0, &info, sizeof info, flags)) return E_UNEXPECTED;
  if (large) *large = info.hIcon;
  else DestroyIcon(info.hIcon);
  if (small) {
    info = SHFILEINFOW();
    *small = ShGetFileInfoW(location, 0, &info, sizeof info, flags | SHGFI_SMALLICON)
                 ? info.hIcon
                 : nullptr;
  }
  return S_OK;
}

}  // namespace

const InterfaceEntry* ItemIcon::InterfaceTable() {
  static const InterfaceEntry table[] = {Offer<ItemIcon, IExtractIconA>(IID_IExtractIconA),
                                         Offer<ItemIcon, IExtractIconW>(IID_IExtractIconW),
                                         EndOfInterfaces()};
  return table;
}

ItemIcon::ItemIcon(const ItemId& item, Archive* archive) : archive_(archive), item_(item) {
  if (archive_) archive_->Retain();
  // The extension of the name part: a dot in a folder name does not make a file an icon file.
  const char* extension = PathExtension(PathNamePart(item_.path));
  if (extension) {
    CopyOut(extension_, sizeof extension_, extension);
    CharUpperA(extension_);
  }
}

ItemIcon::~ItemIcon() {
  if (archive_) archive_->Release();
}

bool ItemIcon::IsIconFile() const { return std::strcmp(extension_, ".ICO") == 0; }

HRESULT CreateItemIcon(LPCITEMIDLIST item, Archive* archive, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const ItemId* facts = AsItemId(item);
  if (!facts) return E_INVALIDARG;
  return CreateComObject<ItemIcon>(iid, out, *facts, archive);
}

STDMETHODIMP ItemIcon::GetIconLocation(UINT flags, LPSTR location, UINT size, int* index,
                                       UINT* resultFlags) {
  if (!location || !index || !resultFlags) return E_INVALIDARG;
  if (IsFolderItem(item_)) {
    char module[MAX_PATH] = "";
    GetModuleFileNameA(ModuleInstance, module, sizeof module);
    CopyOut(location, size, module);
    *index = -((flags & GIL_OPENICON) ? OpenFolderIconResource : FolderIconResource);
    *resultFlags = GIL_PERINSTANCE;
    return S_OK;
  }
  char name[MAX_PATH];
  CopyOut(name, sizeof name, PathNamePart(item_.path));
  CharUpperA(name);
  CopyOut(location, size, name);
  *index = (flags & GIL_OPENICON) ? 1 : 0;
  *resultFlags = IsIconFile() ? (GIL_PERINSTANCE | GIL_NOTFILENAME)
                              : (GIL_PERCLASS | GIL_NOTFILENAME);
  return S_OK;
}

STDMETHODIMP ItemIcon::GetIconLocation(UINT flags, LPWSTR location, UINT size, int* index,
                                       UINT* resultFlags) {
  if (!location || !index || !resultFlags) return E_INVALIDARG;
  if (IsFolderItem(item_) && IsWindowsNT) {
    location[0] = L'\0';
    if (size) {
      DWORD length = GetModuleFileNameW(ModuleInstance, location, size);
      if (length >= size) location[size - 1] = L'\0';
    }
    *index = -((flags & GIL_OPENICON) ? OpenFolderIconResource : FolderIconResource);
    *resultFlags = GIL_PERINSTANCE;
    return S_OK;
  }
  char narrow[MAX_PATH];
  HRESULT result = GetIconLocation(flags, narrow, sizeof narrow, index, resultFlags);
  if (SUCCEEDED(result)) CopyOut(location, size, narrow);
  return result;
}

HRESULT ItemIcon::ExtractFolder(UINT index, HICON* large, HICON* small, UINT sizes) const {
  int largeSize = LOWORD(sizes);
  int smallSize = HIWORD(sizes);
  // The location hands out the negated resource number; a plain one is taken as it is.
  int number = static_cast<int>(index);
  LPCSTR resource = MAKEINTRESOURCEA(LOWORD(number < 0 ? -number : number));
  // An icon the module does not carry comes back null; the shell then draws its own.
  if (large)
    *large = static_cast<HICON>(LoadImageA(ModuleInstance, resource, IMAGE_ICON, largeSize,
                                           largeSize, LR_DEFAULTCOLOR));
  if (small)
    *small = static_cast<HICON>(LoadImageA(ModuleInstance, resource, IMAGE_ICON, smallSize,
                                           smallSize, LR_DEFAULTCOLOR));
  return S_OK;
}

STDMETHODIMP ItemIcon::Extract(LPCSTR location, UINT index, HICON* large, HICON* small,
                               UINT sizes) {
  if (IsFolderItem(item_)) return ExtractFolder(index, large, small, sizes);
  if (IsIconFile()) {
    if (!archive_) return E_UNEXPECTED;
    return IconFromMemberImage(*archive_, item_.path, large, small);
  }
  if (!location) return E_INVALIDARG;
  return TypeIconA(location, index, large, small);
}

STDMETHODIMP ItemIcon::Extract(LPCWSTR location, UINT index, HICON* large, HICON* small,
                               UINT sizes) {
  if (IsFolderItem(item_) || IsIconFile()) {
    return Extract(static_cast<LPCSTR>(nullptr), index, large, small, sizes);
  }
  if (!location) return E_INVALIDARG;
  if (IsWindowsNT && ShGetFileInfoW) return TypeIconW(location, index, large, small);
  char narrow[MAX_PATH] = "";
  WideCharToMultiByte(CP_OEMCP, 0, location, -1, narrow, sizeof narrow, nullptr, nullptr);
  narrow[sizeof narrow - 1] = '\0';
  return TypeIconA(narrow, index, large, small);
}
