// Reads a module file's version note (".note.mexversion") straight from the file with the
// ELF structures, checking every offset and size against the file so a bad file is an error.
#include "frame/version_note.h"

#include <elf.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <span>
#include <string>

#include "host/loader.h"
#include "mexrt/error.h"
#include "mexrt/text.h"

namespace host {
namespace {

constexpr std::uintmax_t kMaxFileSize = std::uintmax_t{1} << 30;
constexpr char kNoteSection[] = ".note.mexversion";
constexpr int kBlockStrings = 16;

[[noreturn]] void refuse(const std::filesystem::path &file, const std::string &why) {
  throw mexrt::Error("The file \"" + file.string() + "\" " + why);
}

std::string readWhole(const std::filesystem::path &file) {
  std::error_code ec;
  std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) refuse(file, "cannot be read: " + ec.message() + ".");
  if (size > kMaxFileSize) refuse(file, "is too large to be a module.");
  std::ifstream in(file, std::ios::binary);
  std::string bytes(size, '\0');
  if (!in || !in.read(bytes.data(), static_cast<std::streamsize>(size))) {
    refuse(file, "cannot be read.");
  }
  return bytes;
}

// The bytes of a file with bounds-checked reads of plain structures.
class Image {
 public:
  Image(const std::filesystem::path &file, std::string bytes)
      : file_(file), bytes_(std::move(bytes)) {}

  bool holds(std::uint64_t offset, std::uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  template <class T>
  T read(std::uint64_t offset, const char *what) const {
    if (!holds(offset, sizeof(T))) refuse(file_, std::string("is truncated (") + what + ").");
    T value;
    std::memcpy(&value, bytes_.data() + offset, sizeof(T));
    return value;
  }
  std::span<const char> range(std::uint64_t offset, std::uint64_t size, const char *what) const {
    if (!holds(offset, size)) refuse(file_, std::string("is truncated (") + what + ").");
    return {bytes_.data() + offset, static_cast<std::size_t>(size)};
  }
  const std::filesystem::path &file() const { return file_; }

 private:
  const std::filesystem::path &file_;
  std::string bytes_;
};

Elf64_Ehdr readHeader(const Image &image) {
  if (!image.holds(0, EI_NIDENT)) refuse(image.file(), "is not a shared object (too short).");
  auto ident = image.range(0, EI_NIDENT, "identification");
  if (std::memcmp(ident.data(), ELFMAG, SELFMAG) != 0) {
    refuse(image.file(), "is not a shared object (no ELF header).");
  }
  if (ident[EI_CLASS] != ELFCLASS64 || ident[EI_DATA] != ELFDATA2LSB) {
    refuse(image.file(), "is not a 64-bit little-endian ELF file.");
  }
  auto header = image.read<Elf64_Ehdr>(0, "ELF header");
  if (header.e_type != ET_DYN) refuse(image.file(), "is not a shared object.");
  return header;
}

// The section headers, or none when the file carries no section table.
std::vector<Elf64_Shdr> readSections(const Image &image, const Elf64_Ehdr &header) {
  if (header.e_shoff == 0 || header.e_shnum == 0) return {};
  if (header.e_shentsize != sizeof(Elf64_Shdr))
    refuse(image.file(), "has malformed section headers.");
  std::vector<Elf64_Shdr> sections;
  for (std::uint64_t k = 0; k < header.e_shnum; ++k) {
    sections.push_back(
        image.read<Elf64_Shdr>(header.e_shoff + k * sizeof(Elf64_Shdr), "section headers"));
  }
  return sections;
}

std::string sectionName(const Image &image, const Elf64_Shdr &names, std::uint32_t at) {
  if (names.sh_type == SHT_NOBITS || at >= names.sh_size) return {};
  auto text = image.range(names.sh_offset, names.sh_size, "section names");
  std::size_t end = at;
  while (end < text.size() && text[end] != '\0') ++end;
  return std::string(text.data() + at, end - at);
}

std::uint64_t padded4(std::uint64_t n) { return (n + 3) & ~std::uint64_t{3}; }

// The descriptor: block, language, then 16 strings, each a length and that many codes.
std::vector<std::string> readStrings(const Image &image, std::uint64_t at, std::uint64_t size) {
  const std::uint64_t end = at + size;
  auto u32 = [&](std::uint64_t &p) {
    if (end - p < 4) refuse(image.file(), "has a truncated version note.");
    auto v = image.read<std::uint32_t>(p, "version note");
    p += 4;
    return v;
  };
  auto u16 = [&](std::uint64_t &p) {
    if (end - p < 2) refuse(image.file(), "has a truncated version note.");
    auto v = image.read<std::uint16_t>(p, "version note");
    p += 2;
    return v;
  };
  std::uint64_t p = at;
  if (u32(p) != frame::kVersionBlock || u32(p) != frame::kVersionLanguage) {
    refuse(image.file(), "has a version note for another string block or language.");
  }
  std::vector<std::string> strings;
  for (int k = 0; k < kBlockStrings; ++k) {
    std::uint16_t length = u16(p);
    std::u16string codes;
    for (std::uint16_t c = 0; c < length; ++c) codes.push_back(static_cast<char16_t>(u16(p)));
    strings.push_back(mexrt::utf8FromCodes(codes));
  }
  return strings;
}

// Walks the notes of the section for the one named "MEX" of the version type.
std::vector<std::string> readNoteSection(const Image &image, const Elf64_Shdr &section) {
  if (section.sh_type != SHT_NOTE)
    refuse(image.file(), "has a version section that is not a note.");
  image.range(section.sh_offset, section.sh_size, "version note");
  std::uint64_t p = section.sh_offset;
  const std::uint64_t end = section.sh_offset + section.sh_size;
  while (end - p >= sizeof(Elf64_Nhdr)) {
    auto note = image.read<Elf64_Nhdr>(p, "version note");
    std::uint64_t name = p + sizeof(Elf64_Nhdr);
    std::uint64_t desc = name + padded4(note.n_namesz);
    if (padded4(note.n_namesz) > end - name || padded4(note.n_descsz) > end - desc) {
      refuse(image.file(), "has a version note that overruns its section.");
    }
    auto nameBytes = image.range(name, note.n_namesz, "version note");
    bool ours = note.n_type == frame::kVersionNoteType &&
                note.n_namesz == sizeof(frame::kVersionNoteName) &&
                std::memcmp(nameBytes.data(), frame::kVersionNoteName, note.n_namesz) == 0;
    if (ours) return readStrings(image, desc, note.n_descsz);
    p = desc + padded4(note.n_descsz);
  }
  refuse(image.file(), "has a version section without a version note.");
}

}  // namespace

std::optional<std::vector<std::string>> readVersionNote(const std::filesystem::path &file) {
  Image image(file, readWhole(file));
  Elf64_Ehdr header = readHeader(image);
  std::vector<Elf64_Shdr> sections = readSections(image, header);
  if (sections.empty()) return std::nullopt;
  std::uint32_t namesIndex =
      header.e_shstrndx == SHN_XINDEX ? sections[0].sh_link : header.e_shstrndx;
  if (namesIndex == SHN_UNDEF) return std::nullopt;
  if (namesIndex >= sections.size()) refuse(file, "has a malformed section name table.");
  for (const Elf64_Shdr &section : sections) {
    if (sectionName(image, sections[namesIndex], section.sh_name) == kNoteSection) {
      return readNoteSection(image, section);
    }
  }
  return std::nullopt;
}

}  // namespace host
