// Identifiers of the bootstrapper's own resources, shared by the resource
// script and the code. Plain defines, so that windres reads them too.
#pragma once

// String table.
#define IDS_SETUP 128
#define IDS_ARCHIVE_CORRUPT 129
#define IDS_ARCHIVE_BAD_VERSION 130
#define IDS_INSTALLER_NOT_STARTED 131
#define IDS_READ_ERROR 132
#define IDS_EXTRACT_ERROR 133
#define IDS_SELECT_DOWNLOAD_FOLDER 134
#define IDS_DOWNLOAD_FAILED 135
#define IDS_ERROR_CAPTION 136
#define IDS_DOWNLOAD_NOT_STARTED 137
#define IDS_DOWNLOAD_READ_ERROR 138
#define IDS_DOWNLOAD_ABORTED 139
#define IDS_DOWNLOAD_SAVE_ERROR 140
#define IDS_EXTRACTING_MAIN_FILES 141

// The status window and its one line of text.
#define IDD_STATUS 201
#define IDC_STATUS_TEXT 1001

// The download dialog, "Downloading...": the list of files, the current
// file's and the whole run's progress with their labels, the speed of the
// last chunk, and Pause/Resume (Cancel is IDCANCEL).
#define IDD_DOWNLOAD 203
#define IDC_DOWNLOAD_LIST 1007
#define IDC_CURRENT_PROGRESS 1008
#define IDC_TOTAL_PROGRESS 1009
#define IDC_PAUSE_RESUME 1011
#define IDC_CURRENT_LABEL 1012
#define IDC_TOTAL_LABEL 1013
#define IDC_DOWNLOAD_SPEED 1014

// The installation dialog, "Launching PreRequisites", and the name of the
// prerequisite being installed.
#define IDD_INSTALLING 205
#define IDC_INSTALLING_NAME 1018

// The wizard's pages: the PreRequisites page with its list, download
// folder, Browse button and hint line, and the Information page with its
// rich-text document.
#define IDD_PREREQUISITES 202
#define IDC_PREREQ_LIST 1002
#define IDC_DOWNLOAD_FOLDER 1003
#define IDC_BROWSE 1004
#define IDC_DOWNLOAD_FOLDER_LABEL 1015
#define IDC_PREREQ_GROUP 1016
#define IDC_STEP_HINT 1019
#define IDD_INFORMATION 206
#define IDC_INFORMATION_TEXT 1020
#define IDC_INFORMATION_GROUP 1021
#define IDR_INFORMATION_TEXT 1

// The application icon.
#define IDI_KORVELT 128
