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

// GetDetailsOf: a column's title, format and width (no item) or an item's text. E_INVALIDARG for
// a column past the last; E_POINTER without `details`.
HRESULT ItemDetailsOf(LPCITEMIDLIST item, UINT column, SHELLDETAILS* details);
// GetDefaultColumn: sorted and shown by name (column 0).
HRESULT DefaultColumns(ULONG* sort, ULONG* display);
// MapColumnToSCID: the property key of a column; E_INVALIDARG past the last one.
HRESULT ColumnPropertyKey(UINT column, SHCOLUMNID* key);
// GetDefaultColumnState: shown by default, typed as its values (text, number or date).
HRESULT ColumnDefaultState(UINT column, SHCOLSTATEF* state);
// GetDetailsEx: the item's value under `key`, fully typed (text VT_BSTR, size VT_UI8, date
// VT_DATE in UTC, ratio VT_UI4 percent); VT_EMPTY where the column says nothing about folders.
// E_INVALIDARG for an item that is not ours, E_FAIL for a key no column has.
HRESULT ItemDetailsByKey(LPCITEMIDLIST item, const SHCOLUMNID* key, VARIANT* value);
