#pragma once

#include <string_view>

#include "engine/density_types.h"

namespace quadrell {

// Where the command line writes: UTF-8 text with "\n" line ends, which each
// platform writes in its own form.
class CliOutput {
 public:
  // 0 once the text is written out, or the system's reason why it could not
  // be (a full disk, say).
  virtual SystemError write_out(std::string_view text) = 0;
  virtual void write_error(std::string_view text) = 0;
  virtual bool out_is_terminal() const = 0;
  // The width of standard error in columns when it is a terminal; 0 when it
  // is none.
  virtual int error_terminal_columns() const = 0;

 protected:
  ~CliOutput() = default;
};

// Standard output and standard error of the process.
class ConsoleOutput final : public CliOutput {
 public:
  SystemError write_out(std::string_view text) override;
  void write_error(std::string_view text) override;
  bool out_is_terminal() const override;
  int error_terminal_columns() const override;
};

}  // namespace quadrell
