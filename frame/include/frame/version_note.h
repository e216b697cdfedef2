// The version mark of a module, carried in an ELF note that the loader reads from the file:
// one block of a string table (block 7, language 1033), strings 96 to 111, where string 100
// says which host release the module was built for and 101 how it was compiled.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace frame {

inline constexpr char kVersionNoteName[4] = {'M', 'E', 'X', '\0'};
inline constexpr std::uint32_t kVersionNoteType = 1;
inline constexpr std::uint32_t kVersionBlock = 7;
inline constexpr std::uint32_t kVersionLanguage = 1033;  // U.S. English
inline constexpr int kVersionFirstString = 96;             // the block holds strings 96 to 111

// The note's descriptor: block, language, then the 16 strings of the block, each as a
// 16-bit length and that many 16-bit codes (an empty string is a length of 0), padded with
// a zero unit to a multiple of 4 bytes.
template <std::size_t Units>
struct VersionDesc {
  std::uint32_t block = kVersionBlock;
  std::uint32_t language = kVersionLanguage;
  std::array<std::uint16_t, Units> strings{};
};

// An ELF note: name size, descriptor size, type, the name, the descriptor.
template <class Desc>
struct alignas(4) VersionNote {
  std::uint32_t namesz = sizeof(kVersionNoteName);
  std::uint32_t descsz = sizeof(Desc);
  std::uint32_t type = kVersionNoteType;
  char name[4] = {'M', 'E', 'X', '\0'};
  Desc desc;
};

constexpr std::size_t versionUnits(std::size_t length100, std::size_t length101) {
  std::size_t units = 16 + length100 + length101;
  return units + units % 2;
}

// The note whose strings 100 and 101 are the given texts and whose others are empty.
template <std::size_t N100, std::size_t N101>
constexpr auto versionNote(const char (&s100)[N100], const char (&s101)[N101]) {
  VersionNote<VersionDesc<versionUnits(N100 - 1, N101 - 1)>> note{};
  std::size_t at = 0;
  for (int id = kVersionFirstString; id < kVersionFirstString + 16; ++id) {
    const char *text = id == 100 ? s100 : id == 101 ? s101 : "";
    std::size_t length = id == 100 ? N100 - 1 : id == 101 ? N101 - 1 : 0;
    note.desc.strings[at++] = static_cast<std::uint16_t>(length);
    for (std::size_t k = 0; k < length; ++k) {
      note.desc.strings[at++] = static_cast<unsigned char>(text[k]);
    }
  }
  return note;
}

}  // namespace frame

// Places the module's version mark in its note section. Use once, in the gateway unit.
#define FRAME_VERSION_NOTE(s100, s101)                                          \
  [[gnu::section(".note.mexversion"), gnu::used, gnu::aligned(4)]] static constexpr auto \
      mex_version_note = frame::versionNote(s100, s101)
