#include "operations/FormatEnumerator.h"

#include <new>

const InterfaceEntry* FormatEnumerator::InterfaceTable() {
  static const InterfaceEntry table[] = {
      Offer<FormatEnumerator, IEnumFORMATETC>(IID_IEnumFORMATETC), EndOfInterfaces()};
  return table;
}

HRESULT FormatEnumerator::Create(const std::vector<FORMATETC>& formats, ULONG position,
                                 IEnumFORMATETC** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  FormatEnumerator* enumerator = nullptr;
  try {
    enumerator = new FormatEnumerator(formats);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  enumerator->position_ = position;
  enumerator->AddRef();
  *out = enumerator;
  return S_OK;
}

STDMETHODIMP FormatEnumerator::Next(ULONG count, FORMATETC* out, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (!out || (count > 1 && !fetched)) return E_INVALIDARG;
  ULONG copied = 0;
  while (copied < count && position_ < formats_.size()) out[copied++] = formats_[position_++];
  if (fetched) *fetched = copied;
  return copied == count ? S_OK : S_FALSE;
}

STDMETHODIMP FormatEnumerator::Skip(ULONG count) {
  const ULONG left = static_cast<ULONG>(formats_.size()) - position_;
  if (count > left) {
    position_ = static_cast<ULONG>(formats_.size());
    return S_FALSE;
  }
  position_ += count;
  return S_OK;
}

STDMETHODIMP FormatEnumerator::Reset() {
  position_ = 0;
  return S_OK;
}

STDMETHODIMP FormatEnumerator::Clone(IEnumFORMATETC** out) {
  if (!out) return E_INVALIDARG;
  return Create(formats_, position_, out);
}
