// GDSII record and data type numbers.
#pragma once

#include <cstdint>

namespace vork::io::gds {

// GDSII record types (stream version 6) used by the reader and the writer.
namespace rec {
inline constexpr std::uint8_t HEADER = 0x00;
inline constexpr std::uint8_t BGNLIB = 0x01;
inline constexpr std::uint8_t LIBNAME = 0x02;
inline constexpr std::uint8_t UNITS = 0x03;
inline constexpr std::uint8_t ENDLIB = 0x04;
inline constexpr std::uint8_t BGNSTR = 0x05;
inline constexpr std::uint8_t STRNAME = 0x06;
inline constexpr std::uint8_t ENDSTR = 0x07;
inline constexpr std::uint8_t BOUNDARY = 0x08;
inline constexpr std::uint8_t PATH = 0x09;
inline constexpr std::uint8_t SREF = 0x0A;
inline constexpr std::uint8_t AREF = 0x0B;
inline constexpr std::uint8_t TEXT = 0x0C;
inline constexpr std::uint8_t LAYER = 0x0D;
inline constexpr std::uint8_t DATATYPE = 0x0E;
inline constexpr std::uint8_t WIDTH = 0x0F;
inline constexpr std::uint8_t XY = 0x10;
inline constexpr std::uint8_t ENDEL = 0x11;
inline constexpr std::uint8_t SNAME = 0x12;
inline constexpr std::uint8_t COLROW = 0x13;
inline constexpr std::uint8_t NODE = 0x15;
inline constexpr std::uint8_t TEXTTYPE = 0x16;
inline constexpr std::uint8_t PRESENTATION = 0x17;
inline constexpr std::uint8_t STRING = 0x19;
inline constexpr std::uint8_t STRANS = 0x1A;
inline constexpr std::uint8_t MAG = 0x1B;
inline constexpr std::uint8_t ANGLE = 0x1C;
inline constexpr std::uint8_t PATHTYPE = 0x21;
inline constexpr std::uint8_t ELFLAGS = 0x26;
inline constexpr std::uint8_t NODETYPE = 0x2A;
inline constexpr std::uint8_t PROPATTR = 0x2B;
inline constexpr std::uint8_t PROPVALUE = 0x2C;
inline constexpr std::uint8_t BOX = 0x2D;
inline constexpr std::uint8_t BOXTYPE = 0x2E;
inline constexpr std::uint8_t PLEX = 0x2F;
inline constexpr std::uint8_t BGNEXTN = 0x30;
inline constexpr std::uint8_t ENDEXTN = 0x31;
} // namespace rec

// GDSII data types.
namespace data {
inline constexpr std::uint8_t NONE = 0;
inline constexpr std::uint8_t BITS = 1;
inline constexpr std::uint8_t I16 = 2;
inline constexpr std::uint8_t I32 = 3;
inline constexpr std::uint8_t REAL8 = 5;
inline constexpr std::uint8_t ASCII = 6;
} // namespace data

inline constexpr std::uint16_t strans_reflection = 0x8000;
inline constexpr std::uint16_t strans_absolute_magnification = 0x0004;
inline constexpr std::uint16_t strans_absolute_angle = 0x0002;

} // namespace vork::io::gds
