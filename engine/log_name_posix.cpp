#include "engine/log_name.h"

namespace quadrell {

LogName log_name(const NativePath& name) { return log_name_from_bytes(name); }

}  // namespace quadrell
