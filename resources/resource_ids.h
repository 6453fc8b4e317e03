// Resource and control ids shared by the resource script and the code.
#pragma once

#define IDS_MENU_TEXT 40000
#define IDS_STATUS_MESSAGE 40001
#define IDI_FINDRAIL 111
#define IDD_BAR 107
#define IDC_SEARCH_EDIT 40002
#define IDC_REGEXP_CHECK 1001
