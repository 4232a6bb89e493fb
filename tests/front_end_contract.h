#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/log_line.h"
#include "engine/run_report.h"
#include "tests/test_files.h"

namespace quadrell::testing {

// What every front end makes of a run's report, checked on each: the lines
// of the files in their order, whatever else was reported between them,
// and the summary set off by one empty line; a run without files shows the
// empty line and the summary. start() gives a listener for a new run;
// text() what its front end shows once the run has ended, lines separated
// by CR LF.
inline void expect_report_shown(const std::function<RunListener&()>& start,
                                const std::function<std::string()>& text) {
  const NativePath folder = native("album");
  const NativePath names[] = {native("a.jpg"), native("b.jpg"), native("c.jpg")};
  const std::string summary = "Jpeg files =>  total: 3  fair: 1  update: 1  error: 1";
  RunListener& listener = start();
  listener.listing_folder(folder, {});
  listener.next_file();
  const DensityChange change{15, true, {0, 1}, {0, 2}, {}, 0, {}};
  listener.file_done({names[0], 15, &change}, {1, 0, 1, 0});
  listener.next_file();
  listener.file_done({names[1], kFair}, {2, 1, 1, 0});
  listener.next_file();
  listener.failed({FileFailure::Kind::kRead, names[2], 0});
  listener.file_done({names[2], kAccessError}, {3, 1, 1, 1});
  listener.run_ended({3, 1, 1, 1});
  EXPECT_EQ(text(), "a.jpg " + dots(54) + " 15 16 Change\r\nb.jpg " + dots(54) + " OK\r\nc.jpg " +
                        dots(54) + " -1 -1 Access error!\r\n\r\n" + summary);

  RunListener& empty = start();
  empty.listing_folder(folder, {});
  empty.run_ended({});
  EXPECT_EQ(text(), "\r\nJpeg files =>  total: 0  fair: 0  update: 0  error: 0");
}

}  // namespace quadrell::testing
