// Ids of the stub's resources and of the progress window's controls. Shared by
// the resource script and the C++ code, so it holds nothing but #defines.
#ifndef SFX_RESOURCES_RESOURCE_IDS_H
#define SFX_RESOURCES_RESOURCE_IDS_H

#define IDI_APP          1000  // icon group: 16x16 and 32x32, 256 colours
#define IDD_PROGRESS     1100  // the progress window's dialog template

#define IDC_PROGRESS_BAR 1200
#define IDC_PERCENT_TEXT 1201
#define IDC_STATUS_TEXT  1202
#define IDC_NOTICE_TEXT  1203

// The package: where the stub finds it and where the packer puts it.
#define IDR_PACKAGE          2000
#define IDR_PACKAGE_TYPE     "SETUP"
#define IDR_PACKAGE_LANGUAGE 1033  // US English

#endif
