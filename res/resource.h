#pragma once

// Resource and control identifiers, one range per kind.
#define IDI_QUADRELL 1

#define IDC_NOT_CHANGE_DATE 101
#define IDC_LIST 102
#define IDC_ABOUT 103
