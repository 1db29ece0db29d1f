/* Every dialog template and control ID of the executable, in one place: read
   by the resource script and by the code that drives the dialogs. */
#pragma once

/* The "Please wait..." progress window and its bar. */
#define IDD_PROGRESS 117
#define IDC_PROGRESS_BAR 1012

/* The electronic update's new-version dialog. */
#define IDD_UPDATE_OFFER 101
#define IDC_UPDATE_OFFER_LINE1 1024
#define IDC_UPDATE_OFFER_WEBPAGE 1025
#define IDC_UPDATE_OFFER_DOWNLOAD 1026
#define IDC_UPDATE_OFFER_LINE2 1028
