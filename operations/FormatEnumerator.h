// IEnumFORMATETC over a fixed list of formats, as the data object offers them.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <vector>

#include "namespace/ComObject.h"

class FormatEnumerator : public ComObject<FormatEnumerator, IEnumFORMATETC> {
 public:
  static const InterfaceEntry* InterfaceTable();
  // A new enumerator over a copy of `formats`, starting at `position`, with one reference.
  static HRESULT Create(const std::vector<FORMATETC>& formats, ULONG position,
                        IEnumFORMATETC** out);

  STDMETHODIMP Next(ULONG count, FORMATETC* out, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumFORMATETC** out) override;

 private:
  explicit FormatEnumerator(const std::vector<FORMATETC>& formats) : formats_(formats) {}
  ~FormatEnumerator() override = default;

  std::vector<FORMATETC> formats_;
  ULONG position_ = 0;
};
