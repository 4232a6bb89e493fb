#pragma once

// The one place that holds the version and the copyright: the programs and
// the version resource take them from here.
#define QUADRELL_VERSION_MAJOR 1
#define QUADRELL_VERSION_MINOR 0
#define QUADRELL_VERSION_TEXT "1.00"
#define QUADRELL_COPYRIGHT "Copyright (C) 2026 The Quadrell developers"
