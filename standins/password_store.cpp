// The stand-ins' password store: SHA-256 of the platform's crypto provider over a random
// salt and the password, stretched over many rounds; only salt and digest are kept.
#include "standins/password_store.h"

#include <wincrypt.h>

const wchar_t kPasswordStoreKey[] = L"Software\\lumeta_show\\PasswordStandIn";
const wchar_t kPasswordStoreValue[] = L"SaltedHash";

// Rounds of hashing: each one hashes the previous digest, the salt and the password,
// so that guessing a password from a stolen digest costs this many hashes per guess.
static const int kHashRounds = 4096;

struct StoredPassword {
  BYTE salt[kPasswordSaltBytes];
  BYTE hash[kPasswordHashBytes];
};

static BOOL HashRound(HCRYPTPROV provider, const BYTE *previous, const BYTE *salt, const wchar_t *password,
                      BYTE *digest) {
  HCRYPTHASH hash;
  if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) return FALSE;
  DWORD passwordBytes = static_cast<DWORD>(lstrlenW(password) * sizeof(wchar_t));
  BOOL ok = (!previous || CryptHashData(hash, previous, kPasswordHashBytes, 0)) &&
            CryptHashData(hash, salt, kPasswordSaltBytes, 0) &&
            CryptHashData(hash, reinterpret_cast<const BYTE *>(password), passwordBytes, 0);
  DWORD size = kPasswordHashBytes;
  ok = ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) && size == kPasswordHashBytes;
  CryptDestroyHash(hash);
  return ok;
}

static BOOL AcquireProvider(HCRYPTPROV *provider) {
  return CryptAcquireContextW(provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT);
}

static BOOL HashPassword(HCRYPTPROV provider, const BYTE *salt, const wchar_t *password, BYTE *digest) {
  BOOL ok = HashRound(provider, NULL, salt, password, digest);
  for (int round = 1; ok && round < kHashRounds; ++round) {
    BYTE previous[kPasswordHashBytes];
    CopyMemory(previous, digest, sizeof(previous));
    ok = HashRound(provider, previous, salt, password, digest);
  }
  return ok;
}

static BOOL ReadStoredPassword(StoredPassword *stored) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kPasswordStoreKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return FALSE;
  DWORD type = 0;
  DWORD size = sizeof(*stored);
  BOOL ok = RegQueryValueExW(key, kPasswordStoreValue, NULL, &type, reinterpret_cast<BYTE *>(stored), &size) ==
                ERROR_SUCCESS &&
            type == REG_BINARY && size == sizeof(*stored);
  RegCloseKey(key);
  return ok;
}

BOOL IsPasswordStored() {
  StoredPassword stored;
  return ReadStoredPassword(&stored);
}

BOOL IsStoredPassword(const wchar_t *password) {
  StoredPassword stored;
  if (!ReadStoredPassword(&stored)) return FALSE;
  HCRYPTPROV provider;
  if (!AcquireProvider(&provider)) return FALSE;
  BYTE digest[kPasswordHashBytes];
  BOOL ok = HashPassword(provider, stored.salt, password, digest);
  CryptReleaseContext(provider, 0);
  if (!ok) return FALSE;
  // Compare every byte, so that the time taken does not tell how many matched.
  BYTE difference = 0;
  for (DWORD i = 0; i < kPasswordHashBytes; ++i) difference |= static_cast<BYTE>(digest[i] ^ stored.hash[i]);
  return difference == 0;
}

static BOOL RemoveStoredPassword() {
  HKEY key;
  LONG result = RegOpenKeyExW(HKEY_CURRENT_USER, kPasswordStoreKey, 0, KEY_SET_VALUE, &key);
  if (result == ERROR_FILE_NOT_FOUND) return TRUE;
  if (result != ERROR_SUCCESS) return FALSE;
  result = RegDeleteValueW(key, kPasswordStoreValue);
  RegCloseKey(key);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

// Salt and digest go into one value in one write, so that no half-finished change
// can pair a salt with a digest made from another salt.
static BOOL WriteStoredPassword(const StoredPassword *stored) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kPasswordStoreKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) !=
      ERROR_SUCCESS)
    return FALSE;
  BOOL ok = RegSetValueExW(key, kPasswordStoreValue, 0, REG_BINARY, reinterpret_cast<const BYTE *>(stored),
                           sizeof(*stored)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

BOOL StorePassword(const wchar_t *password) {
  if (password[0] == L'\0') return RemoveStoredPassword();
  HCRYPTPROV provider;
  if (!AcquireProvider(&provider)) return FALSE;
  StoredPassword stored;
  BOOL ok = CryptGenRandom(provider, sizeof(stored.salt), stored.salt) &&
            HashPassword(provider, stored.salt, password, stored.hash);
  CryptReleaseContext(provider, 0);
  return ok && WriteStoredPassword(&stored);
}

void WipePassword(wchar_t *buffer, size_t count) { SecureZeroMemory(buffer, count * sizeof(wchar_t)); }
