#include "namespace/ChangeNotice.h"

void AnnounceArchiveChange(const char* archivePath, LPCITEMIDLIST folderIdList, HWND viewWindow) {
  if (archivePath && archivePath[0])
    SHChangeNotify(SHCNE_UPDATEITEM, SHCNF_PATHA, archivePath, nullptr);
  if (folderIdList) SHChangeNotify(SHCNE_UPDATEITEM, SHCNF_IDLIST, folderIdList, nullptr);
  SHChangeNotify(0, SHCNF_FLUSH, nullptr, nullptr);
  if (viewWindow && IsWindow(viewWindow))
    PostMessageA(viewWindow, WM_COMMAND, MAKEWPARAM(ViewRefreshCommand, 0), 0);
}
