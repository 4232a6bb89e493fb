#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/density_types.h"
#include "platform/byte_source.h"
#include "platform/fs.h"

namespace quadrell {

// Walks the header of a JPEG file segment by segment, as a decoder does, up
// to its JFIF APP0 segment (the byte table below), and decides which density
// to overwrite. Positions are 1-based. A 128-byte MacBinary header is
// assumed when the file does not start with SOI (FF D8). Each segment is an
// FF (more FFs before it are fill), a marker code and, but for 00, 01 and
// D0..D8, a two-byte length that counts itself and the payload; bytes
// between segments are passed over.
//
// Every segment, an APP0 that is not JFIF included, is passed over by its
// length; any byte inside it (an FF in a length, a density or a payload) is
// data, so the walk never restarts inside a segment. It ends with no change
// at SOS (DA) or EOI (D9): a JFIF header inside another segment (an Exif
// thumbnail), in the compressed data or behind the image is never the
// image's own, and writing there would corrupt unrelated data. This is how
// libjpeg's jpeg_read_header reads the header, but for these deliberate
// differences:
//   - a length below 2 ends the walk with no change (libjpeg reads on from
//     where the length would have taken it, inside the segment);
//   - the first JFIF APP0 decides (libjpeg keeps the last it reads);
//   - a 128-byte MacBinary header before the SOI is passed over (libjpeg
//     wants the SOI at the first byte);
//   - markers libjpeg refuses (a second SOI, unknown codes) are passed over;
//   - positions are signed 32-bit: a position that the walk would move to,
//     or that the log would print, past 2^31 - 1 gives kAccessError.
//
// Payloads passed over are not read, nor is the compressed data: the reads
// are the first block and, after each jump, a small block at its target.
ScanResult scan_header(ByteSource& source, std::span<std::uint8_t> buffer, ScanDetail& detail);

// The JFIF APP0 segment, after its E0 code at M, for the walk and for the
// patch, which reads it back before it writes:
//   M+1   length, 2 bytes, at least 16     M+10  density units
//   M+3   "JFIF" NUL                        M+11  X density, 2 bytes, big-endian
//   M+8   version, 2 bytes                  M+13  Y density, 2 bytes, big-endian
// then the thumbnail, to the end of the segment.
namespace jfif {
inline constexpr std::uint8_t kIdentifier[5] = {'J', 'F', 'I', 'F', 0x00};
inline constexpr unsigned kShortestLength = 16;
inline constexpr std::int64_t kIdentifierAfterCode = 3;  // M+3
inline constexpr std::int64_t kXDensityAfterCode = 11;   // M+11
inline constexpr std::size_t kDensityBytes = 4;          // X, then Y
}  // namespace jfif

// Decides whether the file is a JPEG file and, if the densities of its JFIF
// header differ, where the smaller one lies. For a positive result, detail
// receives the value to write and the densities as read; for kAccessError,
// the system's reason; and once the file is open, which file it is. Only the
// header is read; the file is never written, never created, and closed
// before returning.
ScanResult scan_density(const fs::FileRef& file, ScanDetail& detail);

// The same decision on a file the caller holds open, whose identity, size
// and times the caller fills in; a failed read gives kAccessError.
ScanResult scan_open_file(ByteSource& file, ScanDetail& detail);

}  // namespace quadrell
