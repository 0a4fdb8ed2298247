#pragma once
// A small, strict walker for the EMF and placeable-WMF files the writers produce, for tests and
// the fuzz target: it checks the framing (sizes, counts, the end record) and plays the object
// table the way a reader does, so a handle that a reader would miss shows up as an error.
// It decodes only what the checks need; drawing is checked with the independent converters.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ternova::testing {

inline uint16_t Le16(const std::vector<uint8_t>& b, size_t o) {
  return static_cast<uint16_t>(b.at(o) | (b.at(o + 1) << 8));
}
inline int16_t LeI16(const std::vector<uint8_t>& b, size_t o) { return static_cast<int16_t>(Le16(b, o)); }
inline uint32_t Le32(const std::vector<uint8_t>& b, size_t o) {
  return uint32_t{Le16(b, o)} | (uint32_t{Le16(b, o + 2)} << 16);
}
inline int32_t LeI32(const std::vector<uint8_t>& b, size_t o) { return static_cast<int32_t>(Le32(b, o)); }

// ---------------------------------------------------------------- EMF

namespace emr {
inline constexpr uint32_t kHeader = 1, kEof = 14, kSetBkMode = 18, kSetTextColor = 24, kSetBkColor = 25,
                          kMoveToEx = 27, kSelectObject = 37, kCreatePen = 38, kCreateBrushIndirect = 39,
                          kDeleteObject = 40, kEllipse = 42, kRectangle = 43, kLineTo = 54,
                          kExtCreateFontIndirectW = 82, kExtTextOutW = 84, kExtCreatePen = 95;
}

struct EmfRecord {
  uint32_t type = 0;
  uint32_t size = 0;
  size_t offset = 0;  // of the record's first byte in the file
};

struct EmfWalk {
  std::vector<EmfRecord> records;
  std::string error;      // empty: the file passed every check
  uint32_t slotsUsed = 0;  // highest object slot created
};

// Walks an EMF file and checks: header first with signature and version; nBytes, nRecords and
// nHandles agree with the file; every record at least 8 bytes, a multiple of 4 and inside the
// file; one EOF, last; objects created only into free slots, selected and deleted only while
// they exist (or stock, for select), and never deleted while selected.
inline EmfWalk WalkEmf(const std::vector<uint8_t>& b) {
  EmfWalk w;
  auto fail = [&](std::string e) {
    w.error = std::move(e);
    return w;
  };
  if (b.size() < 108) return fail("shorter than the 108-byte header");
  if (Le32(b, 0) != emr::kHeader) return fail("first record is not EMR_HEADER");
  if (Le32(b, 40) != 0x464D4520) return fail("no \" EMF\" signature");
  if (Le32(b, 44) != 0x10000) return fail("version is not 0x10000");
  if (Le32(b, 48) != b.size()) return fail("nBytes " + std::to_string(Le32(b, 48)) + " for a file of " +
                                           std::to_string(b.size()));
  // Object table as a player keeps it: slot -> kind (1 pen, 2 brush, 3 font).
  std::map<uint32_t, int> live;
  std::map<int, uint32_t> selected;  // kind -> slot (absent: a stock object or the default)
  auto kindOf = [](uint32_t type) {
    return type == emr::kCreatePen || type == emr::kExtCreatePen ? 1 : type == emr::kCreateBrushIndirect ? 2 : 3;
  };
  size_t at = 0;
  int eofs = 0;
  while (at < b.size()) {
    if (b.size() - at < 8) return fail("record header cut off at " + std::to_string(at));
    EmfRecord r{Le32(b, at), Le32(b, at + 4), at};
    const std::string where = " (record " + std::to_string(w.records.size()) + " type " +
                              std::to_string(r.type) + " at " + std::to_string(at) + ")";
    if (r.size < 8 || r.size % 4 != 0) return fail("bad size " + std::to_string(r.size) + where);
    if (r.size > b.size() - at) return fail("record runs past the end" + where);
    if (eofs) return fail("record after EMR_EOF" + where);
    if (r.type == emr::kEof) {
      ++eofs;
      if (r.size != 20 || Le32(b, at + 16) != r.size) return fail("EMR_EOF not 20 bytes with nSizeLast" + where);
    }
    if (r.type == emr::kCreatePen || r.type == emr::kExtCreatePen || r.type == emr::kCreateBrushIndirect ||
        r.type == emr::kExtCreateFontIndirectW) {
      const uint32_t slot = Le32(b, at + 8);
      if (slot == 0 || live.count(slot)) return fail("object created into slot " + std::to_string(slot) + where);
      live[slot] = kindOf(r.type);
      w.slotsUsed = std::max(w.slotsUsed, slot);
    } else if (r.type == emr::kSelectObject) {
      const uint32_t slot = Le32(b, at + 8);
      if (slot & 0x80000000u) {
        const uint32_t stock = slot & 0x7FFFFFFF;
        if (stock > 19) return fail("no such stock object" + where);
        // Stock 0..5 are brushes, 6..8 pens, the rest fonts and palettes.
        selected.erase(stock <= 5 ? 2 : stock <= 8 ? 1 : 3);
      } else {
        if (!live.count(slot)) return fail("selecting object " + std::to_string(slot) + " that does not exist" + where);
        selected[live[slot]] = slot;
      }
    } else if (r.type == emr::kDeleteObject) {
      const uint32_t slot = Le32(b, at + 8);
      if (!live.count(slot)) return fail("deleting object " + std::to_string(slot) + " that does not exist" + where);
      auto s = selected.find(live[slot]);
      if (s != selected.end() && s->second == slot) return fail("deleting a selected object" + where);
      live.erase(slot);
    }
    w.records.push_back(r);
    at += r.size;
  }
  if (eofs != 1 || w.records.back().type != emr::kEof) return fail("EMR_EOF missing or not last");
  if (Le32(b, 52) != w.records.size())
    return fail("nRecords " + std::to_string(Le32(b, 52)) + " for " + std::to_string(w.records.size()) + " records");
  if (Le16(b, 56) != w.slotsUsed + 1)
    return fail("nHandles " + std::to_string(Le16(b, 56)) + " with " + std::to_string(w.slotsUsed) + " slots used");
  return w;
}

// ---------------------------------------------------------------- WMF

namespace meta {
inline constexpr uint16_t kEof = 0x0000, kSetBkMode = 0x0102, kSetMapMode = 0x0103, kSetBkColor = 0x0201,
                          kSetTextColor = 0x0209, kSetWindowOrg = 0x020B, kSetWindowExt = 0x020C,
                          kLineTo = 0x0213, kMoveTo = 0x0214, kEllipse = 0x0418, kRectangle = 0x041B,
                          kSelectObject = 0x012D, kDeleteObject = 0x01F0, kCreatePenIndirect = 0x02FA,
                          kCreateFontIndirect = 0x02FB, kCreateBrushIndirect = 0x02FC, kExtTextOut = 0x0A32,
                          kTextOut = 0x0521;
}

struct WmfRecord {
  uint16_t function = 0;
  uint32_t words = 0;
  size_t offset = 0;  // of the record's first byte in the file (placeable header included)
};

struct WmfWalk {
  std::vector<WmfRecord> records;
  std::string error;
  uint32_t maxRecordWords = 0;
  uint16_t mostObjects = 0;  // highest slot + 1 ever used: the table size a reader needs
};

inline uint16_t PlaceableChecksum(const std::vector<uint8_t>& b) {
  uint16_t x = 0;
  for (size_t o = 0; o < 20; o += 2) x ^= Le16(b, o);
  return x;
}

// Walks a placeable WMF: key and checksum; for a file longer than the 22-byte header alone, the
// META_HEADER (type, size, version, file size in words, mtNoObjects big enough, mtMaxRecord the
// largest record) and every record inside the file with one META_EOF last. Objects are created
// into the lowest free slot, as readers place them; select and delete must name live objects.
inline WmfWalk WalkWmf(const std::vector<uint8_t>& b) {
  WmfWalk w;
  auto fail = [&](std::string e) {
    w.error = std::move(e);
    return w;
  };
  if (b.size() < 22) return fail("shorter than the placeable header");
  if (Le32(b, 0) != 0x9AC6CDD7) return fail("no placeable key");
  if (Le16(b, 20) != PlaceableChecksum(b)) return fail("placeable checksum wrong");
  if (b.size() == 22) return w;
  if (b.size() < 22 + 18 || b.size() % 2 != 0) return fail("no META_HEADER or odd length");
  const size_t h = 22;
  if (Le16(b, h) != 1 || Le16(b, h + 2) != 9 || Le16(b, h + 4) != 0x0300) return fail("META_HEADER type/size/version");
  if (size_t{Le32(b, h + 6)} * 2 != b.size() - 22) return fail("mtSize does not match the file");
  std::vector<bool> slots;
  size_t at = h + 18;
  int eofs = 0;
  while (at < b.size()) {
    if (b.size() - at < 6) return fail("record header cut off at " + std::to_string(at));
    WmfRecord r{Le16(b, at + 4), Le32(b, at), at};
    const std::string where = " (record " + std::to_string(w.records.size()) + " function " +
                              std::to_string(r.function) + " at " + std::to_string(at) + ")";
    if (r.words < 3) return fail("record shorter than 3 words" + where);
    if (size_t{r.words} * 2 > b.size() - at) return fail("record runs past the end" + where);
    if (eofs) return fail("record after META_EOF" + where);
    if (r.function == meta::kEof) {
      ++eofs;
      if (r.words != 3) return fail("META_EOF not 3 words" + where);
    }
    if (r.function == meta::kCreatePenIndirect || r.function == meta::kCreateFontIndirect ||
        r.function == meta::kCreateBrushIndirect) {
      size_t s = 0;
      while (s < slots.size() && slots[s]) ++s;
      if (s == slots.size()) slots.push_back(true);
      slots[s] = true;
      w.mostObjects = std::max<uint16_t>(w.mostObjects, static_cast<uint16_t>(s + 1));
    } else if (r.function == meta::kSelectObject || r.function == meta::kDeleteObject) {
      const uint16_t s = Le16(b, at + 6);
      if (s >= slots.size() || !slots[s]) return fail("object " + std::to_string(s) + " does not exist" + where);
      if (r.function == meta::kDeleteObject) slots[s] = false;
    }
    w.maxRecordWords = std::max(w.maxRecordWords, r.words);
    w.records.push_back(r);
    at += size_t{r.words} * 2;
  }
  if (eofs != 1 || w.records.back().function != meta::kEof) return fail("META_EOF missing or not last");
  if (Le16(b, h + 10) < w.mostObjects)
    return fail("mtNoObjects " + std::to_string(Le16(b, h + 10)) + " below " + std::to_string(w.mostObjects));
  if (Le32(b, h + 12) != w.maxRecordWords)
    return fail("mtMaxRecord " + std::to_string(Le32(b, h + 12)) + " but largest record " +
                std::to_string(w.maxRecordWords));
  return w;
}

}  // namespace ternova::testing
