// Resource identifiers of tanufold: strings, dialogs with their controls, icons and bitmaps.
// Shared by tanufold.rc and the C++ sources; plain #defines so the resource compiler reads it too.
#pragma once

// ---- Strings -------------------------------------------------------------------------------
#define IDS_PROPERTIES_ONE        2    // "%sのﾌﾟﾛﾊﾟﾃｨ"
#define IDS_PROPERTIES_MANY       3    // "%s,...のﾌﾟﾛﾊﾟﾃｨ"
#define IDS_PAGE_GENERAL          4
#define IDS_PAGE_COMMENT          5
#define IDS_CHOOSE_EXTRACT_FOLDER 6
#define IDS_FILE_FOLDER_COUNT     7
#define IDS_EXTRACT_HERE          8
#define IDS_ALL_OF_TYPE           10
#define IDS_MIXED_TYPES           11
#define IDS_ALL_PREFIX            12
#define IDS_SIZE_LABEL            13
#define IDS_MODIFIED_LABEL        14
#define IDS_DATE_TIME_SEPARATOR   15
#define IDS_SIZE_BYTES            20   // 20..26: SizeText patterns, in order of the ranges
#define IDS_SIZE_KB_2             21
#define IDS_SIZE_KB_1             22
#define IDS_SIZE_KB_0             23
#define IDS_SIZE_MB_2             24
#define IDS_SIZE_MB_1             25
#define IDS_SIZE_MB_0             26
#define IDS_METHOD_NAME_0         30   // 30..37: "-lh0-" .. "-lh7-"
#define IDS_METHOD_NAME_FOLDER    38   // "-lhd-"
#define IDS_METHOD_CHOICE_0       39   // 39..43: the five methods offered on the compression page
#define IDS_LEVEL_NAME_0          50   // 50..53: "Level 0" .. "Level 3"
#define IDS_LEVEL_CHOICE_0        54   // 54..57: the header levels on the compression page
#define IDS_HELP_EXTRACT          200  // 200..212: help texts of the item menu's commands
#define IDS_HELP_EXPLORE          201
#define IDS_HELP_EXPLORE_DEFAULT  202
#define IDS_HELP_SHORTCUT         205
#define IDS_HELP_DELETE           206
#define IDS_HELP_RENAME           207
#define IDS_HELP_PROPERTIES       208
#define IDS_HELP_NEW_COMPRESSION  209
#define IDS_HELP_CUT              210
#define IDS_HELP_COPY             211
#define IDS_HELP_PASTE            212
#define IDS_VIEW_MODE_0           320  // 320..323: large icons, small icons, list, details
#define IDS_COLUMN_0              400  // 400..406: titles of the details columns
#define IDS_FOLDER_PAGE_TITLE     407
#define IDS_COMPRESSION_PAGE_TITLE 409
#define IDS_FOLDER_EXISTS         414
#define IDS_FILE_EXISTS_AS_FOLDER 415
#define IDS_FILE_EXISTS           416
#define IDS_SUMMARY_PAGE_TITLE    417
#define IDS_FROM_TO               420
#define IDS_AVERAGE_RATIO         421
#define IDS_STORED_INSTEAD        422
#define IDS_PASTE_CAPTION         423
#define IDS_EXISTING_READ_ONLY    424
#define IDS_EXISTING_SYSTEM       425
#define IDS_EXISTING_FILE         426
#define IDS_EXISTING_FOLDER       427
#define IDS_LEVEL0_COMMENT        428
#define IDS_LEVEL0_COMMENT_TITLE  429
#define IDS_PAGE_COMMIT_FAILED    480  // 480..483: what the property pages tell when they cannot apply
#define IDS_PAGE_LEVEL0_TOO_LONG  481
#define IDS_PAGE_KB_AND_BYTES     482
#define IDS_PAGE_ATTRIBUTES_FAILED 483
#define IDS_NOT_ADDED_UNREPRESENTABLE 490  // 490..497: one line per item not added, by reason
#define IDS_NOT_ADDED_TOO_LONG 491
#define IDS_NOT_ADDED_WILDCARD 492
#define IDS_NOT_ADDED_VANISHED 493
#define IDS_NOT_ADDED_LINK 494
#define IDS_NOT_ADDED_UNREADABLE 495
#define IDS_NOT_ADDED_TOO_LARGE 496
#define IDS_NOT_ADDED_NO_TEMP 497
#define IDS_COMMENT_TOO_LONG      600  // 600..619: menus, pages and folder rename
#define IDS_WAITING_TITLE         430
#define IDS_UPDATE_TITLE          431
#define IDS_UPDATE_QUESTION       432
#define IDS_ADD_FILES_CAPTION     440  // 440..443: what an add-files job tells at its end
#define IDS_ITEMS_NOT_ADDED       441
#define IDS_ARCHIVE_NOT_WRITTEN   442
#define IDS_ARCHIVE_DAMAGED       443
#define IDS_ARCHIVE_NOT_WRITABLE  444  // the archive is read-only or held by another program
#define IDS_NOT_ADDED_MORE        445
#define IDS_UPDATE_CANNOT_START   450
#define IDS_UPDATE_NOT_STORED     451
#define IDS_UPDATE_MEMBER_CHANGED 452
#define IDS_UPDATE_KEPT           453
#define IDS_VERB_OPEN             460  // captions of registry verbs whose own caption is empty
#define IDS_VERB_EXPLORE          461
#define IDS_VERB_PRINT            462
#define IDS_VERB_FIND             463
#define IDS_CHANGE_NOT_WRITTEN    470  // a change of the context menus could not be written
#define IDS_ALL_FILES_FILTER      471  // new compression: the file dialog's filter name
#define IDS_TOO_MANY_FILES        472
#define IDS_PRODUCT_CAPTION       473

// ---- Context menus and their commands (offsets from the caller's first identifier) ----------
#define IDM_FILE_ITEMS            50
#define IDM_FILE_ITEMS_SHORT      51   // for the browser's File pull-down
#define IDM_FOLDER_ITEM           52
#define IDM_FOLDER_ITEM_SHORT     53
#define IDM_BACKGROUND            118
#define IDM_BACKGROUND_SHORT      120
#define CMD_EXTRACT               200
#define CMD_EXPLORE               201
#define CMD_EXPLORE_DEFAULT       202
#define CMD_SHORTCUT              205
#define CMD_DELETE                206
#define CMD_RENAME                207
#define CMD_PROPERTIES            208
#define CMD_NEW_COMPRESSION       209
#define CMD_CUT                   210
#define CMD_COPY                  211
#define CMD_PASTE                 212

// ---- Dialogs --------------------------------------------------------------------------------
#define IDD_FOLDER_OPTIONS        110
#define IDD_COMPRESSION_OPTIONS   113
#define IDD_FOLDER_CONFLICT       121
#define IDD_COMMENT_PAGE          117
#define IDD_MEMBER_PAGE           500  // one member, or the archive file
#define IDD_MEMBERS_PAGE          501  // several members
#define IDD_FILE_CONFLICT         124
#define IDD_OVERWRITE             503
#define IDD_SUMMARY_PAGE          126
#define IDD_PROGRESS              128
#define IDR_PROGRESS_ANIMATION    127  // AVI resource of dialog 128

// ---- Icons and bitmaps ----------------------------------------------------------------------
#define IDI_ARCHIVE               100  // the archive file's icon, registered as ",-100"
#define IDI_FOLDER                101  // a folder inside an archive (102: the same, open)
#define IDI_QUESTION_FILE         121
#define IDI_FOLDER_TAKEN          123
#define IDI_FILE_TAKEN            125
#define IDI_MANY_ITEMS            120
#define IDB_NEW_WINDOW_EXAMPLE    111
#define IDB_SAME_WINDOW_EXAMPLE   112

// ---- Controls -------------------------------------------------------------------------------
#define IDC_GROUP                 300
#define IDC_NEW_WINDOW            700
#define IDC_SAME_WINDOW           701
#define IDC_NEW_WINDOW_LABEL      650
#define IDC_NEW_WINDOW_PICTURE    651
#define IDC_SAME_WINDOW_LABEL     652
#define IDC_SAME_WINDOW_PICTURE   653
#define IDC_VIEW_MODE             21024
#define IDC_AUTO_ARRANGE          21043
#define IDC_DECODE_IMAGE          21044
#define IDC_NO_LONG_NAMES         21022
#define IDC_METHOD                21006
#define IDC_HEADER_LEVEL          21008
#define IDC_PAGE_ICON             20000  // controls of the property pages
#define IDC_PAGE_NAME             20001
#define IDC_PAGE_TYPE             20003
#define IDC_PAGE_LOCATION         20004
#define IDC_PAGE_CREATED          20005
#define IDC_PAGE_MODIFIED         20006
#define IDC_PAGE_ACCESSED         20007
#define IDC_PAGE_READ_ONLY        20008
#define IDC_PAGE_HIDDEN           20009
#define IDC_PAGE_ARCHIVE          20010
#define IDC_PAGE_SYSTEM           20011
#define IDC_PAGE_SIZE             20064
#define IDC_PAGE_RATIO            20065
#define IDC_PAGE_COMMENT          21010
#define IDC_USE_PROGRESS          21029
#define IDC_DELAY_SPIN            21032
#define IDC_DELAY_EDIT            21033
#define IDC_MESSAGE               20291
#define IDC_EXISTING_ICON         20300
#define IDC_NEW_ICON              20301
#define IDC_EXISTING_TEXT         20302
#define IDC_NEW_TEXT              20303
#define IDC_ALL                   20807
#define IDC_DIALOG_ICON                  20020
#define IDC_NEW_NAME              21016
#define IDC_OVERWRITE             21018
#define IDC_RENAME                21019
#define IDC_NEW_NAME_LABEL        21020
#define IDC_KEEP_NEWER            21041
#define IDC_KEEP_NEWER_ALL        21042
#define IDC_ANIMATION             106
#define IDC_FROM_TO               103
#define IDC_PROGRESS              104
#define IDC_ITEM_NAME             20001
#define IDC_RATIO                 21027
#define IDC_SUMMARY_ICON          20000
#define IDC_MEMBER_LIST           21021

// Open-and-update's window while the user edits a member.
#define IDD_EDITING               770
#define IDC_EDITING_TEXT          771
#define IDS_EDITING_TITLE         772
#define IDS_EDITING_TEXT          773
