#include "namespace/DetailsFolder.h"


const InterfaceEntry* DetailsFolder::InterfaceTable() {
  static const InterfaceEntry table[] = {Offer<DetailsFolder, ItemColumns>(IID_IShellFolder),
                                         Offer<DetailsFolder, ItemColumns>(IID_IShellFolder2),
                                         EndOfInterfaces()};
  return table;
}

DetailsFolder::DetailsFolder(IShellFolder* folder) : folder_(folder) { folder_->AddRef(); }

DetailsFolder::~DetailsFolder() { folder_->Release(); }

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
