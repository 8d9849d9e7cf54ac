// Resource identifiers of tnbrowse: the texts of its window and the ids of its controls.
// Plain #defines so the resource compiler reads it too.
#pragma once

#define IDS_UP                 1   // "上へ": the button that goes up one folder
#define IDS_ADDRESS            2   // "ｱﾄﾞﾚｽ": label of the address field
#define IDS_ITEM_COUNT         3   // "%d 個のｵﾌﾞｼﾞｪｸﾄ"
#define IDS_SELECTED           4   // "%d 個を選択": a selection of folders only
#define IDS_SELECTED_SIZE      5   // "%d 個を選択 (%s)": with the total size of its files

#define IDC_UP                 100
#define IDC_ADDRESS_LABEL      101
#define IDC_ADDRESS            102
#define IDC_STATUS             103
