#pragma once

// OS-9/68000 memory modules, as far as the program builds and checks them. Standard C++
// only: the build-time generator of the ion-beam guard module uses this too.
//
// All multi-byte fields are big-endian. A module is a 0x30-byte common header (sync code,
// revision, size, owner, name offset, access, type, language, attributes, revision,
// edition, ..., header parity), for program modules an extension up to 0x48, then the body;
// the last three bytes hold the module's CRC-24.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::os9 {

inline constexpr std::uint16_t kSyncCode = 0x4AFC;
inline constexpr std::size_t kHeaderSize = 0x30;
inline constexpr std::size_t kProgramHeaderSize = 0x48;
inline constexpr std::uint8_t kTypeProgram = 1;
inline constexpr std::uint8_t kLanguageObjectCode = 1;
inline constexpr std::uint8_t kAttributeReentrant = 0x80;

// What a valid program module says about itself.
struct ModuleInfo {
    std::uint32_t size = 0;
    std::string name;
    std::uint8_t type = 0;
    std::uint8_t language = 0;
    std::uint8_t attributes = 0;
    std::uint8_t revision = 0;
    std::uint16_t edition = 0;
    std::uint32_t crc = 0; // the three CRC bytes as stored
};

// The CRC-24 accumulator (generator 0x800063, start 0xFFFFFF) run over `bytes`, before the
// final inversion. A module's stored CRC is the inverted accumulator over all but its last
// three bytes; run over a whole valid module, the accumulator ends at kCrcResidue.
std::uint32_t crc24Accumulate(std::span<const std::uint8_t> bytes, std::uint32_t acc = 0xFFFFFF);
inline constexpr std::uint32_t kCrcResidue = 0x800FE3;
// The CRC as stored: the inverted accumulator, 24 bits.
inline std::uint32_t crc24(std::span<const std::uint8_t> bytes) {
    return ~crc24Accumulate(bytes) & 0xFFFFFF;
}

// The one's complement of the XOR of the 23 header words before the parity word. Needs
// kHeaderSize bytes.
std::uint16_t headerParity(std::span<const std::uint8_t> header);

// Sets the header parity, then the CRC, of a module whose other fields are filled in.
void seal(std::vector<std::uint8_t>& module);

// Empty when `bytes` is one valid program module named `name` (sync code, size field equal
// to the byte count, header parity, CRC, name, type program); otherwise the first problem
// found, in words an engineer reads. `info` is filled as far as the header could be read.
std::string checkProgramModule(std::span<const std::uint8_t> bytes, std::string_view name,
                               ModuleInfo* info = nullptr);

// The program's stand-in for the site's ion-beam guard module: "ionkill", program, object
// code, re-entrant, edition 7, 17738 bytes, whose body only exits with status 0. It stops
// nothing on the controller.
inline constexpr std::size_t kStandInSize = 17738;
inline constexpr std::uint16_t kStandInEdition = 7;
std::vector<std::uint8_t> buildStandInModule();

// Upper-case hexadecimal digit pairs, no separators.
std::string toHex(std::span<const std::uint8_t> bytes);

} // namespace vantor::os9
