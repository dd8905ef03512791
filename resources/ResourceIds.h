#pragma once
// Identifiers of the program's resources; shared by the resource script and the code.

#define IDS_PACKAGE_CODE 103
#define IDS_TITLE_SIMPLIFIED 104
#define IDS_TITLE_TRADITIONAL 105
#define IDS_TITLE_ENGLISH 106
#define IDS_FOLDER_NAME_STEM 107

#define IDB_BACKGROUND_READY 101
#define IDI_INSTALLER 102
#define IDB_BACKGROUND_INSTALL 104
