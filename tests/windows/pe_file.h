#pragma once
// The export and import names of a PE image, read from the file (32- or 64-bit).

#include <optional>
#include <string>
#include <vector>

struct PeNames {
  unsigned machine = 0;
  unsigned exportedFunctions = 0;  // entries of the export address table, named or not
  std::vector<std::string> exports;
  std::vector<std::string> importedDlls;
  // "dll function" as the import table names them; "#N" for an import by ordinal.
  std::vector<std::string> importedFunctions;
};

std::optional<PeNames> ReadPeNames(const std::wstring& path);
