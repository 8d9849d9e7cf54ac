#include "commands/ArchiveDropTarget.h"

#include <cstring>

#include "archive/NoCase.h"
#include "archive/StringList.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ResourceText.h"
#include "namespace/WideName.h"
#include "operations/AddFilesJob.h"
#include "operations/DropList.h"
#include "resources/resource.h"

namespace {

FORMATETC FileListFormat() {
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  return format;
}

}  // namespace

DWORD DragFeedbackEffect(bool accepting, DWORD keys, DWORD allowed) {
  if (!accepting) return DROPEFFECT_NONE;
  DWORD wanted = (keys & MK_SHIFT) ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
  if (allowed & wanted) return wanted;
  if (allowed & DROPEFFECT_COPY) return DROPEFFECT_COPY;
  return DROPEFFECT_NONE;
}

const InterfaceEntry* ArchiveDropTarget::InterfaceTable() {
  static const InterfaceEntry table[] = {
      Offer<ArchiveDropTarget, IDropTarget>(IID_IDropTarget),
      Offer<ArchiveDropTarget, IPersistFile>(IID_IPersistFile),
      EndOfInterfaces(),
  };
  return table;
}

HRESULT ArchiveDropTarget::Create(REFIID iid, void** out) {
  return CreateComObject<ArchiveDropTarget>(iid, out, static_cast<const char*>(nullptr),
                                            static_cast<ArchiveFolder*>(nullptr), HWND{});
}

HRESULT ArchiveDropTarget::CreateForFolder(const char* targetPath, ArchiveFolder* folder,
                                           HWND owner, REFIID iid, void** out) {
  if (!folder || !targetPath || std::strlen(targetPath) >= MaxPath) {
    if (out) *out = nullptr;
    return E_INVALIDARG;
  }
  return CreateComObject<ArchiveDropTarget>(iid, out, targetPath, folder, owner);
}

ArchiveDropTarget::ArchiveDropTarget(const char* targetPath, ArchiveFolder* folder, HWND owner)
    : folder_(folder), owner_(owner) {
  if (targetPath) lstrcpynA(targetPath_, targetPath, sizeof targetPath_);
  if (folder_) folder_->AddRef();
}

ArchiveDropTarget::~ArchiveDropTarget() {
  if (folder_) folder_->Release();
}

const char* ArchiveDropTarget::ArchivePath() const {
  return folder_ ? folder_->archivePath : targetPath_;
}

bool ArchiveDropTarget::Acceptable(IDataObject* data) const {
  if (!data || !ArchivePath()[0]) return false;
  // The drop handler's archive must be a file that is still there, and every archive one that can
  // be written: a drop that could only end in "not written" is refused while dragging.
  DWORD attributes = GetFileAttributesA(ArchivePath());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      !ArchiveWritable(ArchivePath()))
    return false;
  FORMATETC format = FileListFormat();
  STGMEDIUM medium = {};
  if (FAILED(data->GetData(&format, &medium))) return false;
  bool other = false;
  StringList paths;
  if (medium.tymed == TYMED_HGLOBAL && ReadDropList(medium.hGlobal, paths)) {
    for (std::uint32_t i = 0; i < paths.Count() && !other; ++i) {
      const char* path = nullptr;
      paths.Get(i, &path, nullptr, nullptr);
      other = CompareNoCase(path, ArchivePath()) != 0;
    }
  }
  ReleaseStgMedium(&medium);
  return other;
}

STDMETHODIMP ArchiveDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL,
                                          DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  accepting_ = Acceptable(data);
  *effect = DragFeedbackEffect(accepting_, keys, *effect);
  return S_OK;
}

STDMETHODIMP ArchiveDropTarget::DragOver(DWORD keys, POINTL, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  *effect = DragFeedbackEffect(accepting_, keys, *effect);
  return S_OK;
}

STDMETHODIMP ArchiveDropTarget::DragLeave() {
  accepting_ = false;
  return S_OK;
}

STDMETHODIMP ArchiveDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  DWORD allowed = *effect;
  *effect = DROPEFFECT_NONE;
  accepting_ = false;
  if (!data) return E_INVALIDARG;
  FORMATETC format = FileListFormat();
  STGMEDIUM medium = {};
  if (FAILED(data->GetData(&format, &medium))) return S_FALSE;
  HRESULT result = S_FALSE;
  const DWORD attributes = GetFileAttributesA(ArchivePath());
  if (ArchivePath()[0] && attributes != INVALID_FILE_ATTRIBUTES &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY) && !ArchiveWritable(ArchivePath())) {
    // Dropped although the cursor said no: say why nothing is added.
    TellNotWritable();
  } else if (medium.tymed == TYMED_HGLOBAL && Acceptable(data)) {
    AddFilesJob* job = AddFilesJob::Create(owner_, folder_, targetPath_);
    // The job reads the names before it returns and deletes itself when it is done.
    if (job && job->AddDropList(medium.hGlobal, true)) {
      // Copy even with Shift: the files are compressed after Drop returns, and a source that
      // deletes what was moved would delete them before they are read.
      *effect = (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
      result = S_OK;
    }
  }
  ReleaseStgMedium(&medium);
  return result;
}

void ArchiveDropTarget::TellNotWritable() const {
  char pattern[256], text[MaxPath + 256], caption[128];
  LoadLibraryString(IDS_ARCHIVE_NOT_WRITABLE, pattern, sizeof pattern);
  wsprintfA(text, pattern, PathNamePart(ArchivePath()));
  LoadLibraryString(IDS_ADD_FILES_CAPTION, caption, sizeof caption);
  MessageBoxA(owner_ && IsWindow(owner_) ? owner_ : nullptr, text, caption,
              MB_OK | MB_ICONWARNING);
}

STDMETHODIMP ArchiveDropTarget::GetClassID(CLSID*) { return E_NOTIMPL; }
STDMETHODIMP ArchiveDropTarget::IsDirty() { return E_NOTIMPL; }

STDMETHODIMP ArchiveDropTarget::Load(LPCOLESTR fileName, DWORD) {
  if (!fileName) return E_INVALIDARG;
  // The path is used with the ANSI file calls, so it takes their code page (where the OEM code
  // page differs, an OEM conversion would name another file or none).
  char path[MaxPath];
  if (!WideToName(fileName, path, sizeof path, FileCodePage)) {
    targetPath_[0] = '\0';
    return E_INVALIDARG;  // a name the code page cannot hold, or one too long for a path
  }
  std::memcpy(targetPath_, path, sizeof path);
  return S_OK;
}

STDMETHODIMP ArchiveDropTarget::Save(LPCOLESTR, BOOL) { return E_NOTIMPL; }
STDMETHODIMP ArchiveDropTarget::SaveCompleted(LPCOLESTR) { return E_NOTIMPL; }
STDMETHODIMP ArchiveDropTarget::GetCurFile(LPOLESTR* fileName) {
  if (fileName) *fileName = nullptr;
  return E_NOTIMPL;
}
