// Resource identifiers of tnsetup: its string table. Shared by tnsetup.rc and the installer's
// sources; plain #defines so the resource compiler reads it too.
#pragma once

#define IDS_PRODUCT_NAME      1   // "Tanuvia": caption of every message box, DisplayName
#define IDS_TYPE_NAME         2   // "LZHﾌｧｲﾙ"
#define IDS_ASK_INSTALL       3
#define IDS_ASK_REMOVE        4
#define IDS_ASK_RESTART       5
#define IDS_INSTALLED         6
#define IDS_REGISTRY_WRITE    7
#define IDS_REGISTRY_REMOVE   8
#define IDS_NO_RESTART_RIGHT  9
#define IDS_COPY_FAILED       10  // a file could neither be copied nor scheduled for replacement
#define IDS_DELETE_FAILED     11  // a file could neither be deleted nor scheduled for deletion
#define IDS_SOURCE_MISSING    12  // "%s" = the full path of the missing package file

#define IDS_FIRST             IDS_PRODUCT_NAME
#define IDS_LAST              IDS_SOURCE_MISSING
