#include "drop/trim_at_nul.h"

namespace quadrell {

std::wstring trim_at_nul(std::wstring text) {
  const std::size_t nul = text.find(L'\0');
  if (nul == std::wstring::npos) return {};
  text.resize(nul);
  return text;
}

}  // namespace quadrell
