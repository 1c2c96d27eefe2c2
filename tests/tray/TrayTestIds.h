#pragma once

// Icon ids of the tray tests that name no usable menu: 136 has no menu resource at all, and
// menu 140 (TrayTestMenus.rc) has a plain item where the tray menu has its submenu.
#define IDR_TEST_NO_MENU 136
#define IDR_TEST_NO_POPUP 140
