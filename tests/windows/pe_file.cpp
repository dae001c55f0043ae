#include "pe_file.h"

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

class Image {
 public:
  explicit Image(std::vector<char> bytes) : m_bytes(std::move(bytes)) {}

  template <class T>
  std::optional<T> At(size_t offset) const {
    if (offset > m_bytes.size() || m_bytes.size() - offset < sizeof(T)) return std::nullopt;
    T value;
    std::memcpy(&value, m_bytes.data() + offset, sizeof(T));
    return value;
  }

  std::optional<std::string> StringAt(size_t offset) const {
    if (offset >= m_bytes.size()) return std::nullopt;
    const char* begin = m_bytes.data() + offset;
    const void* end = std::memchr(begin, '\0', m_bytes.size() - offset);
    if (!end) return std::nullopt;
    return std::string(begin, static_cast<const char*>(end));
  }

 private:
  std::vector<char> m_bytes;
};

// The lookup table's entries are pointer-sized: the high bit marks an ordinal, else the entry is
// the address of a hint and a name.
template <class FileOffset>
bool ReadImportedFunctions(const Image& image, const FileOffset& fileOffset,
                           const IMAGE_IMPORT_DESCRIPTOR& descriptor, bool wide,
                           const std::string& dll, std::vector<std::string>& functions) {
  const DWORD table = descriptor.OriginalFirstThunk ? descriptor.OriginalFirstThunk
                                                    : descriptor.FirstThunk;
  const auto at = fileOffset(table);
  if (!at) return false;
  const size_t step = wide ? sizeof(ULONGLONG) : sizeof(DWORD);
  for (size_t entry = *at;; entry += step) {
    std::optional<ULONGLONG> thunk;
    if (wide) {
      thunk = image.At<ULONGLONG>(entry);
    } else if (const auto narrow = image.At<DWORD>(entry)) {
      thunk = *narrow;
    }
    if (!thunk) return false;
    if (*thunk == 0) return true;
    const ULONGLONG ordinalFlag = wide ? IMAGE_ORDINAL_FLAG64 : IMAGE_ORDINAL_FLAG32;
    if (*thunk & ordinalFlag) {
      functions.push_back(dll + " #" + std::to_string(*thunk & 0xFFFF));
      continue;
    }
    const auto name = fileOffset(static_cast<DWORD>(*thunk) + sizeof(WORD));
    const auto text = name ? image.StringAt(*name) : std::nullopt;
    if (!text) return false;
    functions.push_back(dll + " " + *text);
  }
}

}  // namespace

std::optional<PeNames> ReadPeNames(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  if (!file) return std::nullopt;
  const Image image(std::vector<char>(std::istreambuf_iterator<char>(file), {}));

  const auto dos = image.At<IMAGE_DOS_HEADER>(0);
  if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return std::nullopt;
  const size_t nt = static_cast<size_t>(dos->e_lfanew);
  const auto signature = image.At<DWORD>(nt);
  const auto header = image.At<IMAGE_FILE_HEADER>(nt + sizeof(DWORD));
  if (!signature || *signature != IMAGE_NT_SIGNATURE || !header) return std::nullopt;
  const size_t optional = nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
  const auto magic = image.At<WORD>(optional);
  if (!magic) return std::nullopt;
  const size_t directories = optional + (*magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                             ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                             : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
  const size_t sections = optional + header->SizeOfOptionalHeader;

  const auto fileOffset = [&](DWORD rva) -> std::optional<size_t> {
    for (WORD i = 0; i < header->NumberOfSections; ++i) {
      const auto section =
          image.At<IMAGE_SECTION_HEADER>(sections + i * sizeof(IMAGE_SECTION_HEADER));
      if (!section) return std::nullopt;
      const DWORD size = std::max(section->Misc.VirtualSize, section->SizeOfRawData);
      if (rva >= section->VirtualAddress && rva < section->VirtualAddress + size)
        return section->PointerToRawData + (rva - section->VirtualAddress);
    }
    return std::nullopt;
  };
  const auto directory = [&](int index) {
    return image.At<IMAGE_DATA_DIRECTORY>(directories + index * sizeof(IMAGE_DATA_DIRECTORY));
  };

  PeNames names;
  names.machine = header->Machine;
  const auto exportDirectory = directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (exportDirectory && exportDirectory->VirtualAddress) {
    const auto at = fileOffset(exportDirectory->VirtualAddress);
    const auto exports = at ? image.At<IMAGE_EXPORT_DIRECTORY>(*at) : std::nullopt;
    const auto table = exports ? fileOffset(exports->AddressOfNames) : std::nullopt;
    if (!table) return std::nullopt;
    names.exportedFunctions = exports->NumberOfFunctions;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
      const auto nameRva = image.At<DWORD>(*table + i * sizeof(DWORD));
      const auto name = nameRva ? fileOffset(*nameRva) : std::nullopt;
      const auto text = name ? image.StringAt(*name) : std::nullopt;
      if (!text) return std::nullopt;
      names.exports.push_back(*text);
    }
  }
  const auto importDirectory = directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  if (importDirectory && importDirectory->VirtualAddress) {
    const auto at = fileOffset(importDirectory->VirtualAddress);
    if (!at) return std::nullopt;
    for (size_t entry = *at;; entry += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      const auto descriptor = image.At<IMAGE_IMPORT_DESCRIPTOR>(entry);
      if (!descriptor) return std::nullopt;
      if (descriptor->Name == 0) break;
      const auto name = fileOffset(descriptor->Name);
      const auto text = name ? image.StringAt(*name) : std::nullopt;
      if (!text) return std::nullopt;
      names.importedDlls.push_back(*text);
      const bool wide = *magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
      if (!ReadImportedFunctions(image, fileOffset, *descriptor, wide, *text,
                                 names.importedFunctions)) {
        return std::nullopt;
      }
    }
  }
  return names;
}
