// The colour and font common dialogs and the shell's folder browser, bound when first used.
#include "config/system_dialogs.h"

typedef BOOL(WINAPI *ChooseColorProc)(CHOOSECOLORA *);
typedef BOOL(WINAPI *ChooseFontProc)(CHOOSEFONTA *);
typedef LPITEMIDLIST(WINAPI *BrowseForFolderProc)(BROWSEINFOA *);
typedef BOOL(WINAPI *GetPathFromIDListProc)(LPCITEMIDLIST, char *);
typedef void(WINAPI *TaskMemFreeProc)(void *);

// The entry `name` of `library`, loading the library once; NULL when either is missing.
// The library stays loaded for the rest of the process, as an import would.
static FARPROC FindSystemEntry(const char *library, const char *name) {
  HMODULE module = GetModuleHandleA(library);
  if (module == NULL) module = LoadLibraryA(library);
  return module != NULL ? GetProcAddress(module, name) : NULL;
}

// GetProcAddress hands out a generic function type; the entry's real type is known by its
// name. The cast goes through void(*)() so that no signature is assumed twice.
template <typename Proc>
static Proc EntryAs(const char *library, const char *name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(FindSystemEntry(library, name)));
}

BOOL CallChooseColor(CHOOSECOLORA *choice) {
  static ChooseColorProc entry = EntryAs<ChooseColorProc>("COMDLG32.DLL", "ChooseColorA");
  return entry != NULL ? entry(choice) : FALSE;
}

BOOL CallChooseFont(CHOOSEFONTA *choice) {
  static ChooseFontProc entry = EntryAs<ChooseFontProc>("COMDLG32.DLL", "ChooseFontA");
  return entry != NULL ? entry(choice) : FALSE;
}

LPITEMIDLIST CallBrowseForFolder(BROWSEINFOA *info) {
  static BrowseForFolderProc entry = EntryAs<BrowseForFolderProc>("SHELL32.DLL", "SHBrowseForFolderA");
  return entry != NULL ? entry(info) : NULL;
}

BOOL CallGetPathFromIDList(LPCITEMIDLIST item, char *path) {
  static GetPathFromIDListProc entry = EntryAs<GetPathFromIDListProc>("SHELL32.DLL", "SHGetPathFromIDListA");
  if (entry != NULL) return entry(item, path);
  path[0] = '\0';
  return FALSE;
}

void CallTaskMemFree(void *block) {
  static TaskMemFreeProc entry = EntryAs<TaskMemFreeProc>("OLE32.DLL", "CoTaskMemFree");
  if (entry != NULL) entry(block);
}
