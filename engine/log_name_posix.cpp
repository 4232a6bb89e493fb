#include "engine/log_name.h"

namespace quadrell {

LogName log_name(const NativePath& name) { return log_name_from_bytes(name); }

std::string name_bytes(const NativePath& name) { return name; }

std::u32string name_characters(const NativePath& name) { return decoded_utf8(name); }

}  // namespace quadrell
