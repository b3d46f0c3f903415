#include "Os9Module.h"

#include <algorithm>

namespace vantor::os9 {

namespace {

// Program module extension and the stand-in's layout behind it.
constexpr std::size_t kExecOffsetField = 0x30;
constexpr std::size_t kStackSizeField = 0x3C;
constexpr std::size_t kInitDataField = 0x40;
constexpr std::size_t kFixupField = 0x44;
constexpr std::size_t kStandInName = 0x48;     // "ionkill\0"
constexpr std::size_t kStandInInitData = 0x50; // empty block: {destination, count} = 0, 0
constexpr std::size_t kStandInFixups = 0x58;   // two empty lists, each ending in 0, 0
constexpr std::size_t kStandInCode = 0x60;

// moveq #0,d1; trap #0; dc.w F$Exit: exit with status 0.
constexpr std::uint8_t kExitBody[] = {0x72, 0x00, 0x4E, 0x40, 0x00, 0x06};

std::uint16_t word(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint16_t((b[at] << 8) | b[at + 1]);
}

std::uint32_t longWord(std::span<const std::uint8_t> b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) |
           std::uint32_t(b[at + 3]);
}

void putWord(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = std::uint8_t(v >> 8);
    b[at + 1] = std::uint8_t(v);
}

void putLong(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (24 - 8 * i));
}

std::string hex(std::uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(std::size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        out[std::size_t(i)] = kDigits[value & 0xF];
    return out;
}

} // namespace

std::uint32_t crc24Accumulate(std::span<const std::uint8_t> bytes, std::uint32_t acc) {
    for (const std::uint8_t b : bytes) {
        acc ^= std::uint32_t(b) << 16;
        for (int i = 0; i < 8; ++i) {
            acc <<= 1;
            if (acc & 0x1000000)
                acc ^= 0x1800063;
        }
    }
    return acc & 0xFFFFFF;
}

std::uint16_t headerParity(std::span<const std::uint8_t> header) {
    std::uint16_t x = 0;
    for (std::size_t at = 0; at < kHeaderSize - 2; at += 2)
        x ^= word(header, at);
    return std::uint16_t(~x);
}

void seal(std::vector<std::uint8_t>& module) {
    putWord(module, kHeaderSize - 2, headerParity(module));
    const std::size_t body = module.size() - 3;
    const std::uint32_t crc = crc24(std::span(module).first(body));
    module[body] = std::uint8_t(crc >> 16);
    module[body + 1] = std::uint8_t(crc >> 8);
    module[body + 2] = std::uint8_t(crc);
}

std::string checkProgramModule(std::span<const std::uint8_t> bytes, std::string_view name, ModuleInfo* info) {
    ModuleInfo local;
    ModuleInfo& out = info ? *info : local;
    out = ModuleInfo{};
    if (bytes.size() < kProgramHeaderSize)
        return "too short for an OS-9 program module (" + std::to_string(bytes.size()) + " bytes)";
    if (word(bytes, 0) != kSyncCode)
        return "no OS-9 module sync code 4AFC at its start (found " + hex(word(bytes, 0), 4) + ")";
    out.size = longWord(bytes, 0x04);
    out.type = bytes[0x12];
    out.language = bytes[0x13];
    out.attributes = bytes[0x14];
    out.revision = bytes[0x15];
    out.edition = word(bytes, 0x16);
    if (out.size != bytes.size())
        return "its size field says " + std::to_string(out.size) + " bytes but the file holds " +
               std::to_string(bytes.size());
    if (headerParity(bytes) != word(bytes, kHeaderSize - 2))
        return "header parity is wrong (stored " + hex(word(bytes, kHeaderSize - 2), 4) + ", computed " +
               hex(headerParity(bytes), 4) + ")";
    const std::size_t body = bytes.size() - 3;
    out.crc = (std::uint32_t(bytes[body]) << 16) | (std::uint32_t(bytes[body + 1]) << 8) | bytes[body + 2];
    if (crc24Accumulate(bytes) != kCrcResidue)
        return "module CRC is wrong (stored " + hex(out.crc, 6) + ", computed " +
               hex(crc24(bytes.first(body)), 6) + ")";

    const std::uint32_t nameOffset = longWord(bytes, 0x0C);
    if (nameOffset < kHeaderSize || nameOffset >= body)
        return "its name offset " + hex(nameOffset, 8) + " lies outside the module";
    const auto rest = bytes.subspan(nameOffset, body - nameOffset);
    const auto end = std::find(rest.begin(), rest.end(), std::uint8_t(0));
    if (end == rest.end())
        return "its name does not end with a zero byte";
    out.name.assign(rest.begin(), end);
    if (out.name != name)
        return "it is named \"" + out.name + "\", not \"" + std::string(name) + "\"";
    if (out.type != kTypeProgram)
        return "its type is " + std::to_string(out.type) + ", not 1 (program)";
    return {};
}

std::vector<std::uint8_t> buildStandInModule() {
    std::vector<std::uint8_t> m(kStandInSize, 0);
    putWord(m, 0x00, kSyncCode);
    putWord(m, 0x02, 0x0001); // system revision
    putLong(m, 0x04, std::uint32_t(kStandInSize));
    putLong(m, 0x0C, std::uint32_t(kStandInName));
    putWord(m, 0x10, 0x0555); // read and execute for owner, group and world
    m[0x12] = kTypeProgram;
    m[0x13] = kLanguageObjectCode;
    m[0x14] = kAttributeReentrant;
    m[0x15] = 1;
    putWord(m, 0x16, kStandInEdition);

    putLong(m, kExecOffsetField, std::uint32_t(kStandInCode));
    putLong(m, kStackSizeField, 0x1000);
    // The loader reads both blocks, so they must exist even when empty.
    putLong(m, kInitDataField, std::uint32_t(kStandInInitData));
    putLong(m, kFixupField, std::uint32_t(kStandInFixups));

    constexpr std::string_view kName = "ionkill";
    std::copy(kName.begin(), kName.end(), m.begin() + kStandInName);
    std::copy(std::begin(kExitBody), std::end(kExitBody), m.begin() + kStandInCode);
    seal(m);
    return m;
}

std::string toHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0xF]);
    }
    return out;
}

} // namespace vantor::os9
