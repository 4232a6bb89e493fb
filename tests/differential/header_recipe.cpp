#include "tests/differential/header_recipe.h"

#include <initializer_list>

namespace quadrell::testing {
namespace {

class Recipe {
 public:
  Recipe(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t byte() { return next_ < size_ ? data_[next_++] : 0; }
  // A choice among count, evenly.
  unsigned pick(unsigned count) { return byte() % count; }
  bool one_in(unsigned count) { return pick(count) == 0; }
  std::uint16_t word() { return static_cast<std::uint16_t>((byte() << 8) | byte()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t next_ = 0;
};

class Writer {
 public:
  explicit Writer(Recipe& recipe) : recipe_(recipe) {}

  std::vector<std::uint8_t>& bytes() { return bytes_; }

  void put(std::initializer_list<std::uint8_t> values) { bytes_.insert(bytes_.end(), values); }
  void put16(unsigned value) {
    put({static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
  }

  // A payload of size bytes: mostly zeros, now and then an FF, a random
  // byte or a JFIF APP0 look-alike with unequal densities.
  void payload(std::size_t size) {
    const std::size_t end = bytes_.size() + size;
    while (bytes_.size() < end) {
      switch (recipe_.pick(8)) {
        case 0:
          if (end - bytes_.size() >= 16) {
            look_alike();
            break;
          }
          [[fallthrough]];
        case 1:
          bytes_.push_back(0xFF);
          break;
        case 2:
          bytes_.push_back(recipe_.byte());
          break;
        default:
          bytes_.push_back(0x00);
      }
    }
  }

  void look_alike() {
    put({0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00});
    put16(recipe_.pick(4) + 1);
    put16(recipe_.pick(4) + 5);
  }

  // The marker: an FF, now and then fill FFs before it, and the code.
  void marker(std::uint8_t code) {
    put({0xFF});
    for (unsigned fill = recipe_.one_in(6) ? recipe_.pick(3) + 1 : 0; fill > 0; --fill) put({0xFF});
    put({code});
  }

  // Bytes between segments: never an FF, which would start a marker.
  void stray() {
    for (unsigned count = recipe_.pick(5) + 1; count > 0; --count) {
      const std::uint8_t value = recipe_.byte();
      bytes_.push_back(value == 0xFF ? 0x00 : value);
    }
  }

 private:
  Recipe& recipe_;
  std::vector<std::uint8_t> bytes_;
};

// Densities that are often equal, sometimes hold FF bytes.
std::uint16_t density(Recipe& recipe) {
  static constexpr std::uint16_t kValues[] = {72, 96, 144, 300, 1, 0, 0xFF00, 0x00FF, 0xFFFF};
  return kValues[recipe.pick(sizeof kValues / sizeof kValues[0])];
}

// Thumbnail sizes that make lengths with an FF byte (0x01FF, 0xFFxx) or
// small ordinary ones.
std::size_t thumbnail_size(Recipe& recipe) {
  switch (recipe.pick(6)) {
    case 0:
      return 495;  // 15 x 11: length 0x01FF
    case 1:
      return 0xFF04 - 16;
    case 2:
      return recipe.pick(40);
    default:
      return 0;
  }
}

void jfif_app0(Writer& out, Recipe& recipe, GeneratedHeader& header) {
  out.marker(0xE0);
  header.app0_codes.push_back(out.bytes().size() - 1);
  const std::size_t thumbnail = thumbnail_size(recipe);
  out.put16(static_cast<unsigned>(16 + thumbnail));
  out.put({'J', 'F', 'I', 'F', 0x00});
  if (recipe.one_in(4)) {
    out.put({0xFF, 0xFF, 0xFF});  // version and units
  } else {
    out.put({0x01, 0x02, 0x01});
  }
  const std::uint16_t x = density(recipe);
  out.put16(x);
  out.put16(recipe.one_in(3) ? x : density(recipe));
  out.put({0x00, 0x00});  // thumbnail width and height, as stored: not checked
  out.payload(thumbnail);
}

// An APP0 that is not the JFIF header: another identifier, or "JFIF" in a
// segment too short to hold the densities.
void other_app0(Writer& out, Recipe& recipe, GeneratedHeader& header) {
  out.marker(0xE0);
  header.app0_codes.push_back(out.bytes().size() - 1);
  if (recipe.one_in(2)) {
    const unsigned length = 7 + recipe.pick(9);  // 7 .. 15
    out.put16(length);
    out.put({'J', 'F', 'I', 'F', 0x00});
    out.payload(length - 7);
  } else {
    const unsigned length = 7 + recipe.pick(40);
    out.put16(length);
    out.put({'J', 'F', 'X', 'X', 0x00});
    out.payload(length - 7);
  }
}

void other_segment(Writer& out, Recipe& recipe) {
  static constexpr std::uint8_t kCodes[] = {0xE1, 0xE2, 0xED, 0xEE, 0xEF, 0xFE};
  out.marker(kCodes[recipe.pick(sizeof kCodes)]);
  const unsigned length = recipe.one_in(5) ? 0x01FF : 2 + recipe.pick(60);
  out.put16(length);
  out.payload(length - 2);
}

void quantisation_table(Writer& out) {
  out.marker(0xDB);
  out.put16(67);
  out.put({0x00});
  for (int i = 0; i < 64; ++i) out.put({0x01});
}

void frame(Writer& out) {
  out.marker(0xC0);
  out.put16(11);
  out.put({0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00});
}

}  // namespace

GeneratedHeader generate_header(const std::uint8_t* data, std::size_t size) {
  Recipe recipe(data, size);
  Writer out(recipe);
  GeneratedHeader header;
  if (recipe.one_in(8)) {
    for (int i = 0; i < 128; ++i)
      out.put({static_cast<std::uint8_t>(i == 0 ? 0x00 : recipe.byte())});
    header.jpeg_start = 128;
  }
  out.put({0xFF, 0xD8});

  bool framed = false;
  for (unsigned segments = recipe.pick(9); segments > 0; --segments) {
    switch (recipe.pick(12)) {
      case 0:
      case 1:
        jfif_app0(out, recipe, header);
        break;
      case 2:
        other_app0(out, recipe, header);
        break;
      case 3:
      case 4:
        other_segment(out, recipe);
        break;
      case 5:
        quantisation_table(out);
        break;
      case 6:
        if (!framed) frame(out);
        framed = true;
        break;
      case 7:
        out.stray();
        break;
      case 8:
        out.marker(static_cast<std::uint8_t>(recipe.one_in(2) ? 0x01 : 0xD0 + recipe.pick(8)));
        break;
      case 9:
        out.marker(0xDD);
        out.put16(4);
        out.put16(recipe.word());
        break;
      case 10:
        // Codes libjpeg refuses: a second SOI, EOI, an unknown marker.
        if (recipe.one_in(4)) {
          static constexpr std::uint8_t kRefused[] = {0xD8, 0xD9, 0x02, 0xF0};
          out.marker(kRefused[recipe.pick(sizeof kRefused)]);
        }
        break;
      default:
        if (recipe.one_in(8)) {
          out.marker(0xE1);
          out.put16(recipe.pick(2));
          header.short_length = true;
        }
    }
  }
  if (!framed) frame(out);
  out.marker(0xDA);
  out.put16(8);
  out.put({0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  out.payload(recipe.pick(30));  // compressed data, look-alikes included
  if (recipe.one_in(2)) out.put({0xFF, 0xD9});
  if (recipe.one_in(4)) {  // another image behind: not a segment of this header
    const std::size_t before_scan = header.app0_codes.size();
    jfif_app0(out, recipe, header);
    header.app0_codes.resize(before_scan);
  }

  if (recipe.one_in(6)) {
    const std::size_t cut =
        (std::size_t{recipe.byte()} << 8 | recipe.byte()) % (out.bytes().size() + 1);
    out.bytes().resize(cut);
  }
  header.bytes = std::move(out.bytes());
  return header;
}

}  // namespace quadrell::testing
