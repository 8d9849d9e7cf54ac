// The data object that carries archive members out of an archive folder, by the clipboard (copy)
// or by drag and drop. Drop targets get the members as ordinary files (CF_HDROP, "FileName"), as
// virtual files ("FileGroupDescriptor" with "FileContents") and, for a drag, as shell items
// ("Shell IDList Array").
//
// Creation only walks the catalogue, so a drag starts at once: a selected folder becomes itself,
// every folder below it and every member below it, each with its path relative to the source
// folder ("A", "A\SUB", "A\r.txt"), and each member keeps its place in the catalogue read under
// the lock. The first request for files (CF_HDROP, "FileName", the IDList array) decodes the
// members in one pass in file order, each checked at its place, and writes the selection's tree
// into a new folder of the object's own below TempDirectory; CF_HDROP lists the selection's
// top-level items there. "FileContents" is decoded from the archive on each request. The archive
// file is open only while it is read, so it can be renamed or deleted while the object lives.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdint>
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
  // missing folder or item, E_OUTOFMEMORY when the object cannot be made. `threads` decode the
  // copies' members ahead of their writing (0: one per core; 1: none beside the caller's).
  static HRESULT Create(ArchiveFolder* folder, UINT count, LPCITEMIDLIST* items, DWORD mode,
                        REFIID iid, void** out, unsigned threads = 0);

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

  // The copies of the selection's top-level items, in selection order, once a request for files
  // made them (for tests and the transfer benchmark); and the object's own folder holding them.
  const std::vector<std::string>& TemporaryPaths() const { return paths_; }
  const std::string& TemporaryFolder() const { return tempFolder_; }

 private:
  ArchiveDataObject(ArchiveFolder* folder, DWORD mode);
  ~ArchiveDataObject() override;

  // One item of the transfer: a member or a folder, with its header fields (`item.path` is the
  // full path in the archive) and, for a member, its place in the catalogue it was listed from.
  struct Transfer {
    ItemId item;
    std::int32_t index = -1;  // catalogue index of a member; -1 for a folder
    bool top = false;         // one of the selected items
    std::string copy;         // its copy on disk, once made
  };

  // The items of the selection in descriptor order: each selected item, a folder followed by
  // the folders and members below it in file order. Walks the catalogue only.
  void CollectItems(UINT count, LPCITEMIDLIST* items);
  // Makes the copies on the first request that needs them; true when at least one exists.
  bool EnsureCopies();
  // A new Archive of its own on the folder's archive file, with `locked` locked with the file
  // lock (released with Done); null when it cannot be opened or locked.
  Archive* Open(bool locked) const;
  static void Done(Archive* archive);
  // The formats EnumFormatEtc offers, in their order.
  std::vector<FORMATETC> OfferedFormats() const;
  // S_OK when GetData can render `format` (checked as GetData checks it), else its error.
  HRESULT CheckFormat(const FORMATETC& format) const;
  // Renders the format into a new global block.
  HRESULT Render(const FORMATETC& format, HGLOBAL* block);
  HRESULT RenderDropList(HGLOBAL* block) const;
  HRESULT RenderShortName(bool wide, HGLOBAL* block) const;
  HRESULT RenderNameMap(bool wide, HGLOBAL* block) const;
  HRESULT RenderDescriptors(bool wide, HGLOBAL* block) const;
  HRESULT RenderContents(LONG index, HGLOBAL* block) const;
  HRESULT RenderIdListArray(HGLOBAL* block) const;
  // The item's path below the folder the selection came from.
  const char* RelativePath(const ItemId& item) const;

  DWORD connections_ = 0;
  std::vector<Transfer> items_;
  std::vector<std::string> paths_;  // the drop list: copies of the top-level items
  std::string tempFolder_;
  bool copiesTried_ = false;
  std::size_t fileCount_ = 0;
  std::size_t singleFile_ = 0;  // the item of the only member, when fileCount_ is 1
  DWORD mode_;
  unsigned threads_ = 0;
  // Neither the folder nor its archive is held: the archive file stays free to be renamed or
  // deleted while the object is on the clipboard.
  std::string archivePath_;
  std::size_t innerLength_ = 0;
};
