#pragma once

// The one place that holds the version: the programs and the version
// resource take it from here.
#define QUADRELL_VERSION_MAJOR 1
#define QUADRELL_VERSION_MINOR 0
#define QUADRELL_VERSION_TEXT "1.00"
