// Every resource id of the program, shared by tolvi.rc and the code.
#pragma once

// Resources of the main frame: menu, key table, toolbar, its bitmap, the program icon.
#define IDR_MAINFRAME 128
#define IDR_CONTEXT_MENUS 142  // pop-ups 0 ClickOnItem, 1 ClickOnEmptyRow, 2 TrayMenu
#define IDI_CLIENT_ATTACHED 1997
#define IDI_NO_CLIENT 1999
// The toolbar's pictures drawn larger, for 125, 150 and 200 per cent.
#define IDB_TOOLBAR_20 150
#define IDB_TOOLBAR_24 151
#define IDB_TOOLBAR_32 152

#define IDD_ABOUTBOX 100
#define IDD_ADD_CONNECTOR 106
#define IDD_EDIT_CONNECTOR 107
#define IDD_SETTINGS 143
#define IDD_CONSOLE_OPTIONS 144

// Controls
#define IDC_CONNECTOR_LIST 1000
#define IDC_ADD_PIPE_NAME 1007
#define IDC_PORT 1009
#define IDC_ADD 1010
#define IDC_CANCEL 1011
#define IDC_DESCRIPTION 1017
#define IDC_EDIT_PIPE_NAME 1018
#define IDC_SAVE 1019
#define IDC_AUTOSTART 1020
#define IDC_EXIT_TO_TRAY 1021
#define IDC_LIST_ONLY 1027
#define IDC_CLIENT_LIST 1028
#define IDC_NON_LOCAL 1029
#define IDC_MAX_CLIENTS 1030
#define IDC_LOG_FILE 1031
#define IDC_BROWSE_LOG 1032
#define IDC_REPLAY 1033
#define IDC_LISTEN_ADDRESS 1034
#define IDC_WATCH_PORT 1035
#define IDC_TELNET 1036

// Commands
#define ID_CONNECTOR_NEW 32777
#define ID_QUICK_HELP 32781
#define ID_CONNECTOR_DELETE 32783
#define ID_CONNECTOR_RESET 32787
#define ID_CONNECTOR_EDIT 32788
#define ID_SETTINGS 32789
#define ID_CONNECTOR_CONSOLE 32790
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#define ID_VIEW_TOOLBAR 59392
#define ID_VIEW_STATUS_BAR 59393
#define ID_FIRST_PANE 59648
// Commands the key table names and nothing handles, as the classic frameworks carry them.
#define ID_EDIT_COPY 57634
#define ID_EDIT_CUT 57635
#define ID_EDIT_PASTE 57637
#define ID_EDIT_UNDO 57643
#define ID_NEXT_PANE 57680
#define ID_PREV_PANE 57681

// Strings
#define IDS_APP_TITLE 57344
#define IDS_IDLE_MESSAGE 57345
#define ID_INDICATOR_CAPS 59137
#define ID_INDICATOR_NUM 59138
#define ID_INDICATOR_SCRL 59139
#define IDS_SC_SIZE 61184
#define IDS_SC_MOVE 61185
#define IDS_SC_MINIMIZE 61186
#define IDS_SC_MAXIMIZE 61187
#define IDS_SC_NEXTWINDOW 61188
#define IDS_SC_PREVWINDOW 61189
#define IDS_SC_CLOSE 61190
#define IDS_SC_RESTORE 61202
#define IDS_SC_TASKLIST 61203
