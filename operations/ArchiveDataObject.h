// The data object that carries archive members out of an archive folder, by the clipboard (copy)
// or by drag and drop. Every selected member (a selected folder stands for the file members below
// it) is decoded when the object is made and written to a temporary copy, so that a paste or a
// drop never waits on the archive: drop targets get the copies as ordinary files (CF_HDROP,
// "FileName"), as virtual files ("FileGroupDescriptor" with "FileContents", decoded again on
// request) and, for a drag, as shell items ("Shell IDList Array").
//
// Items whose member cannot be decoded (or written) are left out of every format alike, so the
// drop list, the descriptors, the name maps and the item array always describe the same files.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "namespace/ComObject.h"
#include "namespace/ItemId.h"

class Archive;
class ArchiveFolder;

class ArchiveDataObject
    : public ComObject<ArchiveDataObject, IDataObject, IExternalConnection> {
 public:
  static const InterfaceEntry* InterfaceTable();
  // Mode: 1 for a drag (the folder's GetUIObjectOf), 0 for the clipboard.
  static constexpr DWORD DragMode = 1;
  static constexpr DWORD ClipboardMode = 0;

  // Makes the object for `count` items of `folder` and hands out `iid`. E_INVALIDARG for a
  // missing folder or item, E_OUTOFMEMORY when the object cannot be made.
  static HRESULT Create(ArchiveFolder* folder, UINT count, LPCITEMIDLIST* items, DWORD mode,
                        REFIID iid, void** out);

  // IDataObject
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
  STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
  STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                       DWORD* connection) override;
  STDMETHODIMP DUnadvise(DWORD connection) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override;

  // IExternalConnection
  STDMETHODIMP_(DWORD) AddConnection(DWORD type, DWORD reserved) override;
  STDMETHODIMP_(DWORD) ReleaseConnection(DWORD type, DWORD reserved, BOOL lastReleaseCloses)
      override;

  // The temporary copies, in item order (for tests and the transfer benchmark).
  const std::vector<std::string>& TemporaryPaths() const { return paths_; }

 private:
  ArchiveDataObject(ArchiveFolder* folder, DWORD mode);
  ~ArchiveDataObject() override;

  // The items of the selection, folders expanded to their file members.
  void CollectItems(UINT count, LPCITEMIDLIST* items);
  // Decodes each item into its temporary copy; keeps the items that got one.
  void WriteCopies();
  // The formats EnumFormatEtc offers, in their order.
  std::vector<FORMATETC> OfferedFormats() const;
  // S_OK when GetData can render `format` (checked as GetData checks it), else its error.
  HRESULT CheckFormat(const FORMATETC& format) const;
  // Renders the format into a new global block.
  HRESULT Render(const FORMATETC& format, HGLOBAL* block) const;
  HRESULT RenderDropList(HGLOBAL* block) const;
  HRESULT RenderShortName(bool wide, HGLOBAL* block) const;
  HRESULT RenderNameMap(bool wide, HGLOBAL* block) const;
  HRESULT RenderDescriptors(bool wide, HGLOBAL* block) const;
  HRESULT RenderContents(LONG index, HGLOBAL* block) const;
  HRESULT RenderIdListArray(HGLOBAL* block) const;
  // The item's path below the folder the selection came from.
  const char* RelativePath(const ItemId& item) const;
  // True when the member of the item still is the one the object was made from.
  bool MatchesItem(const ItemId& item, const ArchiveEntry& entry) const;

  DWORD connections_ = 0;
  std::vector<ItemId> items_;
  std::vector<std::string> paths_;  // temporary copy of each item
  DWORD mode_;
  Archive* archive_ = nullptr;
  ArchiveFolder* folder_;
  std::size_t innerLength_ = 0;
};
