#pragma once

#define IDB_VELMAR_TOOLBOX 101

// The string table's numbers are also the error codes the control's events carry.
#define IDS_INSTALLER_NOT_STARTED 1001
#define IDS_CANCELLED_BY_USER 1002
#define IDS_NO_START_MESSAGE 1003
#define IDS_BAD_INSTALLER_WINDOW 1004
#define IDS_CANNOT_DELETE_FILE 1005
#define IDS_UPDATE_FAILED 1006
#define IDS_CANNOT_CREATE_FILE 1007
#define IDS_DOWNLOAD_FAILED 1008
#define IDS_BAD_PATH 1009
