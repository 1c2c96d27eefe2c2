#pragma once

// Templates and controls of the framework tests' own resources.
#define IDD_TEST_PLAIN 500
#define IDD_TEST_DEFAULT_APPLY 501
#define IDD_TEST_BAD_INIT 502
#define IDD_TEST_MISSING 599
#define IDC_TEST_COMBO 600
#define IDC_TEST_LIST 601
#define IDC_TEST_APPLY 700
