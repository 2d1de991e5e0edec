// The stand-ins' password store: a salted, stretched SHA-256 hash under the current user's key.
#pragma once
#include <windows.h>

// Registry key (under HKEY_CURRENT_USER) and the one binary value that holds the stored
// password: the salt followed by the digest, written in one piece.
extern const wchar_t kPasswordStoreKey[];
extern const wchar_t kPasswordStoreValue[];

const DWORD kPasswordSaltBytes = 16;
const DWORD kPasswordHashBytes = 32;  // SHA-256
// Longest password the dialogs accept, in UTF-16 units.
const int kMaxPasswordChars = 127;

// TRUE when a password is stored.
BOOL IsPasswordStored();
// TRUE when a password is stored and `password` is it.
BOOL IsStoredPassword(const wchar_t *password);
// Stores `password` with a new salt; an empty password removes the stored one (no lock).
// FALSE when the hash or the registry write failed; the stored password is then unchanged.
BOOL StorePassword(const wchar_t *password);
// Wipes a password buffer of `count` UTF-16 units.
void WipePassword(wchar_t *buffer, size_t count);
