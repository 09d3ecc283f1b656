// MP4 box bytes built by hand, for the tests of the readers, the join and
// the fixture tool's relayout.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

namespace qvtest {

inline std::string Be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
inline std::string Be16(uint16_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
// A box: 32-bit size, type, payload.
inline std::string Box(const std::string& type, const std::string& payload) {
  return Be32(static_cast<uint32_t>(payload.size() + 8)) + type + payload;
}
// A full box: version, three flag bytes, body.
inline std::string Full(const std::string& type, int version, const std::string& body) {
  return Box(type, std::string(1, static_cast<char>(version)) + std::string(3, '\0') + body);
}
inline std::string Mvhd(uint32_t scale, uint32_t duration) {
  return Full("mvhd", 0, Be32(0) + Be32(0) + Be32(scale) + Be32(duration) + std::string(80, '\0'));
}
inline std::string Ftyp() { return Box("ftyp", "isom" + Be32(512) + "isomiso2"); }
inline std::string Stts(std::initializer_list<std::pair<uint32_t, uint32_t>> runs) {
  std::string s = std::string(4, '\0') + Be32(static_cast<uint32_t>(runs.size()));
  for (auto [count, delta] : runs) s += Be32(count) + Be32(delta);
  return s;
}
inline std::string Stsz(std::initializer_list<uint32_t> sizes) {
  std::string s = std::string(4, '\0') + Be32(0) + Be32(static_cast<uint32_t>(sizes.size()));
  for (uint32_t v : sizes) s += Be32(v);
  return s;
}
// A minimal track: handler, a visual sample entry of w × h (with the boxes
// `entryBoxes` inside it), the time-to-sample and sample-size payloads given,
// one chunk per sample, the chunk offsets given (big-endian words; none by
// default).
inline std::string Trak(const std::string& handler, int w, int h, const std::string& stts, const std::string& stsz,
                        uint32_t timeScale = 1000000, const std::string& chunkOffsets = "",
                        const std::string& entryBoxes = "") {
  const std::string entry = std::string(6, '\0') + Be16(1) + std::string(16, '\0') + Be16(static_cast<uint16_t>(w)) +
                            Be16(static_cast<uint16_t>(h)) + std::string(50, '\0') + entryBoxes;
  const std::string stbl =
      Box("stbl", Full("stsd", 0, Be32(1) + Box("avc1", entry)) + Box("stts", stts) + Box("stsz", stsz) +
                      Full("stsc", 0, Be32(1) + Be32(1) + Be32(1) + Be32(1)) +
                      Full("stco", 0, Be32(static_cast<uint32_t>(chunkOffsets.size() / 4)) + chunkOffsets));
  const std::string mdia = Box("mdia", Full("mdhd", 0, Be32(0) + Be32(0) + Be32(timeScale) + Be32(0) + Be32(0)) +
                                           Full("hdlr", 0, Be32(0) + handler + std::string(13, '\0')) +
                                           Box("minf", stbl));
  return Box("trak", Full("tkhd", 0, std::string(80, '\0')) + mdia);
}

// An H.264 decoder configuration whose NAL units carry lengths of
// `lengthSize` bytes (1, 2 or 4), without parameter sets.
inline std::string AvcC(int lengthSize) {
  return Box("avcC", std::string("\x01\x42\xc0\x1e", 4) + static_cast<char>(0xFC | (lengthSize - 1)) +
                     std::string("\xE0\0", 2));
}

// One NAL unit of `bytes` bytes behind a big-endian length of `size` bytes
// that says `length`.
inline std::string NalUnit(int size, uint64_t length, size_t bytes) {
  std::string unit;
  for (int i = size - 1; i >= 0; --i) unit += static_cast<char>(length >> (8 * i));
  return unit + std::string(bytes, 'n');
}
inline std::string NalUnit(int size, size_t bytes) { return NalUnit(size, bytes, bytes); }

}  // namespace qvtest
