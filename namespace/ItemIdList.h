// Holder of one item identifier list (items, each starting with its 16-bit size, closed by a
// 16-bit zero). Lists it allocates come from the library's heap; identifiers handed to the shell
// are always fresh copies from the shell's task allocator, never these.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>

class ItemIdList {
 public:
  // Wraps `list` without owning it.
  explicit ItemIdList(LPCITEMIDLIST list = nullptr);
  ~ItemIdList();
  ItemIdList(const ItemIdList&) = delete;
  ItemIdList& operator=(const ItemIdList&) = delete;

  LPITEMIDLIST Get() const { return list_; }
  bool Owned() const { return owned_ != 0; }

  // Hands the list to the caller (who frees it with FreeList) and leaves the holder empty.
  LPITEMIDLIST Detach();
  // 0 for no list, else 2 plus the sizes of all items.
  std::uint32_t Size() const;
  static std::uint32_t SizeOf(LPCITEMIDLIST list);

  // Replaces the held list by a copy of `list`. True when a list is held afterwards.
  bool Assign(LPCITEMIDLIST list);
  // Replaces the held list by a one-item list holding a copy of `item`. True on success.
  bool AssignItem(LPCITEMIDLIST item);
  // Appends every item of `list` / one item. 1, or 0 when memory is short (the old list stays).
  int Append(LPCITEMIDLIST list);
  int AppendItem(LPCITEMIDLIST item);

  // The i-th item (from 0), or null when there is no list or i is not below Count.
  LPITEMIDLIST ItemAt(std::uint32_t index) const;
  // The last item (the terminator itself for an empty list), or null for no list.
  LPITEMIDLIST LastItem() const;
  std::uint32_t Count() const;
  // Copies the whole list with its terminator into `buffer` (Size bytes); returns Size.
  std::uint32_t CopyTo(void* buffer) const;
  // A copy of the whole list from the shell's task allocator, for the shell to keep and free;
  // null when no list is held or memory is short.
  LPITEMIDLIST CopyForShell() const;

  // The library heap that holds owned lists.
  static void* Allocate(std::uint32_t bytes);
  static void FreeList(void* list);

 private:
  void Clear();
  // Joins the held list and `bytes` bytes of items at `items` (no terminator) into a new block.
  int Join(const void* items, std::uint32_t bytes);

  LPITEMIDLIST list_ = nullptr;
  std::int32_t owned_ = 0;
};
