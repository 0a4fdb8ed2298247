#pragma once
// The words of the two Windows metafile formats that the writers and the importer share: record
// types, stock objects, styles, modes and character sets, under the formats' own names.
#include <cstdint>

namespace ternova {

namespace emf {
// Record types (iType).
inline constexpr uint32_t EMR_HEADER = 1;
inline constexpr uint32_t EMR_POLYGON = 3;
inline constexpr uint32_t EMR_POLYPOLYGON = 8;
inline constexpr uint32_t EMR_EOF = 14;
inline constexpr uint32_t EMR_SETBKMODE = 18;
inline constexpr uint32_t EMR_SETPOLYFILLMODE = 19;
inline constexpr uint32_t EMR_SETTEXTCOLOR = 24;
inline constexpr uint32_t EMR_SETBKCOLOR = 25;
inline constexpr uint32_t EMR_MOVETOEX = 27;
inline constexpr uint32_t EMR_SELECTOBJECT = 37;
inline constexpr uint32_t EMR_CREATEPEN = 38;
inline constexpr uint32_t EMR_CREATEBRUSHINDIRECT = 39;
inline constexpr uint32_t EMR_DELETEOBJECT = 40;
inline constexpr uint32_t EMR_ELLIPSE = 42;
inline constexpr uint32_t EMR_RECTANGLE = 43;
inline constexpr uint32_t EMR_LINETO = 54;
inline constexpr uint32_t EMR_EXTCREATEFONTINDIRECTW = 82;
inline constexpr uint32_t EMR_EXTTEXTOUTW = 84;
inline constexpr uint32_t EMR_POLYGON16 = 86;
inline constexpr uint32_t EMR_POLYPOLYGON16 = 91;
inline constexpr uint32_t EMR_EXTCREATEPEN = 95;

inline constexpr uint32_t kSignature = 0x464D4520;  // " EMF"

// Stock objects are selected by index with the high bit set, never created or deleted.
inline constexpr uint32_t kStockObject = 0x80000000;
inline constexpr uint32_t WHITE_BRUSH = 0;  // then light grey, grey, dark grey, black
inline constexpr uint32_t NULL_BRUSH = 5;
inline constexpr uint32_t WHITE_PEN = 6;
inline constexpr uint32_t BLACK_PEN = 7;
inline constexpr uint32_t NULL_PEN = 8;

inline constexpr uint32_t GM_COMPATIBLE = 1;
}  // namespace emf

namespace wmf {
// Record functions (rdFunction).
inline constexpr uint16_t META_EOF = 0x0000;
inline constexpr uint16_t META_SETBKMODE = 0x0102;
inline constexpr uint16_t META_SETMAPMODE = 0x0103;
inline constexpr uint16_t META_SETPOLYFILLMODE = 0x0106;
inline constexpr uint16_t META_SETBKCOLOR = 0x0201;
inline constexpr uint16_t META_SETTEXTCOLOR = 0x0209;
inline constexpr uint16_t META_SETWINDOWORG = 0x020B;
inline constexpr uint16_t META_SETWINDOWEXT = 0x020C;
inline constexpr uint16_t META_LINETO = 0x0213;
inline constexpr uint16_t META_MOVETO = 0x0214;
inline constexpr uint16_t META_POLYGON = 0x0324;
inline constexpr uint16_t META_ELLIPSE = 0x0418;
inline constexpr uint16_t META_POLYPOLYGON = 0x0538;
inline constexpr uint16_t META_RECTANGLE = 0x041B;
inline constexpr uint16_t META_SELECTOBJECT = 0x012D;
inline constexpr uint16_t META_DELETEOBJECT = 0x01F0;
inline constexpr uint16_t META_CREATEPENINDIRECT = 0x02FA;
inline constexpr uint16_t META_CREATEFONTINDIRECT = 0x02FB;
inline constexpr uint16_t META_CREATEBRUSHINDIRECT = 0x02FC;
inline constexpr uint16_t META_EXTTEXTOUT = 0x0A32;

inline constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
inline constexpr uint16_t MM_ANISOTROPIC = 8;
inline constexpr uint16_t ETO_OPAQUE_OR_CLIPPED = 0x0006;  // either flag: a rectangle follows
}  // namespace wmf

// Shared by both formats (16 bits wide in WMF records).
inline constexpr uint32_t PS_SOLID = 0;
inline constexpr uint32_t PS_NULL = 5;
inline constexpr uint32_t PS_STYLE_MASK = 0x0000000F;
inline constexpr uint32_t PS_GEOMETRIC = 0x00010000;  // with round caps and joins, both 0
inline constexpr uint32_t BS_SOLID = 0;
inline constexpr uint32_t BS_NULL = 1;
inline constexpr uint32_t ALTERNATE = 1;  // polygon fill modes
inline constexpr uint32_t WINDING = 2;
inline constexpr uint32_t TRANSPARENT = 1;
inline constexpr uint32_t OPAQUE = 2;
inline constexpr uint8_t DEFAULT_CHARSET = 1;
inline constexpr uint8_t SHIFTJIS_CHARSET = 128;

}  // namespace ternova
