#include "namespace/ItemDetails.h"

#include <oleauto.h>

#include <cstdio>

#include "namespace/ItemId.h"
#include "namespace/ViewCallback.h"
#include "namespace/WideName.h"

// {6A1C3E52-2F4B-4B7D-9C0E-58D3A1F04B21}
const GUID FormatIdArchiveColumns = {
    0x6a1c3e52, 0x2f4b, 0x4b7d, {0x9c, 0x0e, 0x58, 0xd3, 0xa1, 0xf0, 0x4b, 0x21}};

namespace {

// The system's storage property set and the ids of its name, type, size and write time.
const GUID FormatIdStorage = {
    0xb725f130, 0x47ef, 0x101a, {0xa5, 0xf1, 0x02, 0x60, 0x8c, 0x9e, 0xeb, 0xac}};
constexpr DWORD StorageType = 4;
constexpr DWORD StorageName = 10;
constexpr DWORD StorageSize = 12;
constexpr DWORD StorageWriteTime = 14;

struct ColumnKeyEntry {
  const GUID* formatId;
  DWORD propertyId;
  SHCOLSTATEF type;
};

// In column order; the library's own ids start at 2 (0 and 1 are reserved in every set).
const ColumnKeyEntry ColumnKeys[ViewColumnCount] = {
    {&FormatIdStorage, StorageName, SHCOLSTATE_TYPE_STR},
    {&FormatIdStorage, StorageSize, SHCOLSTATE_TYPE_INT},
    {&FormatIdStorage, StorageType, SHCOLSTATE_TYPE_STR},
    {&FormatIdStorage, StorageWriteTime, SHCOLSTATE_TYPE_DATE},
    {&FormatIdArchiveColumns, 2, SHCOLSTATE_TYPE_INT},
    {&FormatIdArchiveColumns, 3, SHCOLSTATE_TYPE_STR},
    {&FormatIdArchiveColumns, 4, SHCOLSTATE_TYPE_STR},
};

int ColumnOfKey(const SHCOLUMNID& key) {
  for (int column = 0; column < ViewColumnCount; ++column)
    if (IsEqualGUID(key.fmtid, *ColumnKeys[column].formatId) &&
        key.pid == ColumnKeys[column].propertyId)
      return column;
  return -1;
}

// Days from 1899-12-30 (the zero of VT_DATE) to 1970-01-01.
constexpr double UnixEpochAsDate = 25569.0;

HRESULT SetText(VARIANT* value, const char* text, UINT codePage) {
  wchar_t wide[MAX_PATH];
  if (!NameToWide(text, wide, MAX_PATH, codePage)) return E_FAIL;
  value->bstrVal = SysAllocString(wide);
  if (!value->bstrVal) return E_OUTOFMEMORY;
  value->vt = VT_BSTR;
  return S_OK;
}

}  // namespace

STDMETHODIMP ItemColumns::GetDefaultSearchGUID(GUID*) { return E_NOTIMPL; }

STDMETHODIMP ItemColumns::EnumSearches(IEnumExtraSearch** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ItemColumns::GetDetailsOf(LPCITEMIDLIST item, UINT column,
                                       SHELLDETAILS* details) {
  if (!details) return E_POINTER;
  DETAILSINFO request = {};
  request.pidl = item;
  HRESULT result = ViewCallback(nullptr, nullptr, nullptr, SFVM_GETDETAILSOF, column,
                                reinterpret_cast<LPARAM>(&request));
  if (FAILED(result)) return result;
  details->fmt = request.fmt;
  details->cxChar = request.cxChar;
  details->str = request.str;
  return S_OK;
}

STDMETHODIMP ItemColumns::GetDefaultColumn(DWORD, ULONG* sort, ULONG* display) {
  if (sort) *sort = 0;
  if (display) *display = 0;
  return S_OK;
}

STDMETHODIMP ItemColumns::MapColumnToSCID(UINT column, SHCOLUMNID* key) {
  if (!key) return E_POINTER;
  if (column >= static_cast<UINT>(ViewColumnCount)) return E_INVALIDARG;
  key->fmtid = *ColumnKeys[column].formatId;
  key->pid = ColumnKeys[column].propertyId;
  return S_OK;
}

STDMETHODIMP ItemColumns::GetDefaultColumnState(UINT column, SHCOLSTATEF* state) {
  if (!state) return E_POINTER;
  if (column >= static_cast<UINT>(ViewColumnCount)) return E_INVALIDARG;
  *state = SHCOLSTATE_ONBYDEFAULT | ColumnKeys[column].type;
  return S_OK;
}

STDMETHODIMP ItemColumns::GetDetailsEx(LPCITEMIDLIST list, const SHCOLUMNID* key,
                                       VARIANT* value) {
  if (!key || !value) return E_POINTER;
  VariantInit(value);
  const ItemId* item = AsItemId(list);
  if (!item) return E_INVALIDARG;
  const int column = ColumnOfKey(*key);
  if (column < 0) return E_FAIL;
  // Size, date, ratio and CRC say nothing about a folder (its column texts are empty too).
  if (IsFolderItem(*item) && column != 0 && column != 2 && column != 5) return S_OK;
  switch (column) {
    case 1:
      value->vt = VT_UI8;
      value->ullVal = item->originalSize;
      return S_OK;
    case 3:
      value->vt = VT_DATE;
      value->date = UnixEpochAsDate + static_cast<double>(item->modifyTime) / 86400.0;
      return S_OK;
    case 4:
      value->vt = VT_UI4;
      value->ulVal = static_cast<ULONG>(
          CompressionPercent(static_cast<std::uint32_t>(item->packedSize), item->originalSize));
      return S_OK;
    default: {
      char text[MAX_PATH] = "";
      ItemColumnText(*item, column, text, sizeof text);
      // Names and methods are the archive's bytes; the type name is the system's ANSI text.
      return SetText(value, text, column == 2 ? FileCodePage : MemberCodePage);
    }
  }
}
