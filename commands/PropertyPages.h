// The dialog procedures of the property sheets and what they share.
//
// Every page receives the sheet's PropertyTarget as the lParam of its PROPSHEETPAGE. The member
// page and the comment page of one member talk through the sheet's PSM_QUERYSIBLINGS (the sheet
// passes the question to each page in turn until one answers); the member page applies what both
// changed in one commit, so the comment page never touches the archive itself.
#pragma once

#include <windows.h>
#include <prsht.h>

#include <cstddef>
#include <cstdint>

#include "archive/ArchiveEntry.h"
#include "archive/PathName.h"
#include "namespace/ItemId.h"
#include "resources/resource.h"

class ArchiveFolder;
class EntryEnumerator;

INT_PTR CALLBACK MemberPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CommentPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ArchivePage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The state a page keeps in its window (DWLP_USER) from WM_INITDIALOG to WM_DESTROY.
template <class State>
State* PageState(HWND page) {
  return reinterpret_cast<State*>(GetWindowLongPtrA(page, DWLP_USER));
}
template <class State>
void AttachPageState(HWND page, State* state) {
  SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
}
// WM_INITDIALOG: the sheet's PropertyTarget, the lParam of the page's PROPSHEETPAGE.
struct PropertyTarget;
inline PropertyTarget* TargetOfPage(LPARAM lParam) {
  return reinterpret_cast<PropertyTarget*>(reinterpret_cast<const PROPSHEETPAGEA*>(lParam)->lParam);
}
// WM_DESTROY: the state goes with its icon, and the window forgets it.
template <class State>
void DestroyPageState(HWND page, State* state) {
  if (!state) return;
  if (state->icon) DestroyIcon(state->icon);
  delete state;
  SetWindowLongPtrA(page, DWLP_USER, 0);
}

// Questions between the pages (the wParam of PSM_QUERYSIBLINGS). The page that knows sets
// DWLP_MSGRESULT to 1; a page whose window was not created yet answers nothing, so the query
// gives 0.
constexpr WPARAM QueryHeaderLevel = 0;  // lParam: std::int32_t*, the level combo's selection
constexpr WPARAM QueryComment = 1;      // lParam: char[CommentBufferSize], the comment edit's text
// The answers to QueryComment: the text is in the buffer, or it does not fit the header's bytes.
constexpr LONG_PTR CommentAnswered = 1;
constexpr LONG_PTR CommentTooLong = 2;
constexpr WPARAM ClearComment = 2;      // the comment edit is emptied
constexpr std::size_t CommentBufferSize = CommentMax + 1;

// The attribute boxes, in the order every loop over them takes.
struct AttributeBox {
  std::uint16_t bit;
  int control;
};
constexpr AttributeBox AttributeBoxes[] = {
    {0x20, IDC_PAGE_ARCHIVE},
    {0x01, IDC_PAGE_READ_ONLY},
    {0x02, IDC_PAGE_HIDDEN},
    {0x04, IDC_PAGE_SYSTEM},
};
constexpr std::uint16_t AttributeBoxBits = 0x27;

// How an item of the sheet stands in the archive's catalogue at this moment.
enum class ItemHeader {
  Own,       // the catalogue holds the item's own header
  Borrowed,  // a folder with no header of its own that still has members below it: made up
             // from member paths, or listed with the header of a folder inside it
  Gone,      // no longer in the archive (another window deleted it meanwhile)
  Unknown,   // an item the pages do not understand; it is left alone
};

// Looks the item up in `snapshot` (moving its read position) and copies its own header to
// `entry` when there is one.
ItemHeader FindItemHeader(EntryEnumerator& snapshot, const ItemId& item, ArchiveEntry* entry);

// The catalogue key of the item's own header: its path, with a backslash for a folder.
void ItemKey(const ItemId& item, char (&key)[MaxPath + 1]);

// Icon and type name the shell gives a file of the item's name and attributes. The caller
// destroys the icon (null when there is none).
HICON ItemIconAndType(const ItemId& item, char* typeName, std::size_t size);

// Where the folder's items are: its path inside the archive without the trailing backslash, or
// the archive file's path at the root.
void FolderLocation(const ArchiveFolder& folder, char (&out)[MaxPath]);

// Shows a member's name or comment (archive bytes) in a control, converted as every member name
// is; bytes that are no text of the code page are shown as the system reads them.
void ShowMemberText(HWND page, int control, const char* text);

// Shows the icon in the page's icon control; the old icon is not destroyed.
void ShowPageIcon(HWND page, HICON icon);

// Local date and time text of a member's time (seconds since 1970).
void MemberTimeText(std::uint32_t seconds, char* out, std::size_t size);

// `value` in decimal, with "," between groups of three digits when `grouped`.
void DecimalText(std::uint64_t value, bool grouped, char* out, std::size_t size);

// The size text with the exact count in bytes, for totals that may pass 4 GiB.
void TotalSizeText(std::uint64_t bytes, char* out, std::size_t size);

// A message box owned by the page with string `id` filled with `argument`, the sheet's caption
// as its title.
void TellUser(HWND page, UINT id, const char* argument);

// Sets the page's answer to the message it is handling and returns TRUE for the procedure.
INT_PTR PageResult(HWND page, LONG_PTR result);
