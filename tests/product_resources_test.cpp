// The program's resources as Windows sees them: one 16-colour icon, the version record, the manifest.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace {

std::string ProgramPath() { return BuildFolder() + "\\lumeta_show.scr"; }

// The built program beside this test, loaded for its resources only.
struct ProgramImage {
  HMODULE module = NULL;
  ProgramImage() { module = LoadLibraryExA(ProgramPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE); }
  ~ProgramImage() {
    if (module) FreeLibrary(module);
  }
};

#pragma pack(push, 2)
struct GroupIconEntry {  // GRPICONDIRENTRY: one image of an icon group
  BYTE width, height, colorCount, reserved;
  WORD planes, bitCount;
  DWORD bytesInResource;
  WORD id;
};
struct GroupIconHeader {  // GRPICONDIR without its entries
  WORD reserved, type, count;
};
#pragma pack(pop)

std::vector<BYTE> ResourceBytes(HMODULE module, LPCSTR name, LPCSTR type) {
  HRSRC found = FindResourceA(module, name, type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const BYTE *data = static_cast<const BYTE *>(LockResource(loaded));
  if (!data) return {};
  return std::vector<BYTE>(data, data + SizeofResource(module, found));
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR name, LONG_PTR counter) {
  std::vector<ULONG_PTR> *names = reinterpret_cast<std::vector<ULONG_PTR> *>(counter);
  names->push_back(IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : ~static_cast<ULONG_PTR>(0));
  return TRUE;
}

std::vector<ULONG_PTR> ResourceNames(HMODULE module, LPCSTR type) {
  std::vector<ULONG_PTR> names;
  EnumResourceNamesA(module, type, CountName, reinterpret_cast<LONG_PTR>(&names));
  return names;
}

std::string ManifestText(HMODULE module) {
  std::vector<BYTE> bytes = ResourceBytes(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

// The window class asks for icon 100; the only icon is group 1, so the class gets none.
TEST(ProductResourcesTest, IconGroupOneHoldsOneThirtyTwoPixelSixteenColourImage) {
  ProgramImage program;
  ASSERT_TRUE(program.module != NULL);
  for (HMODULE module : {program.module, GetModuleHandleA(NULL)}) {
    EXPECT_TRUE(LoadIconA(module, MAKEINTRESOURCEA(100)) == NULL);
    EXPECT_EQ(std::vector<ULONG_PTR>{1}, ResourceNames(module, MAKEINTRESOURCEA(14)));  // RT_GROUP_ICON
    EXPECT_EQ(1u, ResourceNames(module, MAKEINTRESOURCEA(3)).size());                  // RT_ICON

    std::vector<BYTE> group = ResourceBytes(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14));
    ASSERT_EQ(sizeof(GroupIconHeader) + sizeof(GroupIconEntry), group.size());
    GroupIconHeader header;
    GroupIconEntry entry;
    memcpy(&header, group.data(), sizeof(header));
    memcpy(&entry, group.data() + sizeof(header), sizeof(entry));
    EXPECT_EQ(1, header.type);
    EXPECT_EQ(1, header.count);
    EXPECT_EQ(32, entry.width);
    EXPECT_EQ(32, entry.height);
    EXPECT_EQ(16, entry.colorCount);
    EXPECT_EQ(4, entry.bitCount);

    // The image itself: a 4-bit DIB whose height counts the colour bits and the mask.
    std::vector<BYTE> image = ResourceBytes(module, MAKEINTRESOURCEA(entry.id), MAKEINTRESOURCEA(3));
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER bitmap;
    memcpy(&bitmap, image.data(), sizeof(bitmap));
    EXPECT_EQ(32, bitmap.biWidth);
    EXPECT_EQ(64, bitmap.biHeight);
    EXPECT_EQ(4, bitmap.biBitCount);
    EXPECT_EQ(sizeof(BITMAPINFOHEADER) + 16 * 4 + 32 * 32 / 2 + 32 * 4, image.size());
  }
}

TEST(ProductResourcesTest, IconOneLoadsAsAThirtyTwoPixelIcon) {
  ProgramImage program;
  ASSERT_TRUE(program.module != NULL);
  HICON icon = static_cast<HICON>(LoadImageA(program.module, MAKEINTRESOURCEA(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  ASSERT_TRUE(icon != NULL);
  ICONINFO info;
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP mask;
  ASSERT_TRUE(GetObjectA(info.hbmMask, sizeof(mask), &mask));
  EXPECT_EQ(32, mask.bmWidth);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
}

// Only the 64-bit build names an execution level: the 32-bit one must stay a legacy program so that
// Windows redirects its settings-file writes for standard users.
TEST(ProductResourcesTest, ManifestDeclaresPerMonitorDpiAwarenessAndTheBuildsExecutionLevel) {
  ProgramImage program;
  ASSERT_TRUE(program.module != NULL);
  std::string manifest = ManifestText(program.module);
  ASSERT_NE(std::string::npos, manifest.find("</assembly>")) << manifest;
  EXPECT_NE(std::string::npos, manifest.find(">true/pm</dpiAware>"));
  EXPECT_NE(std::string::npos, manifest.find(">PerMonitorV2,PerMonitor</dpiAwareness>"));
  EXPECT_NE(std::string::npos, manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
#ifdef _WIN64
  EXPECT_NE(std::string::npos, manifest.find("<requestedExecutionLevel level=\"asInvoker\""));
  EXPECT_NE(std::string::npos, manifest.find("processorArchitecture=\"amd64\""));
#else
  EXPECT_EQ(std::string::npos, manifest.find("requestedExecutionLevel"));
  EXPECT_EQ(std::string::npos, manifest.find("trustInfo"));
  EXPECT_NE(std::string::npos, manifest.find("processorArchitecture=\"x86\""));
#endif
  // Test programs carry the same manifest, so what they see is what the program gets.
  EXPECT_EQ(manifest, ManifestText(GetModuleHandleA(NULL)));
}

// Calls a function of a system library by name, as Windows 7 lacks some of them.
template <typename Function>
Function SystemFunction(const char *library, const char *name) {
  FARPROC address = GetProcAddress(GetModuleHandleA(library), name);
  Function function;
  static_assert(sizeof(function) == sizeof(address), "function pointers differ in size");
  memcpy(&function, &address, sizeof(function));
  return function;
}

// The manifest takes effect: the loader parsed it into this process's activation context (this
// process was started with the same manifest), and the process is per-monitor DPI aware.
TEST(ProductResourcesTest, ManifestSettingsReachTheProcess) {
  typedef BOOL(WINAPI * QuerySettings)(DWORD, HANDLE, const WCHAR *, const WCHAR *, WCHAR *, SIZE_T, SIZE_T *);
  QuerySettings query = SystemFunction<QuerySettings>("kernel32.dll", "QueryActCtxSettingsW");
  ASSERT_TRUE(query != NULL);
  WCHAR value[64];
  SIZE_T written = 0;
  ASSERT_TRUE(query(0, NULL, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness", value,
                    sizeof(value) / sizeof(value[0]), &written));
  EXPECT_STREQ(L"PerMonitorV2,PerMonitor", value);
  ASSERT_TRUE(query(0, NULL, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", value,
                    sizeof(value) / sizeof(value[0]), &written));
  EXPECT_STREQ(L"true/pm", value);

  typedef HANDLE(WINAPI * GetContext)();
  typedef int(WINAPI * GetAwareness)(HANDLE);
  GetContext context = SystemFunction<GetContext>("user32.dll", "GetThreadDpiAwarenessContext");
  GetAwareness awareness = SystemFunction<GetAwareness>("user32.dll", "GetAwarenessFromDpiAwarenessContext");
  ASSERT_TRUE(context && awareness);
  EXPECT_EQ(2, awareness(context()));  // DPI_AWARENESS_PER_MONITOR_AWARE
}

// The manifest's dependency gives the dialog version 6 of the common controls, which Windows keeps
// side by side (WinSxS) rather than in the system folder.
TEST(ProductResourcesTest, ManifestSelectsCommonControlsSix) {
  HMODULE controls = LoadLibraryA("comctl32.dll");
  ASSERT_TRUE(controls != NULL);
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(controls, path, sizeof(path));
  std::string file(path, length);
  for (char &c : file) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(std::string::npos, file.find("\\winsxs\\")) << file;
  EXPECT_NE(std::string::npos, file.find("common-controls")) << file;
}

TEST(ProductResourcesTest, VersionRecordNamesTheProgram) {
  std::string file = ProgramPath();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(file.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO *fixed = NULL;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &fixedSize));
  EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), fixed->dwSignature);
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
  EXPECT_GE(HIWORD(fixed->dwProductVersionMS), 1u);
  char *text = NULL;
  UINT textSize = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\OriginalFilename",
                             reinterpret_cast<void **>(&text), &textSize));
  EXPECT_STREQ("lumeta_show.scr", text);
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\ProductVersion",
                             reinterpret_cast<void **>(&text), &textSize));
  char expected[32];
  wsprintfA(expected, "%u.%u.%u", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
            HIWORD(fixed->dwProductVersionLS));
  EXPECT_STREQ(expected, text);
}
