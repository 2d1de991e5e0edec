// The configuration dialog: ends with 1 when it is closed.
#include "config/config_dialog.h"

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return 1;
    case WM_CLOSE:
      EndDialog(dialog, 1);
      return 1;
  }
  return 0;
}
