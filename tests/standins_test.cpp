// The stand-ins for PASSWORD.CPL and MPR.DLL: their dialogs driven as a user would, and the store.
#include <gtest/gtest.h>
#include <windows.h>
#include <winnetwk.h>

#include <string>
#include <vector>

#include "standins/standin_resource.h"
#include "tests/support/process.h"

namespace {

typedef void (*AnyProc)();
typedef BOOL(WINAPI *VerifyProc)(HWND owner);
typedef DWORD(WINAPI *ChangeProc)(LPCSTR provider, HWND owner, DWORD, DWORD);

const wchar_t kStoreKey[] = L"Software\\lumeta_show\\PasswordStandIn";
const wchar_t kStoreValue[] = L"SaltedHash";

// One step of a user at a dialog: fill these fields (NULL: leave), then press this button.
struct DialogStep {
  const wchar_t *password;  // IDC_PASSWORD of the prompt
  const wchar_t *oldPassword, *newPassword, *confirmation;
  int button;
};

std::vector<DialogStep> g_steps;
size_t g_nextStep;
int g_dialogsSeen;
std::wstring g_statusText;
HWND g_lastDialog;

BOOL CALLBACK TakeVisibleDialog(HWND window, LPARAM result) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (lstrcmpW(className, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND *>(result) = window;
  return FALSE;
}

HWND FindOwnDialog() {
  HWND found = NULL;
  EnumThreadWindows(GetCurrentThreadId(), TakeVisibleDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

void SetField(HWND dialog, int id, const wchar_t *text) {
  if (text) SetDlgItemTextW(dialog, id, text);
}

// Runs from the modal loop of the dialog under test: one step per tick.
void CALLBACK PlayStep(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = FindOwnDialog();
  if (!dialog) return;
  if (dialog != g_lastDialog) ++g_dialogsSeen, g_lastDialog = dialog;
  wchar_t status[128] = {};
  GetDlgItemTextW(dialog, IDC_STATUS, status, 128);
  g_statusText = status;
  // Out of steps: a test that expected the dialog to end already must not hang.
  DialogStep step = g_nextStep < g_steps.size() ? g_steps[g_nextStep++] : DialogStep{NULL, NULL, NULL, NULL, IDCANCEL};
  SetField(dialog, IDC_PASSWORD, step.password);
  SetField(dialog, IDC_OLD_PASSWORD, step.oldPassword);
  SetField(dialog, IDC_NEW_PASSWORD, step.newPassword);
  SetField(dialog, IDC_CONFIRM_PASSWORD, step.confirmation);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(step.button, BN_CLICKED), 0);
}

class StandInTest : public testing::Test {
 protected:
  void SetUp() override {
    RegDeleteKeyW(HKEY_CURRENT_USER, kStoreKey);
    // A copy under another name: Wine prefers its built-in MPR.DLL for the original name.
    mprCopy_ = BuildFolder() + "\\standin_mpr_copy.dll";
    ASSERT_TRUE(CopyFileA((BuildFolder() + "\\MPR.DLL").c_str(), mprCopy_.c_str(), FALSE));
    mpr_ = LoadLibraryA(mprCopy_.c_str());
    cpl_ = LoadLibraryA((BuildFolder() + "\\PASSWORD.CPL").c_str());
    ASSERT_NE(nullptr, mpr_);
    ASSERT_NE(nullptr, cpl_);
    change_ = reinterpret_cast<ChangeProc>(reinterpret_cast<AnyProc>(GetProcAddress(mpr_, "PwdChangePasswordA")));
    verify_ = reinterpret_cast<VerifyProc>(reinterpret_cast<AnyProc>(GetProcAddress(cpl_, "VerifyScreenSavePwd")));
    ASSERT_NE(nullptr, change_);
    ASSERT_NE(nullptr, verify_);
    owner_ = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
  }
  void TearDown() override {
    DestroyWindow(owner_);
    FreeLibrary(mpr_);
    FreeLibrary(cpl_);
    DeleteFileA(mprCopy_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, kStoreKey);
  }
  void Play(std::vector<DialogStep> steps) {
    g_steps = steps;
    g_nextStep = 0;
    g_dialogsSeen = 0;
    g_lastDialog = NULL;
    g_statusText.clear();
  }
  DWORD Change(std::vector<DialogStep> steps, const char *provider = "SCRSAVE") {
    Play(steps);
    UINT_PTR timer = SetTimer(NULL, 0, 30, PlayStep);
    DWORD result = change_(provider, owner_, 0, 0);
    KillTimer(NULL, timer);
    return result;
  }
  BOOL Verify(std::vector<DialogStep> steps) {
    Play(steps);
    UINT_PTR timer = SetTimer(NULL, 0, 30, PlayStep);
    BOOL result = verify_(owner_);
    KillTimer(NULL, timer);
    return result;
  }
  static DialogStep Typed(const wchar_t *password, int button = IDOK) {
    return DialogStep{password, NULL, NULL, NULL, button};
  }
  static DialogStep NewPassword(const wchar_t *oldPassword, const wchar_t *newPassword, const wchar_t *confirmation,
                                int button = IDOK) {
    return DialogStep{NULL, oldPassword, newPassword, confirmation, button};
  }
  std::vector<BYTE> Stored() {
    std::vector<BYTE> bytes(256);
    DWORD size = static_cast<DWORD>(bytes.size());
    if (RegGetValueW(HKEY_CURRENT_USER, kStoreKey, kStoreValue, RRF_RT_ANY, NULL, bytes.data(), &size) !=
        ERROR_SUCCESS)
      return {};
    bytes.resize(size);
    return bytes;
  }
  std::string mprCopy_;
  HMODULE mpr_ = NULL, cpl_ = NULL;
  ChangeProc change_ = NULL;
  VerifyProc verify_ = NULL;
  HWND owner_ = NULL;
};

bool Contains(const std::vector<BYTE> &haystack, const void *needle, size_t size) {
  const BYTE *bytes = static_cast<const BYTE *>(needle);
  return std::search(haystack.begin(), haystack.end(), bytes, bytes + size) != haystack.end();
}

TEST_F(StandInTest, WithNoPasswordStoredThePromptAcceptsAtOnce) {
  EXPECT_TRUE(Verify({}));
  EXPECT_EQ(0, g_dialogsSeen);
}

TEST_F(StandInTest, StoresASaltedHashNeverThePassword) {
  ASSERT_EQ(static_cast<DWORD>(WN_SUCCESS), Change({NewPassword(NULL, L"hunter22", L"hunter22")}));
  std::vector<BYTE> first = Stored();
  ASSERT_EQ(48u, first.size());  // 16 bytes of salt, 32 of SHA-256
  EXPECT_FALSE(Contains(first, L"hunter22", 16));
  EXPECT_FALSE(Contains(first, "hunter22", 8));
  // The same password stored again gets a new salt and so a different value.
  ASSERT_EQ(static_cast<DWORD>(WN_SUCCESS),
            Change({NewPassword(L"hunter22", L"hunter22", L"hunter22")}));
  EXPECT_NE(first, Stored());
}

TEST_F(StandInTest, ThePromptAcceptsTheRightPasswordOnly) {
  ASSERT_EQ(static_cast<DWORD>(WN_SUCCESS), Change({NewPassword(NULL, L"secret", L"secret")}));
  EXPECT_TRUE(Verify({Typed(L"secret")}));
  EXPECT_FALSE(Verify({Typed(L"Secret")}));
  EXPECT_FALSE(Verify({Typed(L"")}));
  EXPECT_FALSE(Verify({Typed(L"secret", IDCANCEL)}));  // cancel refuses whatever was typed
  EXPECT_EQ(1, g_dialogsSeen);
}

TEST_F(StandInTest, AWrongOldPasswordChangesNothing) {
  ASSERT_EQ(static_cast<DWORD>(WN_SUCCESS), Change({NewPassword(NULL, L"first", L"first")}));
  std::vector<BYTE> before = Stored();
  EXPECT_EQ(static_cast<DWORD>(WN_CANCEL),
            Change({NewPassword(L"wrong", L"second", L"second"), NewPassword(NULL, NULL, NULL, IDCANCEL)}));
  EXPECT_EQ(L"The old password is not correct.", g_statusText);
  EXPECT_EQ(before, Stored());
  EXPECT_TRUE(Verify({Typed(L"first")}));
}

TEST_F(StandInTest, DifferingNewPasswordsAreAskedAgain) {
  EXPECT_EQ(static_cast<DWORD>(WN_SUCCESS),
            Change({NewPassword(NULL, L"one", L"two"), NewPassword(NULL, L"three", L"three")}));
  EXPECT_EQ(1, g_dialogsSeen);
  EXPECT_TRUE(Verify({Typed(L"three")}));
  EXPECT_FALSE(Verify({Typed(L"one")}));
}

TEST_F(StandInTest, TheRightOldPasswordChangesItAndAnEmptyOneRemovesTheLock) {
  ASSERT_EQ(static_cast<DWORD>(WN_SUCCESS), Change({NewPassword(NULL, L"first", L"first")}));
  ASSERT_EQ(static_cast<DWORD>(WN_SUCCESS), Change({NewPassword(L"first", L"second", L"second")}));
  EXPECT_FALSE(Verify({Typed(L"first")}));
  EXPECT_TRUE(Verify({Typed(L"second")}));
  ASSERT_EQ(static_cast<DWORD>(WN_SUCCESS), Change({NewPassword(L"second", L"", L"")}));
  EXPECT_TRUE(Stored().empty());
  EXPECT_TRUE(Verify({}));
  EXPECT_EQ(0, g_dialogsSeen);
}

TEST_F(StandInTest, OnlyTheScreenSaverProviderIsServed) {
  EXPECT_EQ(static_cast<DWORD>(WN_BAD_PROVIDER), Change({}, "OTHER"));
  EXPECT_EQ(static_cast<DWORD>(WN_BAD_PROVIDER), Change({}, NULL));
  EXPECT_EQ(0, g_dialogsSeen);
  EXPECT_EQ(static_cast<DWORD>(WN_SUCCESS), Change({NewPassword(NULL, L"x", L"x")}, "scrsave"));
}

TEST_F(StandInTest, AMangledStoreCountsAsNoPassword) {
  ASSERT_EQ(static_cast<DWORD>(WN_SUCCESS), Change({NewPassword(NULL, L"first", L"first")}));
  // A value of the wrong size counts as no password at all, as a missing one does.
  BYTE shortValue[4] = {1, 2, 3, 4};
  RegSetKeyValueW(HKEY_CURRENT_USER, kStoreKey, kStoreValue, REG_BINARY, shortValue, sizeof(shortValue));
  EXPECT_TRUE(Verify({}));
}

}  // namespace
