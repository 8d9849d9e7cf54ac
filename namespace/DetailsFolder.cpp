#include "namespace/DetailsFolder.h"

#include "namespace/ItemId.h"
#include "namespace/ViewCallback.h"

const InterfaceEntry* DetailsFolder::InterfaceTable() {
  static const InterfaceEntry table[] = {Offer<DetailsFolder, IShellFolder2>(IID_IShellFolder),
                                         Offer<DetailsFolder, IShellFolder2>(IID_IShellFolder2),
                                         EndOfInterfaces()};
  return table;
}

DetailsFolder::DetailsFolder(IShellFolder* folder) : folder_(folder) { folder_->AddRef(); }

DetailsFolder::~DetailsFolder() { folder_->Release(); }

STDMETHODIMP DetailsFolder::QueryInterface(REFIID iid, void** out) {
  HRESULT own = ComObject::QueryInterface(iid, out);
  if (own != E_NOINTERFACE) return own;
  return folder_->QueryInterface(iid, out);
}

STDMETHODIMP DetailsFolder::ParseDisplayName(HWND owner, LPBC context, LPOLESTR name,
                                             ULONG* eaten, LPITEMIDLIST* list,
                                             ULONG* attributes) {
  return folder_->ParseDisplayName(owner, context, name, eaten, list, attributes);
}
STDMETHODIMP DetailsFolder::EnumObjects(HWND owner, SHCONTF flags, IEnumIDList** out) {
  return folder_->EnumObjects(owner, flags, out);
}
STDMETHODIMP DetailsFolder::BindToObject(LPCITEMIDLIST list, LPBC context, REFIID iid,
                                         void** out) {
  return folder_->BindToObject(list, context, iid, out);
}
STDMETHODIMP DetailsFolder::BindToStorage(LPCITEMIDLIST list, LPBC context, REFIID iid,
                                          void** out) {
  return folder_->BindToStorage(list, context, iid, out);
}
STDMETHODIMP DetailsFolder::CompareIDs(LPARAM column, LPCITEMIDLIST first,
                                       LPCITEMIDLIST second) {
  return folder_->CompareIDs(column, first, second);
}
STDMETHODIMP DetailsFolder::CreateViewObject(HWND owner, REFIID iid, void** out) {
  return folder_->CreateViewObject(owner, iid, out);
}
STDMETHODIMP DetailsFolder::GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* mask) {
  return folder_->GetAttributesOf(count, items, mask);
}
STDMETHODIMP DetailsFolder::GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* items,
                                          REFIID iid, UINT* reserved, void** out) {
  return folder_->GetUIObjectOf(owner, count, items, iid, reserved, out);
}
STDMETHODIMP DetailsFolder::GetDisplayNameOf(LPCITEMIDLIST item, SHGDNF flags, STRRET* name) {
  return folder_->GetDisplayNameOf(item, flags, name);
}
STDMETHODIMP DetailsFolder::SetNameOf(HWND owner, LPCITEMIDLIST item, LPCOLESTR name,
                                      SHGDNF flags, LPITEMIDLIST* newItem) {
  return folder_->SetNameOf(owner, item, name, flags, newItem);
}

STDMETHODIMP DetailsFolder::GetDefaultSearchGUID(GUID*) { return E_NOTIMPL; }
STDMETHODIMP DetailsFolder::EnumSearches(IEnumExtraSearch** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP DetailsFolder::GetDefaultColumn(DWORD, ULONG* sort, ULONG* display) {
  // Sorted and shown by name.
  if (sort) *sort = 0;
  if (display) *display = 0;
  return S_OK;
}
STDMETHODIMP DetailsFolder::GetDefaultColumnState(UINT column, SHCOLSTATEF* state) {
  if (!state) return E_POINTER;
  if (column >= static_cast<UINT>(ViewColumnCount)) return E_INVALIDARG;
  // Every column is shown and sorted through the folder's own comparison, so all count as text.
  *state = SHCOLSTATE_ONBYDEFAULT | SHCOLSTATE_TYPE_STR;
  return S_OK;
}
STDMETHODIMP DetailsFolder::GetDetailsEx(LPCITEMIDLIST list, const SHCOLUMNID* column,
                                         VARIANT* value) {
  // The exact size of a file item (the storage property set's size), which the size column only
  // shows rounded; no other property is offered.
  static const FMTID Storage = {0xB725F130, 0x47EF, 0x101A,
                                {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};
  constexpr DWORD StorageSize = 12;
  if (!column || !value) return E_POINTER;
  const ItemId* item = AsItemId(list);
  if (!item || IsFolderItem(*item) || column->pid != StorageSize ||
      !IsEqualGUID(column->fmtid, Storage))
    return E_NOTIMPL;
  VariantInit(value);
  value->vt = VT_UI8;
  value->ullVal = item->originalSize;
  return S_OK;
}
STDMETHODIMP DetailsFolder::GetDetailsOf(LPCITEMIDLIST item, UINT column,
                                         SHELLDETAILS* details) {
  if (!details) return E_POINTER;
  DETAILSINFO request = {};
  request.pidl = item;
  HRESULT result = ViewCallback(nullptr, this, nullptr, SFVM_GETDETAILSOF, column,
                                reinterpret_cast<LPARAM>(&request));
  if (FAILED(result)) return result;
  details->fmt = request.fmt;
  details->cxChar = request.cxChar;
  details->str = request.str;
  return S_OK;
}
STDMETHODIMP DetailsFolder::MapColumnToSCID(UINT, SHCOLUMNID*) { return E_NOTIMPL; }
