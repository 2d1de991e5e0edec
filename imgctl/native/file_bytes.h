// Whole-file reading for the picture library's tests and benchmarks (native and under Wine).
#pragma once
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

// The file's bytes, in any vector of bytes; empty when it cannot be opened or read whole.
template <class Bytes = std::vector<uint8_t>>
Bytes ReadFileBytes(const std::string &path) {
  Bytes bytes;
  FILE *file = fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  uint8_t buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  if (ferror(file)) bytes.clear();
  fclose(file);
  return bytes;
}
