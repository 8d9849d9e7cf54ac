// The details of an item as a shell folder offers them through IShellFolder2: by column number
// (the seven columns of the view callback) and by property key. A modern view, its details pane,
// grouping and sorting ask by key: the name, size, type and date columns answer to the system's
// storage keys, the archive's own columns (ratio, method, CRC) to keys under the library's own
// format ID. Shared by the archive folder and the view's adapter for folders without the
// interface, so both answer alike.
#pragma once

#include <windows.h>
#include <shlobj.h>

// The format ID of the archive's own columns: ratio (2), method (3) and CRC (4).
extern const GUID FormatIdArchiveColumns;

// IShellFolder2's own methods answered with the archive's columns. A folder class derives from
// it in place of IShellFolder2 and writes only IShellFolder's methods; each method checks its
// arguments and ends with the result the interface's contract names.
class ItemColumns : public IShellFolder2 {
 public:
  // Searches are not offered.
  STDMETHODIMP GetDefaultSearchGUID(GUID* guid) override;
  STDMETHODIMP EnumSearches(IEnumExtraSearch** out) override;
  // Sorted and shown by name (column 0).
  STDMETHODIMP GetDefaultColumn(DWORD reserved, ULONG* sort, ULONG* display) override;
  // Shown by default, typed as its values (text, number or date); E_INVALIDARG past the last.
  STDMETHODIMP GetDefaultColumnState(UINT column, SHCOLSTATEF* state) override;
  // The item's value under `key`, fully typed (text VT_BSTR, size VT_UI8, date VT_DATE in UTC,
  // ratio VT_UI4 percent); VT_EMPTY where the column says nothing about folders. E_INVALIDARG for
  // an item that is not ours, E_FAIL for a key no column has.
  STDMETHODIMP GetDetailsEx(LPCITEMIDLIST item, const SHCOLUMNID* key, VARIANT* value) override;
  // A column's title, format and width (no item) or an item's text, as the view callback gives
  // them. E_INVALIDARG past the last column.
  STDMETHODIMP GetDetailsOf(LPCITEMIDLIST item, UINT column, SHELLDETAILS* details) override;
  // The property key of a column; E_INVALIDARG past the last one.
  STDMETHODIMP MapColumnToSCID(UINT column, SHCOLUMNID* key) override;
};
