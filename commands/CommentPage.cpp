// The comment page of one member (dialog 117). It shows the member's stored comment and lets the
// user edit it while the member page's header level is not 0 (a level-0 header has no room for
// a comment). It answers the member page's questions for its text and applies nothing itself.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <memory>
#include <new>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "commands/PropertyPages.h"
#include "commands/PropertySheets.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/WideName.h"

namespace {

struct CommentPageState {
  HICON icon = nullptr;  // the member's icon from the shell; destroyed with the page
  bool ready = false;    // false while the page fills its controls
};

void Init(HWND page, CommentPageState& state, const PropertyTarget& target) {
  const ItemId& item = target.items[0];
  char type[80];
  state.icon = ItemIconAndType(item, type, sizeof type);
  ShowPageIcon(page, state.icon);
  ShowMemberText(page, IDC_PAGE_NAME, PathNamePart(item.path));
  SendDlgItemMessageA(page, IDC_PAGE_COMMENT, EM_LIMITTEXT, CommentMax, 0);
  EntryEnumerator* snapshot = target.folder->archive ? target.folder->archive->EnumEntries()
                                                     : nullptr;
  if (!snapshot) return;
  std::unique_ptr<ArchiveEntry> entry(new (std::nothrow) ArchiveEntry);
  if (entry && FindItemHeader(*snapshot, item, entry.get()) == ItemHeader::Own) {
    entry->comment[CommentMax] = '\0';
    ShowMemberText(page, IDC_PAGE_COMMENT, entry->comment);
  }
  snapshot->Release();
}

}  // namespace

INT_PTR CALLBACK CommentPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  CommentPageState* state = PageState<CommentPageState>(page);
  switch (message) {
    case WM_INITDIALOG: {
      PropertyTarget* target = TargetOfPage(lParam);
      if (!target || !target->folder || target->items.empty()) return TRUE;
      state = new (std::nothrow) CommentPageState;
      if (!state) return TRUE;
      AttachPageState(page, state);
      Init(page, *state, *target);
      state->ready = true;
      return TRUE;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == EN_CHANGE && LOWORD(wParam) == IDC_PAGE_COMMENT && state &&
          state->ready)
        SendMessageA(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
      return FALSE;
    case PSM_QUERYSIBLINGS:
      if (wParam == QueryComment && lParam) {
        // The edit counts characters; the header holds bytes: a comment that does not fit them
        // whole (or has characters with no byte form) is refused, never cut.
        wchar_t wide[CommentBufferSize + 1] = L"";
        GetDlgItemTextW(page, IDC_PAGE_COMMENT, wide, CommentBufferSize + 1);
        const bool fits =
            WideToName(wide, reinterpret_cast<char*>(lParam), CommentBufferSize, MemberCodePage);
        return PageResult(page, fits ? CommentAnswered : CommentTooLong);
      }
      if (wParam == ClearComment) {
        SetDlgItemTextA(page, IDC_PAGE_COMMENT, "");
        return PageResult(page, 1);
      }
      return FALSE;
    case WM_NOTIFY:
      switch (reinterpret_cast<NMHDR*>(lParam)->code) {
        case PSN_SETACTIVE: {
          // Without a member page to answer, the level counts as 0.
          std::int32_t level = 0;
          if (!SendMessageA(GetParent(page), PSM_QUERYSIBLINGS, QueryHeaderLevel,
                            reinterpret_cast<LPARAM>(&level)))
            level = 0;
          EnableWindow(GetDlgItem(page, IDC_PAGE_COMMENT), level != 0);
          return PageResult(page, 0);
        }
        case PSN_APPLY:
          // The member page writes the comment with its own changes.
          return PageResult(page, PSNRET_NOERROR);
      }
      return FALSE;
    case WM_DESTROY:
      DestroyPageState(page, state);
      return FALSE;
  }
  return FALSE;
}
