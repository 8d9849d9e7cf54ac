#include "namespace/ItemEnumerator.h"

#include <cstring>

#include "namespace/ModuleState.h"

namespace {

std::uint16_t SizeAt(const std::uint8_t* p) {
  std::uint16_t size;
  std::memcpy(&size, p, sizeof size);
  return size;
}

}  // namespace

const InterfaceEntry* ItemEnumerator::InterfaceTable() {
  static const InterfaceEntry table[] = {
      Offer<ItemEnumerator, IEnumIDList>(IID_IEnumIDList),
      EndOfInterfaces(),
  };
  return table;
}

int ItemEnumerator::Add(const ItemId& item) {
  return items_.AppendItem(reinterpret_cast<LPCITEMIDLIST>(&item));
}

void ItemEnumerator::Finish() {
  count_ = items_.Count();
  position_ = 0;
  cursor_ = reinterpret_cast<const std::uint8_t*>(items_.Get());
}

STDMETHODIMP ItemEnumerator::Next(ULONG wanted, LPITEMIDLIST* out, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (!out) return E_INVALIDARG;
  if (!TaskAllocator) return E_OUTOFMEMORY;
  ULONG n = count_ - position_;
  if (wanted < n) n = wanted;
  for (ULONG i = 0; i < n; ++i) {
    std::uint16_t size = SizeAt(cursor_);
    auto* copy = static_cast<std::uint8_t*>(TaskAllocator->Alloc(size + 2u));
    if (!copy) {
      // The items stored so far belong to the caller; the position follows the cursor so that a
      // later call goes on after them and never reads past the list.
      position_ += i;
      if (fetched) *fetched = i;
      return E_OUTOFMEMORY;
    }
    std::memcpy(copy, cursor_, size);
    copy[size] = 0;
    copy[size + 1] = 0;
    out[i] = reinterpret_cast<LPITEMIDLIST>(copy);
    cursor_ += size;
  }
  position_ += n;
  if (fetched) *fetched = n;
  return n == wanted ? S_OK : S_FALSE;
}

STDMETHODIMP ItemEnumerator::Skip(ULONG count) {
  for (ULONG i = 0; i < count && cursor_ && SizeAt(cursor_) != 0; ++i) cursor_ += SizeAt(cursor_);
  std::uint64_t position = static_cast<std::uint64_t>(position_) + count;
  if (position > count_) {
    position_ = count_;
    return S_FALSE;
  }
  position_ = static_cast<std::uint32_t>(position);
  return S_OK;
}

STDMETHODIMP ItemEnumerator::Reset() {
  position_ = 0;
  cursor_ = reinterpret_cast<const std::uint8_t*>(items_.Get());
  return S_OK;
}

STDMETHODIMP ItemEnumerator::Clone(IEnumIDList** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}
