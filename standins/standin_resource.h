// Resource ids of the stand-ins' dialogs (shared by their .rc files and the tests).
#pragma once

#define IDD_VERIFY_PASSWORD 100
#define IDD_CHANGE_PASSWORD 200

#define IDC_PASSWORD 1001
#define IDC_OLD_PASSWORD 1002
#define IDC_NEW_PASSWORD 1003
#define IDC_CONFIRM_PASSWORD 1004
#define IDC_OLD_LABEL 1005
#define IDC_STATUS 1006
