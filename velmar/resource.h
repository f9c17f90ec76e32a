#pragma once

#define IDB_VELMAR_TOOLBOX 101

// The "Downloader" dialog of DownloadFile; its items carry the numbers pages have always seen.
#define IDD_DOWNLOADER 201
#define IDC_DOWNLOAD_PROGRESS 201
#define IDC_DOWNLOAD_STATUS 202
#define IDC_DOWNLOAD_BYTES 203
#define IDC_DOWNLOAD_CANCEL 204

// The "Please Wait ..." box shown while the installer program runs.
#define IDD_WAIT 202
#define IDC_WAIT_TEXT 1000

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

// Texts of the boxes Update shows; beyond the codes an installer may report (1 to 1999 name
// strings above, 2000 and more carry the installer's own text).
#define IDS_PUBLISHER_UNVERIFIED 3001
#define IDS_ERROR_CAPTION 3002
#define IDS_TRUSTED_SITES_QUESTION 3003
#define IDS_WARNING_CAPTION 3004
#define IDS_CANCEL_QUESTION 3005
#define IDS_CONFIRMATION_CAPTION 3006
