// Accepting files dropped onto an archive: onto an open archive folder's window, onto a folder
// member inside it, or onto the archive file's icon in an ordinary folder (the shell's drop
// handler, reached through IPersistFile::Load). The drop only hands the file list to an
// add-files job, which compresses on a worker thread of its own.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "archive/PathName.h"
#include "namespace/ComObject.h"

class ArchiveFolder;

class ArchiveDropTarget : public ComObject<ArchiveDropTarget, IDropTarget, IPersistFile> {
 public:
  static const InterfaceEntry* InterfaceTable();
  // The class factory's maker for IID_IPersistFile: a drop handler without a path yet.
  static HRESULT Create(REFIID iid, void** out);
  // The folder's maker: files go under `targetPath` (empty or ending with a backslash) of
  // `folder`'s archive; `owner` is the view's window.
  static HRESULT CreateForFolder(const char* targetPath, ArchiveFolder* folder, HWND owner,
                                 REFIID iid, void** out);

  ArchiveDropTarget(const char* targetPath, ArchiveFolder* folder, HWND owner);

  // IDropTarget
  STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
  STDMETHODIMP DragOver(DWORD keys, POINTL point, DWORD* effect) override;
  STDMETHODIMP DragLeave() override;
  STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

  // IPersist / IPersistFile
  STDMETHODIMP GetClassID(CLSID* classId) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(LPCOLESTR fileName, DWORD mode) override;
  STDMETHODIMP Save(LPCOLESTR fileName, BOOL remember) override;
  STDMETHODIMP SaveCompleted(LPCOLESTR fileName) override;
  STDMETHODIMP GetCurFile(LPOLESTR* fileName) override;

  const char* TargetPath() const { return targetPath_; }

 protected:
  ~ArchiveDropTarget() override;

 private:
  // True when the archive can be written and the data carries a file list that holds something
  // besides the archive itself.
  bool Acceptable(IDataObject* data) const;
  const char* ArchivePath() const;
  // The message for a drop onto an archive that cannot be written.
  void TellNotWritable() const;

  char targetPath_[MaxPath] = "";
  ArchiveFolder* folder_ = nullptr;  // one reference held; none for the drop handler
  HWND owner_ = nullptr;
  bool accepting_ = false;  // what DragEnter found, for DragOver
};

// The effect shown while dragging: move with Shift, else copy, within what the source allows;
// DROPEFFECT_NONE when nothing would be taken.
DWORD DragFeedbackEffect(bool accepting, DWORD keys, DWORD allowed);
